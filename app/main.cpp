#include "app/Application.h"

int main(int argc, char** argv) { return runNimbraWallpaper(argc, argv); }
