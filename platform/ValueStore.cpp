#include "platform/ValueStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/TextEscape.h"

namespace {
// Far more than the handful of values the program keeps; a bigger file is
// not one the program wrote.
constexpr qint64 kMaxStoreSize = 1024 * 1024;
const QByteArray kHeader = "; Nimbra-Wallpaper settings\n";
constexpr QByteArrayView kUtf8Bom = "\xEF\xBB\xBF";
constexpr QByteArrayView kUtf16LeBom = "\xFF\xFE";

QString environmentPath(const char* name) { return QFile::decodeName(qgetenv(name)); }

bool sameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

constexpr BackslashEscape kQuotedEscapes[] = {{u'\\', u'\\'}, {u'"', u'"'}, {u'\n', u'n'}, {u'\r', u'r'}};

QString quoted(const QString& text) { return u'"' + escapeBackslashed(text, kQuotedEscapes) + u'"'; }

// Reads a quoted string starting at line[pos] == '"'. On success pos is just
// past the closing quote.
std::optional<QString> readQuoted(const QString& line, qsizetype& pos) {
  QString out;
  for (qsizetype i = pos + 1; i < line.size(); ++i) {
    const QChar c = line[i];
    if (c == u'"') {
      pos = i + 1;
      return out;
    }
    if (c != u'\\') {
      out += c;
      continue;
    }
    if (++i >= line.size()) return std::nullopt;
    const std::optional<QChar> character = unescapedCharacter(line[i], kQuotedEscapes);
    if (!character) return std::nullopt;
    out += *character;
  }
  return std::nullopt;
}

std::optional<int32_t> parseDword(const QString& digits) {
  if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
  bool ok = false;
  const uint32_t value = digits.toUInt(&ok, 16);
  if (!ok || digits.startsWith(u'+') || digits.startsWith(u'-')) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool isHexDigit(QChar c) {
  const char16_t u = c.unicode();
  return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

bool isHexNumber(QStringView text) {
  return !text.isEmpty() && std::all_of(text.begin(), text.end(), isHexDigit);
}

// A type tag such as "hex" or "hex(2)" before the colon of an other-typed value.
bool isTypeTag(QStringView tag) {
  if (tag.isEmpty()) return false;
  for (const QChar c : tag)
    if (!c.isLetterOrNumber() && c != u'(' && c != u')') return false;
  return true;
}

// Binary data, "hex:" or "hex(N):": the one kind of value an export continues
// over several lines.
bool isHexTag(QStringView tag) {
  if (tag.compare(u"hex", Qt::CaseInsensitive) == 0) return true;
  const bool typed =
      tag.size() > 5 && tag.first(4).compare(u"hex(", Qt::CaseInsensitive) == 0 && tag.endsWith(u')');
  return typed && isHexNumber(tag.sliced(4, tag.size() - 5));
}

// Comma-separated bytes of one or two hex digits, blanks around them; no data
// at all is an empty value.
bool isHexData(QStringView data) {
  if (data.trimmed().isEmpty()) return true;
  for (const QStringView byte : data.split(u',')) {
    const QStringView digits = byte.trimmed();
    if (digits.size() > 2 || !isHexNumber(digits)) return false;
  }
  return true;
}

std::optional<ValueStore::Value> parseValue(const QString& data) {
  ValueStore::Value value;
  if (data.startsWith(u'"')) {
    qsizetype pos = 0;
    auto text = readQuoted(data, pos);
    if (!text || !data.mid(pos).trimmed().isEmpty()) return std::nullopt;
    value.kind = ValueStore::Kind::Text;
    value.text = *text;
    return value;
  }
  if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
    const auto integer = parseDword(data.mid(6).trimmed());
    if (!integer) return std::nullopt;
    value.kind = ValueStore::Kind::Integer;
    value.integer = *integer;
    return value;
  }
  const qsizetype colon = data.indexOf(u':');
  if (colon <= 0) return std::nullopt;
  const QStringView tag = QStringView(data).first(colon);
  if (!isTypeTag(tag) || (isHexTag(tag) && !isHexData(QStringView(data).sliced(colon + 1))))
    return std::nullopt;
  value.kind = ValueStore::Kind::Other;
  value.text = data.trimmed();
  return value;
}

QString serializeValue(const ValueStore::Value& value) {
  switch (value.kind) {
    case ValueStore::Kind::Integer:
      return QStringLiteral("dword:%1").arg(static_cast<uint32_t>(value.integer), 8, 16, QLatin1Char('0'));
    case ValueStore::Kind::Text:
      return quoted(value.text);
    case ValueStore::Kind::Other:
      return value.text;
  }
  return QString();
}

// A value line split at its "=": the name, and the data trimmed.
struct ValueLine {
  QString name;
  QString data;
};

std::optional<ValueLine> splitValueLine(const QString& line) {
  const QString trimmed = line.trimmed();
  if (!trimmed.startsWith(u'"')) return std::nullopt;
  qsizetype pos = 0;
  const auto name = readQuoted(trimmed, pos);
  while (pos < trimmed.size() && trimmed[pos].isSpace()) ++pos;
  if (!name || pos >= trimmed.size() || trimmed[pos] != u'=') return std::nullopt;
  return ValueLine{*name, trimmed.mid(pos + 1).trimmed()};
}

bool isHexValueLine(const QString& line) {
  const auto value = splitValueLine(line);
  if (!value) return false;
  const qsizetype colon = value->data.indexOf(u':');
  return colon > 0 && isHexTag(QStringView(value->data).first(colon));
}

// A line that goes on with hex data: hex digits, commas and blanks, and a
// backslash at its very end when it goes on again.
bool isHexContinuation(QStringView line) {
  if (line.endsWith(u'\\')) line.chop(1);
  return std::all_of(line.begin(), line.end(),
                     [](QChar c) { return isHexDigit(c) || c == u',' || c == u' ' || c == u'\t'; });
}

// One line of the file without its line end; nullopt when it is not UTF-8.
// A U+FEFF here is part of the line: only the file's first bytes can be a
// byte-order mark.
std::optional<QString> decodeLine(QByteArrayView bytes) {
  if (bytes.endsWith('\r')) bytes.chop(1);
  QStringDecoder decoder(QStringDecoder::Utf8,
                         QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
  QString line = decoder.decode(bytes);
  if (decoder.hasError()) return std::nullopt;
  return line;
}

// The file's lines as UTF-8, without a byte-order mark. A registry editor
// exports UTF-16 with a byte-order mark.
QList<QByteArray> contentLines(const QByteArray& content) {
  if (content.startsWith(kUtf16LeBom)) {
    QStringDecoder utf16(QStringDecoder::Utf16LE, QStringDecoder::Flag::Stateless);
    const QString text = utf16.decode(QByteArrayView(content).sliced(kUtf16LeBom.size()));
    return text.toUtf8().split('\n');
  }
  if (content.startsWith(kUtf8Bom)) return content.sliced(kUtf8Bom.size()).split('\n');
  return content.split('\n');
}

bool isEditorHeader(const QString& line) {
  return line == QLatin1String("Windows Registry Editor Version 5.00") || line == QLatin1String("REGEDIT4");
}

void putEntry(ValueStore::Key& key, const QString& name, const ValueStore::Value& value) {
  for (auto& entry : key.entries) {
    if (sameName(entry.name, name)) {
      entry.value = value;
      return;
    }
  }
  key.entries.append({name, value});
}

qsizetype keyIndex(QList<ValueStore::Key>& keys, const QString& path) {
  for (qsizetype i = 0; i < keys.size(); ++i)
    if (sameName(keys[i].path, path)) return i;
  keys.append({path, {}});
  return keys.size() - 1;
}

// A key path that a head line gives back as itself.
bool isStorableKeyPath(const QString& path) {
  return !path.isEmpty() && path == path.trimmed() && !path.contains(u'\n');
}

// The key index before the first head, and after a head that cannot be read.
constexpr qsizetype kNoKey = -1;

// Takes in a line that is neither blank nor a comment, trimmed; false when it
// cannot be read. `key` is the index of the key the line is in, kNoKey after
// a head that cannot be read, so that its values go nowhere rather than into
// the key before it.
bool takeLine(const QString& line, QList<ValueStore::Key>& keys, qsizetype& key) {
  if (line.startsWith(u'[')) {
    key = kNoKey;
    const QString path = line.endsWith(u']') ? line.mid(1, line.size() - 2).trimmed() : QString();
    if (path.isEmpty()) return false;
    key = keyIndex(keys, path);
    return true;
  }
  if (key == kNoKey) return false;
  const std::optional<ValueLine> value = splitValueLine(line);
  if (!value) return false;
  const std::optional<ValueStore::Value> data = parseValue(value->data);
  if (!data) return false;
  putEntry(keys[key], value->name, *data);
  return true;
}

// What was not read, for standard error: the first few line numbers.
QString unreadableText(const QList<int>& lines) {
  constexpr qsizetype kShown = 10;
  if (lines.isEmpty()) return QStringLiteral("the file is too large to be read");
  QStringList numbers;
  for (const int number : lines.first(std::min(kShown, lines.size()))) numbers << QString::number(number);
  QString text =
      (lines.size() == 1 ? QStringLiteral("line ") : QStringLiteral("lines ")) + numbers.join(u", ");
  if (lines.size() > kShown) text += QStringLiteral(" and %1 more").arg(lines.size() - kShown);
  return text + QStringLiteral(" cannot be read");
}

enum class FileState { Missing, Regular, Unreadable };

FileState stateOf(const QString& path) {
  std::error_code error;
  const auto status = std::filesystem::status(QFile::encodeName(path).toStdString(), error);
  if (status.type() == std::filesystem::file_type::not_found) return FileState::Missing;
  if (error || status.type() != std::filesystem::file_type::regular) return FileState::Unreadable;
  return FileState::Regular;
}
}  // namespace

QString userConfigFolder() {
  const QString config = environmentPath("XDG_CONFIG_HOME");
  if (!config.isEmpty() && QDir::isAbsolutePath(config)) return QDir::cleanPath(config);
  QString home = environmentPath("HOME");
  if (home.isEmpty()) home = QDir::homePath();
  return QDir::cleanPath(home + QStringLiteral("/.config"));
}

QString ValueStore::defaultFilePath() {
  return userConfigFolder() + QStringLiteral("/Nimbra-Wallpaper/values.reg");
}

ValueStore ValueStore::open() { return openFile(defaultFilePath()); }

ValueStore ValueStore::openFile(const QString& filePath) {
  ValueStore store(filePath);
  store.load();
  return store;
}

void ValueStore::load() {
  // Opening the store makes its folder, so that the first save finds it.
  const QString folder = QFileInfo(m_filePath).absolutePath();
  if (!QDir().mkpath(folder) || !QFileInfo(folder).isDir()) {
    m_availability = Availability::Unavailable;
    return;
  }
  switch (stateOf(m_filePath)) {
    case FileState::Missing:
      return;
    case FileState::Unreadable:
      m_availability = Availability::Unavailable;
      return;
    case FileState::Regular:
      break;
  }
  QFile file(m_filePath);
  if (!file.open(QIODevice::ReadOnly)) {
    m_availability = Availability::Unavailable;
    return;
  }
  const QByteArray content = file.read(kMaxStoreSize + 1);
  if (file.error() != QFileDevice::NoError) {
    m_availability = Availability::Unavailable;
    return;
  }
  if (content.size() > kMaxStoreSize) {
    m_availability = Availability::Damaged;
    return;
  }
  Parsed parsed = parse(content);
  m_keys = std::move(parsed.keys);
  m_unreadableLines = std::move(parsed.unreadableLines);
  if (!m_unreadableLines.isEmpty()) m_availability = Availability::Damaged;
}

ValueStore::Parsed ValueStore::parse(const QByteArray& content) {
  Parsed parsed;
  const QList<QByteArray> lines = contentLines(content);
  qsizetype key = kNoKey;
  bool atStart = true;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    const int number = int(i) + 1;
    std::optional<QString> line = decodeLine(lines[i]);
    // An export continues long binary data on the lines after a backslash;
    // the value is read as one line.
    const bool hexValue = line && isHexValueLine(*line);
    while (hexValue && line->endsWith(u'\\') && i + 1 < lines.size()) {
      const std::optional<QString> next = decodeLine(lines[i + 1]);
      if (!next || !isHexContinuation(*next)) break;
      line->chop(1);
      *line += next->trimmed();
      ++i;
    }
    if (!line) {
      parsed.unreadableLines.append(number);
      continue;
    }
    const QString text = line->trimmed();
    if (text.isEmpty() || text.startsWith(u';')) continue;
    const bool header = atStart && isEditorHeader(text);
    atStart = false;
    if (!header && !takeLine(text, parsed.keys, key)) parsed.unreadableLines.append(number);
  }
  return parsed;
}

QByteArray ValueStore::serialize(const QList<Key>& keys) {
  QString text;
  for (const Key& key : keys) {
    text += QStringLiteral("\n[") + key.path + QStringLiteral("]\n");
    for (const Entry& entry : key.entries)
      text += quoted(entry.name) + u'=' + serializeValue(entry.value) + u'\n';
  }
  return kHeader + text.toUtf8();
}

std::optional<ValueStore::Value> ValueStore::value(const QString& keyPath, const QString& name) const {
  for (const Key& key : m_keys) {
    if (!sameName(key.path, keyPath)) continue;
    for (const Entry& entry : key.entries)
      if (sameName(entry.name, name)) return entry.value;
  }
  return std::nullopt;
}

QList<ValueStore::Entry> ValueStore::entries(const QString& keyPath) const {
  QList<Entry> found;
  for (const Key& key : m_keys)
    if (sameName(key.path, keyPath)) found += key.entries;
  return found;
}

bool ValueStore::setInteger(const QString& keyPath, const QString& name, int32_t value) {
  return store(keyPath, name, Value{Kind::Integer, value, QString()});
}

bool ValueStore::setText(const QString& keyPath, const QString& name, const QString& text) {
  return store(keyPath, name, Value{Kind::Text, 0, text});
}

bool ValueStore::store(const QString& keyPath, const QString& name, const Value& value) {
  if (!isOpen() || !isStorableKeyPath(keyPath)) return false;
  // Every start stores values it mostly found there already; rewriting the
  // file for them would only cost the start its time.
  if (m_availability == Availability::Open && holds(keyPath, name, value)) return true;
  const QList<Key> before = m_keys;
  putEntry(m_keys[keyIndex(m_keys, keyPath)], name, value);
  if (write()) return true;
  m_keys = before;
  return false;
}

bool ValueStore::holds(const QString& keyPath, const QString& name, const Value& wanted) const {
  const std::optional<Value> stored = value(keyPath, name);
  return stored && stored->kind == wanted.kind && stored->integer == wanted.integer &&
         stored->text == wanted.text;
}

bool ValueStore::remove(const QString& keyPath, const QString& name) {
  if (!isOpen()) return false;
  const QList<Key> before = m_keys;
  for (Key& key : m_keys) {
    if (!sameName(key.path, keyPath)) continue;
    const auto removed = key.entries.removeIf([&](const Entry& entry) { return sameName(entry.name, name); });
    if (removed == 0) return true;
    if (write()) return true;
    m_keys = before;
    return false;
  }
  return true;
}

bool ValueStore::write() {
  // A file the user may not write is left alone, and no copy is set aside.
  if (!isOpen() || !mayReplaceFile(m_filePath)) return false;
  if (m_availability == Availability::Damaged && !setAsideDamagedFile()) return false;
  if (!writeFileAtomically(m_filePath, serialize(m_keys), Durability::RenameOnly)) return false;
  m_availability = Availability::Open;
  return true;
}

// The lines that could not be read are not written again, and they may hold
// values the user still wants, so the file is copied beside the store before
// a fresh one replaces it.
bool ValueStore::setAsideDamagedFile() {
  if (!QFile::exists(m_filePath)) return true;
  const QString base = m_filePath + QStringLiteral(".broken-") +
                       QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QString target = base;
  for (int n = 2; QFileInfo::exists(target); ++n) target = base + u'-' + QString::number(n);
  if (!QFile::copy(m_filePath, target)) return false;
  m_setAsidePath = target;
  std::fprintf(stderr, "NimbraWallpaper: %s: %s; the file as it was is kept in %s\n", qPrintable(m_filePath),
               qPrintable(unreadableText(m_unreadableLines)), qPrintable(target));
  return true;
}
