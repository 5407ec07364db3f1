// The user's own processes as /proc shows them, for the desktop helpers that
// run on their own (swaybg, hyprpaper), and a watch that tells when such a
// helper opens its picture.
#pragma once

#include <QByteArray>
#include <QList>
#include <chrono>

// A file of /proc/<process>/, whole; empty when it cannot be read.
QByteArray readProcFile(const QByteArray& process, const char* name);
// Whether the process runs as this user.
bool ownProcess(const QByteArray& process);
// The ids of this user's processes whose command name is `command`.
QList<QByteArray> ownProcessesNamed(const QByteArray& command);

// Tells when a process opens the file: a helper reads its picture at its
// start, so each opening is a moment to look whether it shows the picture.
class OpenWatch {
 public:
  explicit OpenWatch(const QByteArray& file);
  ~OpenWatch();
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  // False when the time passed with no opening (or the file cannot be watched).
  bool awaitOpening(std::chrono::milliseconds patience);

 private:
  int m_fd;
};
