// INI files of any bytes: reading never fails, and a value written reads
// back as written while every byte outside the edited line stays as it was,
// and so does every other value.
#include <fuzzer/FuzzedDataProvider.h>

#include <QStringList>
#include <algorithm>
#include <vector>

#include "FuzzCheck.h"
#include "platform/IniFile.h"
#include "platform/TextCodec.h"

namespace {

struct Name {
  QString section;
  QString key;
};

// Section and key names to read: the heads and the names before "=" in the
// file, so the reads find real entries.
std::vector<Name> namesIn(const QByteArray& bytes) {
  std::vector<Name> names;
  QString section;
  for (const QByteArray& line : bytes.split('\n')) {
    const QString text = QString::fromUtf8(line).trimmed();
    if (text.startsWith(u'['))
      section = text.mid(1).section(u']', 0, 0);
    else if (text.contains(u'=') && names.size() < 32)
      names.push_back({section, text.section(u'=', 0, 0)});
  }
  return names;
}

bool isBlank(QChar c) { return c == u' ' || c == u'\t' || c == u'\v' || c == u'\f'; }

// Line breaks are taken out of names and values before they are written.
QString withoutLineBreaks(QString text) {
  text.remove(u'\r');
  text.remove(u'\n');
  return text;
}

// What the reading rules give back unchanged: no blank at either end and no
// enclosing quotes (the reading trims and unquotes), and at most the 2047
// bytes a value can hold.
bool readsBackAsWritten(const QString& value) {
  if (value.toUtf8().size() > 2047) return false;
  if (!value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()))) return false;
  const bool quoted =
      value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front();
  return !quoted;
}

bool isAscii(const QString& text) {
  return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
}

bool isLineBreakFree(QByteArrayView bytes) { return !bytes.contains('\r') && !bytes.contains('\n'); }

// The bytes the write took out: everything between the longest common start
// and the longest common end of the two files.
QByteArrayView removedBytes(const QByteArray& before, const QByteArray& after) {
  qsizetype start = 0;
  const qsizetype shorter = std::min(before.size(), after.size());
  while (start < shorter && before[start] == after[start]) ++start;
  qsizetype end = 0;
  while (end < shorter - start && before[before.size() - 1 - end] == after[after.size() - 1 - end]) ++end;
  return QByteArrayView(before).sliced(start, before.size() - start - end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider provider(data, size);
  const QString section = QString::fromStdString(provider.ConsumeRandomLengthString(64));
  const QString key = QString::fromStdString(provider.ConsumeRandomLengthString(64));
  const QString value = QString::fromStdString(provider.ConsumeRandomLengthString(4096));
  const QString storedValue = withoutLineBreaks(value);
  const std::string rest = provider.ConsumeRemainingBytesAsString();
  const QByteArray before(rest.data(), qsizetype(rest.size()));

  const QString path = scratchFile(QStringLiteral("fuzz.ini"));
  putFileBytes(path, before);
  const IniFile ini(path);
  const std::vector<Name> names = namesIn(before);
  QStringList valuesBefore;
  for (const Name& name : names)
    valuesBefore += ini.ReadIniText(name.section, name.key, QStringLiteral("\x01"));
  ini.ReadIniText(section, key, {});

  try {
    ini.WriteIniText(section, key, value);
  } catch (const IniWriteError&) {
    require(fileBytes(path) == before, "a refused write leaves the file as it was");
    return 0;
  }
  const QByteArray after = fileBytes(path);
  // Only part of one line is replaced, or new lines are put in.
  require(isLineBreakFree(removedBytes(before, after)), "a write changes no byte outside its line");
  // A value of a file that is not UTF-8 is read from the legacy code page.
  if (readsBackAsWritten(storedValue) && (isValidUtf8(after) || isAscii(storedValue)))
    require(ini.ReadIniText(section, key, QStringLiteral("\x01")) == storedValue,
            "a written value reads back");
  // The names as the file knows them: without line breaks, blanks around them, or case.
  const auto same = [](const QString& a, const QString& b) {
    return withoutLineBreaks(a).trimmed().compare(withoutLineBreaks(b).trimmed(), Qt::CaseInsensitive) == 0;
  };
  const auto sameName = [&](const Name& name) { return same(name.section, section) && same(name.key, key); };
  const bool sameEncoding = detectTextEncoding(before) == detectTextEncoding(after);
  for (size_t n = 0; n < names.size(); ++n) {
    if (sameName(names[n]) || !sameEncoding) continue;
    require(
        ini.ReadIniText(names[n].section, names[n].key, QStringLiteral("\x01")) == valuesBefore[qsizetype(n)],
        "every other value stays as it was");
  }
  return 0;
}
