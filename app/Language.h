// The language texts: 44 captions and messages read from "lang.ini" beside
// the executable, section "init".
#pragma once

#include <QString>

// Reads every language text from the file into its program-wide variable
// (app/UnitGlobal.h); a missing file or key leaves that text empty.
void ReadLanguageTexts(const QString& languageFile);

// The open dialog's filter in the "text|patterns|..." form.
QString OpenDialogFilter(const QString& allSupportedText);
