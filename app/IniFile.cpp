#include "app/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/TextCodec.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kNewLineEnd = "\r\n";
// The private-profile functions read into a buffer of 2048 characters.
constexpr size_t kMaxValueBytes = 2047;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }
char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

size_t SkipBlanks(std::string_view text, size_t pos, size_t end) {
  while (pos < end && IsBlank(text[pos])) ++pos;
  return pos;
}

size_t ContentStart(std::string_view text) { return text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0; }

// --- lines

struct Line {
  size_t begin;  // first byte
  size_t end;    // the line end, or the end of the text
  size_t next;   // the next line's first byte
  bool hasLineEnd() const { return next > end; }
};

// Walks the lines of a text. CR LF, LF and CR each end a line. The next CR
// and the next LF are remembered, so each is searched for (by memchr) once
// over the whole text even when the text holds none of one of them.
class LineReader {
 public:
  LineReader(std::string_view text, size_t from) : m_text(text), m_pos(from) {}

  bool Next(Line& line) {
    if (m_pos >= m_text.size()) return false;
    const size_t end = std::min(NextOf('\r', m_nextCr), NextOf('\n', m_nextLf));
    line.begin = m_pos;
    line.end = end;
    if (end == m_text.size())
      line.next = end;
    else if (m_text[end] == '\r' && end + 1 < m_text.size() && m_text[end + 1] == '\n')
      line.next = end + 2;
    else
      line.next = end + 1;
    m_pos = line.next;
    return true;
  }

 private:
  static constexpr size_t kUnknown = std::string_view::npos;

  size_t NextOf(char c, size_t& cached) const {
    if (cached != kUnknown && cached >= m_pos) return cached;
    const void* hit = std::memchr(m_text.data() + m_pos, c, m_text.size() - m_pos);
    cached = hit ? static_cast<size_t>(static_cast<const char*>(hit) - m_text.data()) : m_text.size();
    return cached;
  }

  std::string_view m_text;
  size_t m_pos;
  size_t m_nextCr = kUnknown;
  size_t m_nextLf = kUnknown;
};

size_t LineEndFrom(std::string_view text, size_t pos) {
  while (pos < text.size() && !IsLineEnd(text[pos])) ++pos;
  return pos;
}

// --- sections

// The first block of a section: the head line and where its entries start.
struct SectionBlock {
  Line head;
};

bool StartsLine(std::string_view text, size_t contentStart, size_t pos) {
  while (pos > contentStart && IsBlank(text[pos - 1])) --pos;
  return pos == contentStart || IsLineEnd(text[pos - 1]);
}

Line LineAt(std::string_view text, size_t begin) {
  LineReader reader(text, begin);
  Line line{};
  reader.Next(line);
  return line;
}

// Section heads are found by looking for "[" alone, which skips whole
// sections at memchr speed instead of walking every line.
std::optional<SectionBlock> FindSection(std::string_view text, std::string_view name) {
  const size_t contentStart = ContentStart(text);
  size_t pos = contentStart;
  while (pos < text.size()) {
    const void* hit = std::memchr(text.data() + pos, '[', text.size() - pos);
    if (!hit) return std::nullopt;
    const size_t bracket = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    pos = bracket + 1;
    if (!StartsLine(text, contentStart, bracket)) continue;
    const size_t lineEnd = LineEndFrom(text, bracket);
    const size_t close = text.substr(0, lineEnd).find(']', bracket);
    const size_t nameEnd = close == std::string_view::npos ? lineEnd : close;
    if (!EqualsIgnoringAsciiCase(TrimBlanks(text.substr(bracket + 1, nameEnd - bracket - 1)), name)) continue;
    size_t lineBegin = bracket;
    while (lineBegin > contentStart && IsBlank(text[lineBegin - 1])) --lineBegin;
    return SectionBlock{LineAt(text, lineBegin)};
  }
  return std::nullopt;
}

enum class Walk { Continue, Stop };

