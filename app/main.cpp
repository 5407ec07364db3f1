#include "app/Application.h"

int main(int argc, char** argv) { return RunNimbraWallpaper(argc, argv); }
