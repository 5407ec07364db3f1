#include "platform/FileNames.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;  // a byte b >= 0x80 becomes kEscapeBase + b
constexpr char16_t kFirstEscape = 0xDC80;
constexpr char16_t kLastEscape = 0xDCFF;

bool isContinuation(uchar byte) { return (byte & 0xC0) == 0x80; }

// The code point of the UTF-8 sequence at `p`, and its length in `length`;
// 0 length when the bytes there are not a valid sequence (too short, a bad
// continuation, an overlong form, a surrogate or beyond U+10FFFF).
char32_t decodeSequence(const uchar* p, const uchar* end, int& length) {
  const uchar lead = *p;
  char32_t code = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1F;
    least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0F;
    least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07;
    least = 0x10000;
  } else {
    length = 0;
    return 0;
  }
  if (end - p < length) {
    length = 0;
    return 0;
  }
  for (int i = 1; i < length; ++i) {
    if (!isContinuation(p[i])) {
      length = 0;
      return 0;
    }
    code = (code << 6) | (p[i] & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) length = 0;
  return code;
}

// Appends the UTF-8 form of one code point.
char* putUtf8(char* out, char32_t code) {
  if (code < 0x80) {
    *out++ = char(code);
  } else if (code < 0x800) {
    *out++ = char(0xC0 | (code >> 6));
    *out++ = char(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    *out++ = char(0xE0 | (code >> 12));
    *out++ = char(0x80 | ((code >> 6) & 0x3F));
    *out++ = char(0x80 | (code & 0x3F));
  } else {
    *out++ = char(0xF0 | (code >> 18));
    *out++ = char(0x80 | ((code >> 12) & 0x3F));
    *out++ = char(0x80 | ((code >> 6) & 0x3F));
    *out++ = char(0x80 | (code & 0x3F));
  }
  return out;
}

bool isEscapedByte(char16_t unit) { return unit >= kFirstEscape && unit <= kLastEscape; }

EntryKind kindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::File;
  if (S_ISDIR(mode)) return EntryKind::Folder;
  return EntryKind::Other;
}

// The kind of a directory entry: the type readdir reports where it says
// enough, else a look at the entry itself.
void resolveKind(int folder, const dirent& entry, FolderEntry& result) {
  if (entry.d_type == DT_REG || entry.d_type == DT_DIR) {
    result.kind = entry.d_type == DT_REG ? EntryKind::File : EntryKind::Folder;
    return;
  }
  struct stat info {};
  if (entry.d_type == DT_UNKNOWN) {
    if (::fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) return;
    result.isLink = S_ISLNK(info.st_mode);
    if (!result.isLink) {
      result.kind = kindOfMode(info.st_mode);
      return;
    }
  } else {
    result.isLink = entry.d_type == DT_LNK;
    if (!result.isLink) return;  // a pipe, socket or device
  }
  if (::fstatat(folder, entry.d_name, &info, 0) == 0) result.kind = kindOfMode(info.st_mode);
}

}  // namespace

QString decodeFileName(QByteArrayView bytes) {
  // No byte gives more than one UTF-16 unit: a four-byte sequence gives two.
  QString name(bytes.size(), Qt::Uninitialized);
  char16_t* out = reinterpret_cast<char16_t*>(name.data());
  const auto* p = reinterpret_cast<const uchar*>(bytes.data());
  const uchar* const end = p + bytes.size();
  while (p < end) {
    if (*p < 0x80) {
      *out++ = *p++;
      continue;
    }
    int length = 0;
    const char32_t code = decodeSequence(p, end, length);
    if (length == 0) {
      *out++ = char16_t(kEscapeBase + *p++);
      continue;
    }
    if (code >= 0x10000) {
      *out++ = QChar::highSurrogate(code);
      *out++ = QChar::lowSurrogate(code);
    } else {
      *out++ = char16_t(code);
    }
    p += length;
  }
  name.truncate(out - reinterpret_cast<const char16_t*>(name.constData()));
  return name;
}

QByteArray encodeFileName(QStringView name) {
  // No UTF-16 unit gives more than three bytes: a surrogate pair gives four.
  QByteArray bytes(name.size() * 3, Qt::Uninitialized);
  char* out = bytes.data();
  const qsizetype count = name.size();
  for (qsizetype i = 0; i < count; ++i) {
    const char16_t unit = name[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < count && QChar::isLowSurrogate(name[i + 1].unicode())) {
      out = putUtf8(out, QChar::surrogateToUcs4(unit, name[i + 1].unicode()));
      ++i;
    } else if (isEscapedByte(unit)) {
      *out++ = char(unit - kEscapeBase);
    } else if (QChar::isSurrogate(unit)) {
      out = putUtf8(out, QChar::ReplacementCharacter);  // as Qt writes a lone surrogate
    } else {
      out = putUtf8(out, unit);
    }
  }
  bytes.truncate(out - bytes.constData());
  return bytes;
}

