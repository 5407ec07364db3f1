#include "platform/IniFile.h"

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
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/AtomicFile.h"
#include "platform/TextCodec.h"

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kNewLineEnd = "\r\n";
// The private-profile functions read into a buffer of 2048 characters.
constexpr size_t kMaxValueBytes = 2047;
constexpr size_t kFirstReadSize = 16 * 1024;
// Far beyond any settings file; it keeps a device in the file's place from
// filling the memory.
constexpr size_t kMaxFileSize = 256 * 1024 * 1024;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }
bool isLineEnd(char c) { return c == '\r' || c == '\n'; }
char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
  return true;
}

size_t skipBlanks(std::string_view text, size_t pos, size_t end) {
  while (pos < end && isBlank(text[pos])) ++pos;
  return pos;
}

size_t contentStart(std::string_view text) { return text.starts_with(kUtf8Bom) ? kUtf8Bom.size() : 0; }

// --- lines

struct Line {
  size_t begin;  // first byte
  size_t end;    // the line end, or the end of the text
  size_t next;   // the next line's first byte
  bool hasLineEnd() const { return next > end; }
};

size_t afterLineEnd(std::string_view text, size_t end) {
  if (end == text.size()) return end;
  return text.substr(end).starts_with(kNewLineEnd) ? end + 2 : end + 1;
}

size_t lineEndFrom(std::string_view text, size_t pos) {
  while (pos < text.size() && !isLineEnd(text[pos])) ++pos;
  return pos;
}

// The line that starts at `begin`; for one line a plain loop beats memchr.
Line lineAt(std::string_view text, size_t begin) {
  const size_t end = lineEndFrom(text, begin);
  return Line{begin, end, afterLineEnd(text, end)};
}

// Walks the lines of a text. CR LF, LF and CR each end a line. The next CR
// and the next LF are remembered, so each is searched for (by memchr) once
// over the whole text even when the text holds none of one of them.
class LineReader {
 public:
  LineReader(std::string_view text, size_t from) : m_text(text), m_pos(from) {}

  bool next(Line& line) {
    if (m_pos >= m_text.size()) return false;
    const size_t end = std::min(nextOf('\r', m_nextCr), nextOf('\n', m_nextLf));
    line = Line{m_pos, end, afterLineEnd(m_text, end)};
    m_pos = line.next;
    return true;
  }

 private:
  static constexpr size_t kUnknown = std::string_view::npos;

