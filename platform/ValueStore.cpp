#include "platform/ValueStore.h"

#include "platform/AtomicFile.h"
#include "platform/TextEscape.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {
// Far more than the handful of values the program keeps; a bigger file is
// not one the program wrote.
constexpr qint64 kMaxStoreSize = 1024 * 1024;
const QByteArray kHeader = "; Nimbra-Wallpaper settings\n";

QString EnvironmentPath(const char* name) { return QFile::decodeName(qgetenv(name)); }

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

constexpr BackslashEscape kQuotedEscapes[] = {{u'\\', u'\\'}, {u'"', u'"'}, {u'\n', u'n'}, {u'\r', u'r'}};

QString Quoted(const QString& text) { return u'"' + EscapeBackslashed(text, kQuotedEscapes) + u'"'; }

// Reads a quoted string starting at line[pos] == '"'. On success pos is just
// past the closing quote.
std::optional<QString> ReadQuoted(const QString& line, qsizetype& pos) {
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
    const std::optional<QChar> character = UnescapedCharacter(line[i], kQuotedEscapes);
    if (!character) return std::nullopt;
    out += *character;
  }
  return std::nullopt;
}

std::optional<int32_t> ParseDword(const QString& digits) {
  if (digits.isEmpty() || digits.size() > 8) return std::nullopt;
  bool ok = false;
  const uint32_t value = digits.toUInt(&ok, 16);
  if (!ok || digits.startsWith(u'+') || digits.startsWith(u'-')) return std::nullopt;
  return static_cast<int32_t>(value);
}

// A type tag such as "hex" or "hex(2)" before the colon of an other-typed value.
bool IsTypeTag(QStringView tag) {
  if (tag.isEmpty()) return false;
  for (const QChar c : tag)
    if (!c.isLetterOrNumber() && c != u'(' && c != u')') return false;
  return true;
}

std::optional<ValueStore::Value> ParseValue(const QString& data) {
  ValueStore::Value value;
  if (data.startsWith(u'"')) {
    qsizetype pos = 0;
    auto text = ReadQuoted(data, pos);
    if (!text || !data.mid(pos).trimmed().isEmpty()) return std::nullopt;
    value.kind = ValueStore::Kind::Text;
    value.text = *text;
    return value;
  }
  if (data.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
    const auto integer = ParseDword(data.mid(6).trimmed());
    if (!integer) return std::nullopt;
    value.kind = ValueStore::Kind::Integer;
    value.integer = *integer;
    return value;
  }
  const qsizetype colon = data.indexOf(u':');
  if (colon <= 0 || !IsTypeTag(QStringView(data).left(colon))) return std::nullopt;
  value.kind = ValueStore::Kind::Other;
  value.text = data.trimmed();
  return value;
}

QString SerializeValue(const ValueStore::Value& value) {
  switch (value.kind) {
    case ValueStore::Kind::Integer:
      return QStringLiteral("dword:%1").arg(static_cast<uint32_t>(value.integer), 8, 16, QLatin1Char('0'));
    case ValueStore::Kind::Text:
      return Quoted(value.text);
    case ValueStore::Kind::Other:
      return value.text;
  }
  return QString();
}

// Export files continue long binary data on the next line after a trailing
// backslash; such a value is joined into one line.
QStringList JoinContinuedLines(const QStringList& lines) {
  QStringList joined;
  bool continuing = false;
  for (QString line : lines) {
    if (line.endsWith(u'\r')) line.chop(1);
    if (continuing)
      joined.last() += line.trimmed();
    else
      joined += line;
    continuing = joined.last().endsWith(u'\\') && !joined.last().trimmed().startsWith(u';');
    if (continuing) joined.last().chop(1);
  }
  return joined;
}

void PutEntry(ValueStore::Key& key, const QString& name, const ValueStore::Value& value) {
  for (auto& entry : key.entries) {
    if (SameName(entry.name, name)) {
      entry.value = value;
      return;
    }
  }
  key.entries.append({name, value});
}

ValueStore::Key& KeyNamed(QList<ValueStore::Key>& keys, const QString& path) {
  for (auto& key : keys)
    if (SameName(key.path, path)) return key;
  keys.append({path, {}});
  return keys.last();
}

enum class FileState { Missing, Regular, Unreadable };

FileState StateOf(const QString& path) {
  std::error_code error;
  const auto status = std::filesystem::status(QFile::encodeName(path).toStdString(), error);
  if (status.type() == std::filesystem::file_type::not_found) return FileState::Missing;
  if (error || status.type() != std::filesystem::file_type::regular) return FileState::Unreadable;
  return FileState::Regular;
}
}  // namespace