// Visits the lines of a section's block, up to the next section head. The
// visitor gets each line and the position of its first non-blank byte.
template <typename Visitor>
void ForEachBlockLine(std::string_view text, const SectionBlock& block, Visitor visit) {
  LineReader reader(text, block.head.next);
  Line line{};
  while (reader.Next(line)) {
    const size_t first = SkipBlanks(text, line.begin, line.end);
    if (first < line.end && text[first] == '[') return;
    if (visit(line, first) == Walk::Stop) return;
  }
}

bool IsEntry(std::string_view text, const Line& line, size_t first) {
  return first < line.end && text[first] != ';';
}

// Where the value of `key` starts (after the "="), when the line is that key's entry.
std::optional<size_t> MatchKey(std::string_view text, const Line& line, size_t first, std::string_view key) {
  if (!IsEntry(text, line, first) || first + key.size() > line.end) return std::nullopt;
  if (!EqualsIgnoringAsciiCase(text.substr(first, key.size()), key)) return std::nullopt;
  const size_t equals = SkipBlanks(text, first + key.size(), line.end);
  if (equals == line.end || text[equals] != '=') return std::nullopt;
  return equals + 1;
}

// --- names

enum class NameKind { Section, Key };

std::string WithoutLineBreaks(QByteArray bytes) {
  bytes.removeIf([](char c) { return IsLineEnd(c); });
  return bytes.toStdString();
}

// The bytes under which a name is matched and stored; empty when the name
// could not be read back as itself.
std::string StorableName(const QString& name, NameKind kind) {
  const std::string bytes = WithoutLineBreaks(name.toUtf8());
  const std::string_view trimmed = TrimBlanks(bytes);
  if (trimmed.empty()) return {};
  if (kind == NameKind::Section && trimmed.find(']') != std::string_view::npos) return {};
  if (kind == NameKind::Key &&
      (trimmed.front() == ';' || trimmed.front() == '[' || trimmed.find('=') != std::string_view::npos))
    return {};
  return std::string(trimmed);
}

// --- reading a value

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string_view Unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

QString DecodeValue(std::string_view file, std::string_view value) {
  if (IsAscii(value))
    return QString::fromLatin1(value.data(), qsizetype(std::min(value.size(), kMaxValueBytes)));
  const TextEncoding encoding = DetectTextEncoding(QByteArrayView(file.data(), qsizetype(file.size())));
  const QByteArrayView bytes(value.data(), qsizetype(value.size()));
  return DecodeText(bytes.first(CharacterBoundary(bytes, kMaxValueBytes, encoding)), encoding);
}

QString ReadValue(std::string_view text, const QString& section, const QString& key,
                  const QString& defaultValue) {
  const std::string sectionName = StorableName(section, NameKind::Section);
  const std::string keyName = StorableName(key, NameKind::Key);
  if (sectionName.empty() || keyName.empty()) return defaultValue;
  const auto block = FindSection(text, sectionName);
  if (!block) return defaultValue;
  std::optional<QString> found;
  ForEachBlockLine(text, *block, [&](const Line& line, size_t first) {
    const auto valueBegin = MatchKey(text, line, first, keyName);
    if (!valueBegin) return Walk::Continue;
    const std::string_view raw = text.substr(*valueBegin, line.end - *valueBegin);
    found = DecodeValue(text, Unquoted(TrimBlanks(raw)));
    return Walk::Stop;
  });
  return found.value_or(defaultValue);
}

// --- editing in memory; each returns whether the text changed

void AppendNewSection(std::string& text, std::string_view section, std::string_view entry) {
  if (text.size() > ContentStart(text) && !IsLineEnd(text.back())) text += kNewLineEnd;
  text.append("[").append(section).append("]").append(kNewLineEnd).append(entry).append(kNewLineEnd);
}

bool SetValue(std::string& text, std::string_view section, std::string_view key, std::string_view value) {
  const auto block = FindSection(text, section);
  std::string entry = std::string(key).append("=").append(value);
  if (!block) {
    AppendNewSection(text, section, entry);
    return true;
  }
  Line insertAfter = block->head;
  std::optional<Line> keyLine;
  size_t valueBegin = 0;
  ForEachBlockLine(text, *block, [&](const Line& line, size_t first) {
    if (const auto match = MatchKey(text, line, first, key)) {
      keyLine = line;
      valueBegin = *match;
      return Walk::Stop;
    }
    if (IsEntry(text, line, first)) insertAfter = line;
    return Walk::Continue;
  });
  if (keyLine) {
    const size_t oldLength = keyLine->end - valueBegin;
    if (std::string_view(text).substr(valueBegin, oldLength) == value) return false;
    text.replace(valueBegin, oldLength, value);
    return true;
  }
  if (!insertAfter.hasLineEnd()) entry.insert(0, kNewLineEnd);
  entry.append(kNewLineEnd);
  text.insert(insertAfter.next, entry);
  return true;
}