  size_t nextOf(char c, size_t& cached) const {
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

// --- sections

// The first block of a section, known by its head line; it runs to the next
// section head.
struct SectionBlock {
  Line head;
  size_t bodyBegin() const { return head.next; }
};

// Whether only blanks stand between a line start (or `floor`, itself a line
// start) and pos.
bool startsLine(std::string_view text, size_t floor, size_t pos) {
  while (pos > floor && isBlank(text[pos - 1])) --pos;
  return pos == floor || isLineEnd(text[pos - 1]);
}

size_t lineBeginBefore(std::string_view text, size_t floor, size_t pos) {
  while (pos > floor && isBlank(text[pos - 1])) --pos;
  return pos;
}

// The "[" of the next section head at or after `from` (a line start), or the
// end of the text. Heads are found by looking for "[" alone, which passes
// over whole sections at memchr speed.
size_t nextHeadBracket(std::string_view text, size_t from) {
  for (size_t pos = from; pos < text.size();) {
    const void* hit = std::memchr(text.data() + pos, '[', text.size() - pos);
    if (!hit) break;
    const size_t bracket = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    if (startsLine(text, from, bracket)) return bracket;
    pos = bracket + 1;
  }
  return text.size();
}

std::string_view headName(std::string_view text, size_t bracket) {
  const size_t lineEnd = lineEndFrom(text, bracket);
  const size_t close = text.substr(0, lineEnd).find(']', bracket);
  const size_t nameEnd = close == std::string_view::npos ? lineEnd : close;
  return trimBlanks(text.substr(bracket + 1, nameEnd - bracket - 1));
}

std::optional<SectionBlock> findSection(std::string_view text, std::string_view name) {
  const size_t contentBegin = contentStart(text);
  for (size_t bracket = nextHeadBracket(text, contentBegin); bracket < text.size();) {
    const Line head = lineAt(text, lineBeginBefore(text, contentBegin, bracket));
    if (equalsIgnoringAsciiCase(headName(text, bracket), name)) return SectionBlock{head};
    bracket = nextHeadBracket(text, head.next);
  }
  return std::nullopt;
}

size_t blockEnd(std::string_view text, const SectionBlock& block) {
  return lineBeginBefore(text, block.bodyBegin(), nextHeadBracket(text, block.bodyBegin()));
}

// Where a block ends, searched for only as far as a walk through the block
// has got: a read near the block's start never searches the rest of the file.
class BlockEdge {
 public:
  BlockEdge(std::string_view text, const SectionBlock& block)
      : m_text(text), m_floor(block.bodyBegin()), m_searched(m_floor) {}

  // Whether a section head starts before pos.
  bool endsBefore(size_t pos) {
    if (m_head != kNone) return m_head < pos;
    while (m_searched < pos) {
      const void* hit = std::memchr(m_text.data() + m_searched, '[', pos - m_searched);
      if (!hit) {
        m_searched = pos;
        break;
      }
      const size_t bracket = static_cast<size_t>(static_cast<const char*>(hit) - m_text.data());
      m_searched = bracket + 1;
      if (startsLine(m_text, m_floor, bracket)) {
        m_head = bracket;
        return true;
      }
    }
    return false;
  }

 private:
  static constexpr size_t kNone = std::string_view::npos;
  std::string_view m_text;
  size_t m_floor;
  size_t m_searched;  // no head starts in [m_floor, m_searched)
  size_t m_head = kNone;
};

// --- keys

// An entry line of the key looked for.
struct KeyEntry {
  Line line;
  size_t valueBegin;  // after the "="
};

enum class Walk { Continue, Stop };

// Visits the entries of `key` in a block, in order. Instead of walking every
// line, it looks at each "=" (one a line in a catalogue) and checks that
// only blanks, the key and blanks stand between it and its line's start:
// then it is the line's first "=", and the line is neither a comment nor a
// section head, since a stored key starts with neither ";" nor "[".
template <typename Visitor>
void forEachKeyEntry(std::string_view text, const SectionBlock& block, std::string_view key, Visitor visit) {
  // How often a walk past all entries looks for the block's end.
  constexpr size_t kEdgeStride = 4096;
  const size_t floor = block.bodyBegin();
  BlockEdge edge(text, block);
  size_t nextEdgeCheck = floor + kEdgeStride;
  for (size_t pos = floor; pos < text.size();) {
    const void* hit = std::memchr(text.data() + pos, '=', text.size() - pos);
    if (!hit) return;
    const size_t equals = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    pos = equals + 1;
    if (equals >= nextEdgeCheck) {
      if (edge.endsBefore(equals)) return;
      nextEdgeCheck = equals + kEdgeStride;
    }
    const size_t nameEnd = lineBeginBefore(text, floor, equals);
    if (nameEnd < floor + key.size()) continue;
    const size_t nameBegin = nameEnd - key.size();
    if (!equalsIgnoringAsciiCase(text.substr(nameBegin, key.size()), key)) continue;
    if (!startsLine(text, floor, nameBegin)) continue;
    const Line line = lineAt(text, lineBeginBefore(text, floor, nameBegin));
    if (edge.endsBefore(line.begin)) return;
    pos = line.next;
    if (visit(KeyEntry{line, equals + 1}) == Walk::Stop) return;
  }
}

std::optional<KeyEntry> firstKeyEntry(std::string_view text, const SectionBlock& block,
                                      std::string_view key) {
  std::optional<KeyEntry> found;
  forEachKeyEntry(text, block, key, [&](const KeyEntry& entry) {
    found = entry;
    return Walk::Stop;
  });
  return found;
}

// The line after which a new key goes: the block's last entry (a line that
// is neither blank nor a comment), or the head.
Line lastEntryOrHead(std::string_view text, const SectionBlock& block) {
  const size_t end = blockEnd(text, block);
  Line last = block.head;
  LineReader reader(text, block.bodyBegin());
  Line line{};
  while (reader.next(line) && line.begin < end) {
    const size_t first = skipBlanks(text, line.begin, line.end);
    if (first < line.end && text[first] != ';') last = line;
  }
  return last;
}

// --- names

enum class NameKind { Section, Key };

std::string withoutLineBreaks(QByteArray bytes) {
  bytes.removeIf([](char c) { return isLineEnd(c); });
  return bytes.toStdString();
}

// The bytes under which a name is matched and stored; empty when the name
// could not be read back as itself.
std::string storableName(const QString& name, NameKind kind) {
  const std::string bytes = withoutLineBreaks(name.toUtf8());
  const std::string_view trimmed = trimBlanks(bytes);
  if (trimmed.empty()) return {};
  if (kind == NameKind::Section && trimmed.find(']') != std::string_view::npos) return {};
  if (kind == NameKind::Key &&
      (trimmed.front() == ';' || trimmed.front() == '[' || trimmed.find('=') != std::string_view::npos))
    return {};
  return std::string(trimmed);
}

// --- reading a value

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::string_view unquoted(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}

QString decodeValue(std::string_view file, std::string_view value) {
  if (isAscii(value))
    return QString::fromLatin1(value.data(), qsizetype(std::min(value.size(), kMaxValueBytes)));
  const TextEncoding encoding = detectTextEncoding(QByteArrayView(file.data(), qsizetype(file.size())));
  const QByteArrayView bytes(value.data(), qsizetype(value.size()));
  return decodeText(bytes.first(characterBoundary(bytes, kMaxValueBytes, encoding)), encoding);
}

QString readValue(std::string_view text, const QString& section, const QString& key,
                  const QString& defaultValue) {
  const std::string sectionName = storableName(section, NameKind::Section);
  const std::string keyName = storableName(key, NameKind::Key);
  if (sectionName.empty() || keyName.empty()) return defaultValue;
  const auto block = findSection(text, sectionName);
  if (!block) return defaultValue;
  const auto entry = firstKeyEntry(text, *block, keyName);
  if (!entry) return defaultValue;
  const std::string_view raw = text.substr(entry->valueBegin, entry->line.end - entry->valueBegin);
  return decodeValue(text, unquoted(trimBlanks(raw)));
}

// --- editing in memory; each returns whether the text changed

void appendNewSection(std::string& text, std::string_view section, std::string_view entry) {
  if (text.size() > contentStart(text) && !isLineEnd(text.back())) text += kNewLineEnd;
  text.append("[").append(section).append("]").append(kNewLineEnd).append(entry).append(kNewLineEnd);
}

bool setValue(std::string& text, std::string_view section, std::string_view key, std::string_view value) {
  std::string newLine = std::string(key).append("=").append(value);
  const auto block = findSection(text, section);
  if (!block) {
    appendNewSection(text, section, newLine);
    return true;
  }
  if (const auto existing = firstKeyEntry(text, *block, key)) {
    const size_t oldLength = existing->line.end - existing->valueBegin;
    if (std::string_view(text).substr(existing->valueBegin, oldLength) == value) return false;
    text.replace(existing->valueBegin, oldLength, value);
    return true;
  }
  const Line insertAfter = lastEntryOrHead(text, *block);
  if (!insertAfter.hasLineEnd()) newLine.insert(0, kNewLineEnd);
  newLine.append(kNewLineEnd);
  text.insert(insertAfter.next, newLine);
  return true;
}

bool removeKey(std::string& text, std::string_view section, std::string_view key) {
  const auto block = findSection(text, section);
  if (!block) return false;
  std::vector<Line> keyLines;
  forEachKeyEntry(text, *block, key, [&](const KeyEntry& entry) {
    keyLines.push_back(entry.line);
    return Walk::Continue;
  });
  for (auto line = keyLines.rbegin(); line != keyLines.rend(); ++line)
    text.erase(line->begin, line->next - line->begin);
  return !keyLines.empty();
}

std::string storableValue(const QString& value) { return withoutLineBreaks(value.toUtf8()); }

// --- files

enum class LoadResult { Loaded, Missing, Failed };

// The bytes of a file. Growing it keeps what it holds and never clears the
// rest, so reusing one for every read costs nothing.
class FileBytes {
 public:
  std::string_view view() const { return {m_data.get(), m_size}; }
  size_t capacity() const { return m_capacity; }
  char* data() { return m_data.get(); }
  void setSize(size_t size) { m_size = size; }
  void grow(size_t capacity) {
    auto larger = std::make_unique_for_overwrite<char[]>(capacity);
    if (m_size > 0) std::memcpy(larger.get(), m_data.get(), m_size);
    m_data = std::move(larger);
    m_capacity = capacity;
  }

 private:
  std::unique_ptr<char[]> m_data;
  size_t m_capacity = 0;
  size_t m_size = 0;
};

// Reads the whole file: open, one read and close are all the system calls a
// settings read costs.
LoadResult loadFile(const QByteArray& path, FileBytes& bytes, QString* why = nullptr) {
  bytes.setSize(0);
  // Not blocking, so that a pipe in the file's place cannot hang the program.
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    const int error = errno;
    if (why) *why = errnoText(error);
    return error == ENOENT || error == ENOTDIR ? LoadResult::Missing : LoadResult::Failed;
  }
  if (bytes.capacity() == 0) bytes.grow(kFirstReadSize);
  size_t used = 0;
  for (;;) {
    const size_t wanted = bytes.capacity() - used;
    const ssize_t got = ::read(fd, bytes.data() + used, wanted);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || (static_cast<size_t>(got) == wanted && bytes.capacity() >= kMaxFileSize)) {
      if (why) *why = got < 0 ? errnoText(errno) : QStringLiteral("the file is too large");
      ::close(fd);
      return LoadResult::Failed;
    }
    used += static_cast<size_t>(got);
    bytes.setSize(used);
    // A regular file reads short only at its end.
    if (static_cast<size_t>(got) < wanted) break;
    bytes.grow(bytes.capacity() * 2);
  }
  ::close(fd);
  return LoadResult::Loaded;
}