QString UserConfigFolder() {
  const QString config = EnvironmentPath("XDG_CONFIG_HOME");
  if (!config.isEmpty() && QDir::isAbsolutePath(config)) return QDir::cleanPath(config);
  QString home = EnvironmentPath("HOME");
  if (home.isEmpty()) home = QDir::homePath();
  return QDir::cleanPath(home + QStringLiteral("/.config"));
}

QString ValueStore::DefaultFilePath() {
  return UserConfigFolder() + QStringLiteral("/Nimbra-Wallpaper/values.reg");
}

ValueStore ValueStore::Open() { return OpenFile(DefaultFilePath()); }

ValueStore ValueStore::OpenFile(const QString& filePath) {
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
  switch (StateOf(m_filePath)) {
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
  auto keys = content.size() > kMaxStoreSize ? std::nullopt : Parse(content);
  if (!keys) {
    m_availability = Availability::Corrupt;
    return;
  }
  m_keys = std::move(*keys);
}

std::optional<QList<ValueStore::Key>> ValueStore::Parse(const QByteArray& content) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString text = decoder.decode(content);
  if (decoder.hasError()) return std::nullopt;
  QList<Key> keys;
  Key* current = nullptr;
  for (const QString& raw : JoinContinuedLines(text.split(u'\n'))) {
    const QString line = raw.trimmed();
    if (line.isEmpty() || line.startsWith(u';')) continue;
    if (line.startsWith(u'[')) {
      if (!line.endsWith(u']')) return std::nullopt;
      const QString path = line.mid(1, line.size() - 2).trimmed();
      if (path.isEmpty()) return std::nullopt;
      current = &KeyNamed(keys, path);
      continue;
    }
    if (!current || !line.startsWith(u'"')) return std::nullopt;
    qsizetype pos = 0;
    const auto name = ReadQuoted(line, pos);
    while (pos < line.size() && line[pos].isSpace()) ++pos;
    if (!name || pos >= line.size() || line[pos] != u'=') return std::nullopt;
    const auto value = ParseValue(line.mid(pos + 1).trimmed());
    if (!value) return std::nullopt;
    PutEntry(*current, *name, *value);
  }
  return keys;
}

QByteArray ValueStore::Serialize(const QList<Key>& keys) {
  QString text;
  for (const Key& key : keys) {
    text += QStringLiteral("\n[") + key.path + QStringLiteral("]\n");
    for (const Entry& entry : key.entries)
      text += Quoted(entry.name) + u'=' + SerializeValue(entry.value) + u'\n';
  }
  return kHeader + text.toUtf8();
}

std::optional<ValueStore::Value> ValueStore::value(const QString& keyPath, const QString& name) const {
  for (const Key& key : m_keys) {
    if (!SameName(key.path, keyPath)) continue;
    for (const Entry& entry : key.entries)
      if (SameName(entry.name, name)) return entry.value;
  }
  return std::nullopt;
}

bool ValueStore::setInteger(const QString& keyPath, const QString& name, int32_t value) {
  return store(keyPath, name, Value{Kind::Integer, value, QString()});
}

bool ValueStore::setText(const QString& keyPath, const QString& name, const QString& text) {
  return store(keyPath, name, Value{Kind::Text, 0, text});
}

bool ValueStore::store(const QString& keyPath, const QString& name, const Value& value) {
  if (!isOpen()) return false;
  const QList<Key> before = m_keys;
  PutEntry(KeyNamed(m_keys, keyPath), name, value);
  if (write()) return true;
  m_keys = before;
  return false;
}

bool ValueStore::remove(const QString& keyPath, const QString& name) {
  if (!isOpen()) return false;
  const QList<Key> before = m_keys;
  for (Key& key : m_keys) {
    if (!SameName(key.path, keyPath)) continue;
    const auto removed = key.entries.removeIf([&](const Entry& entry) { return SameName(entry.name, name); });
    if (removed == 0) return true;
    if (write()) return true;
    m_keys = before;
    return false;
  }
  return true;
}

bool ValueStore::write() {
  if (!isOpen()) return false;
  if (m_availability == Availability::Corrupt && !setAsideBrokenFile()) return false;
  if (!WriteFileAtomically(m_filePath, Serialize(m_keys), Durability::RenameOnly)) return false;
  m_availability = Availability::Open;
  return true;
}

// The broken file may hold values the user still wants, so it is copied
// beside the store before a fresh file replaces it.
bool ValueStore::setAsideBrokenFile() {
  if (!QFile::exists(m_filePath)) return true;
  const QString base = m_filePath + QStringLiteral(".broken-") +
                       QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
  QString target = base;
  for (int n = 2; QFileInfo::exists(target); ++n) target = base + u'-' + QString::number(n);
  if (!QFile::copy(m_filePath, target)) return false;
  m_setAsidePath = target;
  return true;
}
