#include "platform/AtomicFile.h"

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
#include <vector>

namespace {

// A link is followed, so that replacing the file keeps the link.
QString replacementTarget(const QString& path) {
  const QFileInfo info(path);
  if (!info.isSymLink()) return path;
  const QString target = info.canonicalFilePath();
  return target.isEmpty() ? path : target;
}

bool writeAll(int fd, QByteArrayView content) {
  errno = 0;
  while (!content.empty()) {
    const ssize_t written = ::write(fd, content.data(), size_t(content.size()));
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    content = content.sliced(written);
  }
  return true;
}

int createTemporary(const QString& target, QByteArray& tempPath) {
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

bool fail(QString* error, int code) {
  if (error) *error = errnoText(code);
  return false;
}

bool inGroup(gid_t group) {
  if (group == ::getegid()) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, group) != groups.begin() + got;
}

// The write bit of the class a process with root's ids falls in.
bool classMayWrite(const struct stat& info) {
  if (info.st_uid == ::geteuid()) return info.st_mode & S_IWUSR;
  if (inGroup(info.st_gid)) return info.st_mode & S_IWGRP;
  return info.st_mode & S_IWOTH;
}

// The replacement is a new file renamed over the old one, which needs only
// the folder's permission: the file's own is checked here. A path that cannot
// be looked at is left to the write, which reports its own failure.
int replaceRefusal(const QByteArray& target) {
  struct stat info {};
  if (::stat(target.constData(), &info) != 0) return 0;
  if (::geteuid() == 0) return classMayWrite(info) ? 0 : EACCES;
  if (::faccessat(AT_FDCWD, target.constData(), W_OK, AT_EACCESS) == 0) return 0;
  return errno == ENOENT ? 0 : errno;
}

}  // namespace

bool moveIntoPlace(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

QString errnoText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool mayReplaceFile(const QString& path, int* errorCode) {
  const int refusal = replaceRefusal(QFile::encodeName(replacementTarget(path)));
  if (refusal && errorCode) *errorCode = refusal;
  return refusal == 0;
}

bool writeFileAtomically(const QString& path, QByteArrayView content, Durability durability, QString* error) {
  const QString target = replacementTarget(path);
  if (const int refusal = replaceRefusal(QFile::encodeName(target))) return fail(error, refusal);
  QByteArray tempPath;
  int fd = createTemporary(target, tempPath);
  if (fd < 0 && errno == ENOENT && QDir().mkpath(QFileInfo(target).path()))
    fd = createTemporary(target, tempPath);
  if (fd < 0) return fail(error, errno);
  const QByteArray targetBytes = QFile::encodeName(target);
  struct stat existing {};
  if (::stat(targetBytes.constData(), &existing) == 0) ::fchmod(fd, existing.st_mode & 07777);
  int code = writeAll(fd, content) ? 0 : (errno ? errno : EIO);
  if (!code && durability == Durability::FlushBeforeRename && ::fdatasync(fd) != 0) code = errno;
  if (::close(fd) != 0 && !code) code = errno;
  if (!code && !moveIntoPlace(tempPath.toStdString(), targetBytes.toStdString())) code = errno;
  if (!code) return true;
  ::unlink(tempPath.constData());
  return fail(error, code);
}