bool RemoveKey(std::string& text, std::string_view section, std::string_view key) {
  const auto block = FindSection(text, section);
  if (!block) return false;
  std::vector<Line> keyLines;
  ForEachBlockLine(text, *block, [&](const Line& line, size_t first) {
    if (MatchKey(text, line, first, key)) keyLines.push_back(line);
    return Walk::Continue;
  });
  for (auto line = keyLines.rbegin(); line != keyLines.rend(); ++line)
    text.erase(line->begin, line->next - line->begin);
  return !keyLines.empty();
}

std::string StorableValue(const QString& value) { return WithoutLineBreaks(value.toUtf8()); }

// --- files

enum class LoadResult { Loaded, Missing, Failed };

QString ErrnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// Reads the whole file into `content` (whose allocation is reused).
LoadResult LoadFile(const QByteArray& path, std::string& content, QString* why = nullptr) {
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (why) *why = ErrnoText(errno);
    return errno == ENOENT || errno == ENOTDIR ? LoadResult::Missing : LoadResult::Failed;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (why) *why = QStringLiteral("not a regular file");
    ::close(fd);
    return LoadResult::Failed;
  }
  // One byte more than the size, so a file that grew meanwhile is noticed.
  content.resize(static_cast<size_t>(info.st_size) + 1);
  size_t used = 0;
  for (;;) {
    if (used == content.size()) content.resize(content.size() * 2);
    const ssize_t got = ::read(fd, content.data() + used, content.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      if (why) *why = ErrnoText(errno);
      ::close(fd);
      return LoadResult::Failed;
    }
    if (got == 0) break;
    used += static_cast<size_t>(got);
  }
  ::close(fd);
  content.resize(used);
  return LoadResult::Loaded;
}

// A link is followed, so that replacing the file keeps the link.
QString ReplacementTarget(const QString& path) {
  const QFileInfo info(path);
  if (!info.isSymLink()) return path;
  const QString target = info.canonicalFilePath();
  return target.isEmpty() ? path : target;
}

bool WriteAll(int fd, std::string_view content) {
  errno = 0;
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), content.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    content.remove_prefix(static_cast<size_t>(written));
  }
  return true;
}

int CreateTemporary(const QString& target, QByteArray& tempPath) {
  static std::atomic<unsigned> counter{0};
  const QFileInfo info(target);
  const QString stem = info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".%1-%2.tmp");
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = QFile::encodeName(stem.arg(::getpid()).arg(counter++));
    // 0666 lets the umask decide, as for any new file.
    const int fd = ::open(tempPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  errno = EEXIST;
  return -1;
}

enum class Durability { RenameOnly, FlushBeforeRename };

// Writes a temporary file beside the target and renames it over the target:
// whatever happens, the target is the old file or the new one. Without a
// flush the rename is still atomic for every other process; ext4, XFS and
// btrfs also order a replacing rename after its data.
void ReplaceFile(const QString& path, std::string_view content, Durability durability) {
  const QString target = ReplacementTarget(path);
  QByteArray tempPath;
  int fd = CreateTemporary(target, tempPath);
  if (fd < 0 && errno == ENOENT && QDir().mkpath(QFileInfo(target).path()))
    fd = CreateTemporary(target, tempPath);
  if (fd < 0) throw EIniWriteError(path, ErrnoText(errno));
  const QByteArray targetBytes = QFile::encodeName(target);
  struct stat existing {};
  if (::stat(targetBytes.constData(), &existing) == 0) ::fchmod(fd, existing.st_mode & 07777);
  int error = WriteAll(fd, content) ? 0 : (errno ? errno : EIO);
  if (!error && durability == Durability::FlushBeforeRename && ::fdatasync(fd) != 0) error = errno;
  if (::close(fd) != 0 && !error) error = errno;
  if (!error && ::rename(tempPath.constData(), targetBytes.constData()) != 0) error = errno;
  if (!error) return;
  ::unlink(tempPath.constData());
  throw EIniWriteError(path, ErrnoText(error));
}

