#include "platform/LanguageTexts.h"

#include "platform/IniFile.h"

LanguageTexts readLanguageTexts(const QString& languageFile) {
  // Read once: the same answers as a read per key, without 44 opens of the file.
  const IniBatch file(languageFile);
  const QString section = QStringLiteral("init");
  LanguageTexts texts;
#define NIMBRA_READ_TEXT(name) texts.name = file.ReadIniText(section, QStringLiteral(#name), QString());
  NIMBRA_LANGUAGE_KEYS(NIMBRA_READ_TEXT)
#undef NIMBRA_READ_TEXT
#define NIMBRA_READ_SITE_TEXT(name, english) \
  texts.name = file.ReadIniText(section, QStringLiteral(#name), QStringLiteral(english));
  NIMBRA_SITE_LANGUAGE_KEYS(NIMBRA_READ_SITE_TEXT)
  NIMBRA_IMPORT_LANGUAGE_KEYS(NIMBRA_READ_SITE_TEXT)
  NIMBRA_MONITOR_LANGUAGE_KEYS(NIMBRA_READ_SITE_TEXT)
#undef NIMBRA_READ_SITE_TEXT
  return texts;
}

QString openDialogFilter(const QString& allSupportedText) {
  return allSupportedText +
         QStringLiteral("(*.jpg,*.bmp)|*.bmp;*.jpg|Jpeg files (*.jpg)|*.jpg|Bmp files (*.bmp)|*.bmp;");
}