void replace(const QString& path, std::string_view content, Durability durability) {
  QString why;
  if (!writeFileAtomically(path, QByteArrayView(content.data(), qsizetype(content.size())), durability, &why))
    throw IniWriteError(path, why);
}

std::string loadForEditing(const QString& path) {
  FileBytes bytes;
  QString why;
  if (loadFile(QFile::encodeName(path), bytes, &why) == LoadResult::Failed)
    throw IniWriteError(path, QStringLiteral("the existing file cannot be read: ") + why);
  return std::string(bytes.view());
}

// The names of a write, or the error that refuses it.
struct WriteNames {
  std::string section;
  std::string key;
};

WriteNames namesForWriting(const QString& path, const QString& section, const QString& key) {
  WriteNames names{storableName(section, NameKind::Section), storableName(key, NameKind::Key)};
  if (names.section.empty() || names.key.empty())
    throw IniWriteError(path, QStringLiteral("the name [%1] %2 cannot be stored").arg(section, key));
  return names;
}

}  // namespace

IniWriteError::IniWriteError(const QString& path, const QString& reason)
    : std::runtime_error(QStringLiteral("Unable to write to %1").arg(path).toStdString()),
      m_path(path),
      m_reason(reason) {}

QString IniWriteError::report() const {
  const QString text = QString::fromUtf8(what());
  return m_reason.isEmpty() ? text : QStringLiteral("%1: %2").arg(text, m_reason);
}