bool holdsForeignBytes(QStringView name) {
  for (qsizetype i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < name.size() && QChar::isLowSurrogate(name[i + 1].unicode()))
      ++i;
    else if (isEscapedByte(unit))
      return true;
  }
  return false;
}

QString foldFileNameCase(const QString& name) {
  if (!holdsForeignBytes(name)) return name.toCaseFolded();
  QString folded;
  folded.reserve(name.size());
  qsizetype start = 0;
  for (qsizetype i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i].unicode();
    if (QChar::isHighSurrogate(unit) && i + 1 < name.size() && QChar::isLowSurrogate(name[i + 1].unicode())) {
      ++i;
      continue;
    }
    if (!QChar::isSurrogate(unit)) continue;
    folded += QStringView(name).sliced(start, i - start).toString().toCaseFolded();
    folded += name[i];
    start = i + 1;
  }
  return folded + QStringView(name).sliced(start).toString().toCaseFolded();
}

QByteArray fileUri(const QString& absolutePath) {
  // Those QUrl leaves as they are in a path too, so a UTF-8 name gets the URI it always had.
  static const QByteArray kKept = QByteArrayLiteral("/!$&'()*+,;=:@");
  return QByteArrayLiteral("file://") + encodeFileName(absolutePath).toPercentEncoding(kKept);
}

std::vector<FolderEntry> readFolder(const QString& folder) {
  std::vector<FolderEntry> entries;
  DIR* stream = ::opendir(encodeFileName(folder).constData());
  if (!stream) return entries;
  const int descriptor = ::dirfd(stream);
  while (const dirent* entry = ::readdir(stream)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    FolderEntry result;
    result.name = decodeFileName(QByteArrayView(name));
    resolveKind(descriptor, *entry, result);
    entries.push_back(std::move(result));
  }
  ::closedir(stream);
  return entries;
}

QString realPath(const QString& path) {
  char resolved[PATH_MAX];
  if (!::realpath(encodeFileName(path).constData(), resolved)) return {};
  return decodeFileName(QByteArrayView(resolved));
}

PathKind kindOfPath(const QString& path) {
  struct stat info {};
  if (path.isEmpty()) return PathKind::Missing;
  if (::stat(encodeFileName(path).constData(), &info) != 0) {
    // Links that lead round in a circle are there, but are no file.
    return errno == ELOOP ? PathKind::Other : PathKind::Missing;
  }
  if (S_ISREG(info.st_mode)) return PathKind::File;
  return S_ISDIR(info.st_mode) ? PathKind::Folder : PathKind::Other;
}

bool isReadableFile(const QString& path) {
  return kindOfPath(path) == PathKind::File && ::access(encodeFileName(path).constData(), R_OK) == 0;
}

std::unique_ptr<QFile> openFileForReading(const QString& path, OpenFailure* failure) {
  const auto fail = [failure](OpenFailure why) {
    if (failure) *failure = why;
    return std::unique_ptr<QFile>();
  };
  switch (kindOfPath(path)) {
    case PathKind::Missing:
      return fail(OpenFailure::Missing);
    case PathKind::Folder:
    case PathKind::Other:
      return fail(OpenFailure::NotAFile);
    case PathKind::File:
      break;
  }
  // Not blocking, and checked once more when open: the name may have been
  // given to a pipe since it was looked at.
  const int descriptor = ::open(encodeFileName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (descriptor < 0) return fail(errno == ENOENT ? OpenFailure::Missing : OpenFailure::Unreadable);
  struct stat info {};
  if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(descriptor);
    return fail(OpenFailure::NotAFile);
  }
  auto file = std::make_unique<QFile>();
  if (!file->open(descriptor, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(descriptor);
    return fail(OpenFailure::Unreadable);
  }
  if (failure) *failure = OpenFailure::None;
  return file;
}

QString foreignBytesReason(const QString& path, const QString& tool) {
  return QStringLiteral("%1 takes only file names in UTF-8, and the name of %2 is not").arg(tool, path);
}
