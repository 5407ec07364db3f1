#include "app/Main.h"

// Stand-in until the language file reader lands.
void TfrmMain::LoadLanguageTexts() {}
