#include "platform/Autostart.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <filesystem>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/TextEscape.h"
#include "platform/ValueStore.h"

namespace {
constexpr qint64 kMaxEntrySize = 64 * 1024;
const QString kReservedInExec = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
const QString kEscapedInQuotes = QStringLiteral("\"`$\\");

// Any blank or control character is quoted as well: the reading of the
// entry trims the value, which would take a vertical tab or a form feed off
// the end of a last argument.
bool needsQuoting(const QString& argument) {
  if (argument.isEmpty()) return true;
  for (const QChar c : argument)
    if (kReservedInExec.contains(c) || c.isSpace() || c.category() == QChar::Other_Control) return true;
  return false;
}

QString quote(const QString& argument) {
  QString out = QStringLiteral("\"");
  for (const QChar c : argument) {
    if (kEscapedInQuotes.contains(c)) out += u'\\';
    out += c;
  }
  return out + u'"';
}

// Desktop files escape string values once more at the file level; "\s" is
// read as a blank but never written.
constexpr BackslashEscape kStringValueEscapes[] = {
    {u'\\', u'\\'}, {u'\n', u'n'}, {u'\t', u't'}, {u'\r', u'r'}};
constexpr BackslashEscape kStringValueReadEscapes[] = {
    {u'\\', u'\\'}, {u'\n', u'n'}, {u'\t', u't'}, {u'\r', u'r'}, {u' ', u's'}};

QString escapeStringValue(const QString& value) { return escapeBackslashed(value, kStringValueEscapes); }

QString unescapeStringValue(const QString& value) {
  QString out;
  for (qsizetype i = 0; i < value.size(); ++i) {
    if (value[i] != u'\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    const QChar letter = value[++i];
    if (const std::optional<QChar> character = unescapedCharacter(letter, kStringValueReadEscapes))
      out += *character;
    else
      out += u'\\' + QString(letter);  // not a string escape: leave it to the Exec rules
  }
  return out;
}

// Reads a double-quoted argument from line[pos] == '"'; pos ends on the closing quote.
bool readDoubleQuoted(const QString& line, qsizetype& pos, QString& word) {
  for (++pos; pos < line.size(); ++pos) {
    const QChar c = line[pos];
    if (c == u'"') return true;
    if (c == u'\\' && pos + 1 < line.size() && kEscapedInQuotes.contains(line[pos + 1])) {
      word += line[++pos];
    } else if (c == u'%' && pos + 1 < line.size() && line[pos + 1] == u'%') {
      word += u'%';
      ++pos;
    } else {
      word += c;
    }
  }
  return false;
}

bool readSingleQuoted(const QString& line, qsizetype& pos, QString& word) {
  const qsizetype end = line.indexOf(u'\'', pos + 1);
  if (end < 0) return false;
  word += line.mid(pos + 1, end - pos - 1);
  pos = end;
  return true;
}

bool isTrue(const QString& value) { return value.trimmed() == QLatin1String("true"); }
bool isFalse(const QString& value) { return value.trimmed() == QLatin1String("false"); }

bool isRegularFile(const QString& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(QFile::encodeName(path).toStdString(), error);
}

bool pathExists(const QString& path) {
  std::error_code error;
  const auto status = std::filesystem::symlink_status(QFile::encodeName(path).toStdString(), error);
  return status.type() != std::filesystem::file_type::not_found;
}

std::filesystem::path nativePath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// GLib and systemd look for the program of an Exec line before they expand
// "%%", so they reject a program path that holds a "%" although the line
// follows the rules. Such a program is started through a link that has none.
QString programAliasPath() {
  return userConfigFolder() + QStringLiteral("/Nimbra-Wallpaper/NimbraWallpaper");
}

bool needsAlias(const QString& program) {
  return program.contains(u'%') && !programAliasPath().contains(u'%');
}

bool isAlias(const QString& path) {
  std::error_code error;
  return path == programAliasPath() && std::filesystem::is_symlink(nativePath(path), error);
}

bool pointAliasAt(const QString& program) {
  const QString alias = programAliasPath();
  const QString temporary = alias + QStringLiteral(".new");
  std::error_code error;
  std::filesystem::create_directories(nativePath(alias).parent_path(), error);
  std::filesystem::remove(nativePath(temporary), error);
  std::filesystem::create_symlink(nativePath(program), nativePath(temporary), error);
  if (error) return false;
  std::filesystem::rename(nativePath(temporary), nativePath(alias), error);
  return !error;
}

QString aliasTarget() {
  std::error_code error;
  const auto target = std::filesystem::read_symlink(nativePath(programAliasPath()), error);
  return error ? QString() : QFile::decodeName(QByteArray::fromStdString(target.string()));
}

void removeAlias() {
  std::error_code error;
  if (isAlias(programAliasPath())) std::filesystem::remove(nativePath(programAliasPath()), error);
}
}  // namespace

QString autostartEntryPath() {
  return userConfigFolder() + QStringLiteral("/autostart/Nimbra-Wallpaper.desktop");
}

QString execLine(const QStringList& command) {
  QStringList parts;
  for (qsizetype i = 0; i < command.size(); ++i) {
    // The program is always quoted, as the command line has it; the
    // arguments only when they need it.
    QString part = (i == 0 || needsQuoting(command[i])) ? quote(command[i]) : command[i];
    parts += part.replace(u'%', QStringLiteral("%%"));
  }
  return parts.join(u' ');
}

std::optional<QStringList> splitExecLine(const QString& execLine) {
  QStringList arguments;
  QString word;
  bool inWord = false;
  for (qsizetype pos = 0; pos < execLine.size(); ++pos) {
    const QChar c = execLine[pos];
    if (c == u' ' || c == u'\t' || c == u'\n') {
      if (inWord) arguments += word;
      word.clear();
      inWord = false;
      continue;
    }
    if (c == u'%') {
      if (pos + 1 == execLine.size()) return std::nullopt;
      const QChar code = execLine[++pos];
      if (code == u'%') {
        word += u'%';
        inWord = true;
      }
      // Other field codes stand for files or URLs, of which there are none.
      continue;
    }
    inWord = true;
    if (c == u'"') {
      if (!readDoubleQuoted(execLine, pos, word)) return std::nullopt;
    } else if (c == u'\'') {
      if (!readSingleQuoted(execLine, pos, word)) return std::nullopt;
    } else if (c == u'\\') {
      if (pos + 1 == execLine.size()) return std::nullopt;
      word += execLine[++pos];
    } else {
      word += c;
    }
  }
  if (inWord) arguments += word;
  return arguments;
}

QByteArray desktopEntryText(const QStringList& command) {
  QString text = QStringLiteral(
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Name=Nimbra Wallpaper\n"
      "Comment=Changes the desktop wallpaper when the session starts\n"
      "Terminal=false\n");
  text += QStringLiteral("Exec=") + escapeStringValue(execLine(command)) + u'\n';
  return text.toUtf8();
}

std::optional<AutostartEntry> parseDesktopEntry(const QByteArray& content) {
  std::optional<QStringList> command;
  AutostartEntry entry;
  bool inMainGroup = false;
  for (QString line : QString::fromUtf8(content).split(u'\n')) {
    if (line.endsWith(u'\r')) line.chop(1);
    if (line.startsWith(u'[')) {
      inMainGroup = line.trimmed() == QLatin1String("[Desktop Entry]");
      continue;
    }
    const qsizetype equals = line.indexOf(u'=');
    if (!inMainGroup || line.startsWith(u'#') || equals < 0) continue;
    const QString key = line.left(equals).trimmed();
    const QString value = unescapeStringValue(line.mid(equals + 1).trimmed());
    if (key == QLatin1String("Exec"))
      command = splitExecLine(value);
    else if (key == QLatin1String("Hidden") && isTrue(value))
      entry.active = false;
    else if (key == QLatin1String("X-GNOME-Autostart-enabled") && isFalse(value))
      entry.active = false;
  }
  if (!command || command->isEmpty()) return std::nullopt;
  entry.command = *command;
  return entry;
}

std::optional<AutostartEntry> readAutostartEntry() {
  const QString path = autostartEntryPath();
  if (!isRegularFile(path)) return std::nullopt;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  const QByteArray content = file.read(kMaxEntrySize + 1);
  if (content.size() > kMaxEntrySize) return std::nullopt;
  auto entry = parseDesktopEntry(content);
  if (entry && isAlias(entry->command.first())) entry->command.first() = aliasTarget();
  return entry;
}

bool writeAutostartEntry(const QStringList& command) {
  const QString path = autostartEntryPath();
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QStringList written = command;
  const bool throughAlias = !command.isEmpty() && needsAlias(command.first());
  if (throughAlias) {
    if (!pointAliasAt(command.first())) return false;
    written.first() = programAliasPath();
  }
  if (!writeFileAtomically(path, desktopEntryText(written), Durability::RenameOnly)) return false;
  if (!throughAlias) removeAlias();
  return true;
}

bool removeAutostartEntry() {
  removeAlias();
  const QString path = autostartEntryPath();
  if (!pathExists(path)) return true;
  return QFile::remove(path);
}
