#include "platform/OwnProcesses.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileNames.h"

QByteArray readProcFile(const QByteArray& process, const char* name) {
  const QByteArray path = "/proc/" + process + '/' + name;
  const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  QByteArray content;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) content.append(buffer, got);
  ::close(fd);
  return content;
}

bool ownProcess(const QByteArray& process) {
  struct stat info {};
  return ::stat(("/proc/" + process).constData(), &info) == 0 && info.st_uid == ::getuid();
}

QList<QByteArray> ownProcessesNamed(const QByteArray& command) {
  QList<QByteArray> found;
  for (const FolderEntry& entry : readFolder(QStringLiteral("/proc"))) {
    const QByteArray process = entry.name.toLatin1();
    bool isNumber = false;
    process.toUInt(&isNumber);
    if (isNumber && ownProcess(process) && readProcFile(process, "comm") == command + '\n') found << process;
  }
  return found;
}

OpenWatch::OpenWatch(const QByteArray& file) : m_fd(::inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
  if (m_fd >= 0 && ::inotify_add_watch(m_fd, file.constData(), IN_OPEN) < 0) {
    ::close(m_fd);
    m_fd = -1;
  }
}

OpenWatch::~OpenWatch() {
  if (m_fd >= 0) ::close(m_fd);
}

bool OpenWatch::awaitOpening(std::chrono::milliseconds patience) {
  if (m_fd < 0) return false;
  pollfd ready{m_fd, POLLIN, 0};
  if (::poll(&ready, 1, int(patience.count())) <= 0) return false;
  char events[4096];
  while (::read(m_fd, events, sizeof events) > 0) {
  }
  return true;
}