std::string LoadForEditing(const QString& path) {
  std::string content;
  QString why;
  if (LoadFile(QFile::encodeName(path), content, &why) == LoadResult::Failed)
    throw EIniWriteError(path, QStringLiteral("the existing file cannot be read: ") + why);
  return content;
}

// The names of a write, or the error that refuses it.
struct WriteNames {
  std::string section;
  std::string key;
};

WriteNames NamesForWriting(const QString& path, const QString& section, const QString& key) {
  WriteNames names{StorableName(section, NameKind::Section), StorableName(key, NameKind::Key)};
  if (names.section.empty() || names.key.empty())
    throw EIniWriteError(path, QStringLiteral("the name [%1] %2 cannot be stored").arg(section, key));
  return names;
}

}  // namespace

EIniWriteError::EIniWriteError(const QString& path, const QString& reason)
    : std::runtime_error(QStringLiteral("Unable to write to %1").arg(path).toStdString()),
      m_path(path),
      m_reason(reason) {}

// --- TIniFile

QString TIniFile::ReadIniText(const QString& section, const QString& key, const QString& defaultValue) const {
  // Reused between calls: only the allocation, never the content.
  thread_local std::string content;
  if (LoadFile(QFile::encodeName(m_fileName), content) != LoadResult::Loaded) return defaultValue;
  return ReadValue(content, section, key, defaultValue);
}

void TIniFile::WriteIniText(const QString& section, const QString& key, const QString& value) const {
  const WriteNames names = NamesForWriting(m_fileName, section, key);
  std::string content = LoadForEditing(m_fileName);
  if (SetValue(content, names.section, names.key, StorableValue(value)))
    ReplaceFile(m_fileName, content, Durability::RenameOnly);
}

void TIniFile::DeleteIniKey(const QString& section, const QString& key) const {
  const std::string sectionName = StorableName(section, NameKind::Section);
  const std::string keyName = StorableName(key, NameKind::Key);
  if (sectionName.empty() || keyName.empty()) return;
  std::string content;
  if (LoadFile(QFile::encodeName(m_fileName), content) != LoadResult::Loaded) return;
  if (!RemoveKey(content, sectionName, keyName)) return;
  try {
    ReplaceFile(m_fileName, content, Durability::RenameOnly);
  } catch (const EIniWriteError&) {
    // Deleting is best effort: the key simply stays.
  }
}

// --- TIniBatch

TIniBatch::TIniBatch(const TIniFile& file) : m_fileName(file.FileName()) {
  m_readFailed = LoadFile(QFile::encodeName(m_fileName), m_content) == LoadResult::Failed;
  if (m_readFailed) m_content.clear();
}

QString TIniBatch::ReadIniText(const QString& section, const QString& key,
                               const QString& defaultValue) const {
  return ReadValue(m_content, section, key, defaultValue);
}

void TIniBatch::WriteIniText(const QString& section, const QString& key, const QString& value) {
  const WriteNames names = NamesForWriting(m_fileName, section, key);
  if (m_readFailed) throw EIniWriteError(m_fileName, QStringLiteral("the existing file cannot be read"));
  if (SetValue(m_content, names.section, names.key, StorableValue(value))) m_changed = true;
}

void TIniBatch::DeleteIniKey(const QString& section, const QString& key) {
  const std::string sectionName = StorableName(section, NameKind::Section);
  const std::string keyName = StorableName(key, NameKind::Key);
  if (sectionName.empty() || keyName.empty()) return;
  if (RemoveKey(m_content, sectionName, keyName)) m_changed = true;
}

void TIniBatch::Commit() {
  if (!m_changed) return;
  ReplaceFile(m_fileName, m_content, Durability::FlushBeforeRename);
  m_changed = false;
}