// --- IniFile

QString IniFile::ReadIniText(const QString& section, const QString& key, const QString& defaultValue) const {
  // Reused between calls: only the allocation, never the content.
  thread_local FileBytes bytes;
  if (loadFile(QFile::encodeName(m_fileName), bytes) != LoadResult::Loaded) return defaultValue;
  return readValue(bytes.view(), section, key, defaultValue);
}

void IniFile::WriteIniText(const QString& section, const QString& key, const QString& value) const {
  const WriteNames names = namesForWriting(m_fileName, section, key);
  std::string content = loadForEditing(m_fileName);
  if (setValue(content, names.section, names.key, storableValue(value)))
    replace(m_fileName, content, Durability::RenameOnly);
}

void IniFile::DeleteIniKey(const QString& section, const QString& key) const {
  const std::string sectionName = storableName(section, NameKind::Section);
  const std::string keyName = storableName(key, NameKind::Key);
  if (sectionName.empty() || keyName.empty()) return;
  FileBytes bytes;
  if (loadFile(QFile::encodeName(m_fileName), bytes) != LoadResult::Loaded) return;
  std::string content(bytes.view());
  if (!removeKey(content, sectionName, keyName)) return;
  try {
    replace(m_fileName, content, Durability::RenameOnly);
  } catch (const IniWriteError&) {
    // Deleting is best effort: the key simply stays.
  }
}

// --- IniBatch

IniBatch::IniBatch(const IniFile& file) : m_fileName(file.fileName()) {
  FileBytes bytes;
  m_readFailed = loadFile(QFile::encodeName(m_fileName), bytes) == LoadResult::Failed;
  if (!m_readFailed) m_content = bytes.view();
}

QString IniBatch::ReadIniText(const QString& section, const QString& key, const QString& defaultValue) const {
  return readValue(m_content, section, key, defaultValue);
}

void IniBatch::WriteIniText(const QString& section, const QString& key, const QString& value) {
  const WriteNames names = namesForWriting(m_fileName, section, key);
  if (m_readFailed) throw IniWriteError(m_fileName, QStringLiteral("the existing file cannot be read"));
  if (setValue(m_content, names.section, names.key, storableValue(value))) m_changed = true;
}

void IniBatch::DeleteIniKey(const QString& section, const QString& key) {
  const std::string sectionName = storableName(section, NameKind::Section);
  const std::string keyName = storableName(key, NameKind::Key);
  if (sectionName.empty() || keyName.empty()) return;
  if (removeKey(m_content, sectionName, keyName)) m_changed = true;
}

void IniBatch::commit() {
  if (!m_changed) return;
  replace(m_fileName, m_content, Durability::FlushBeforeRename);
  m_changed = false;
}
