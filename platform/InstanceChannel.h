// One running program per data folder, and the channel through which a
// later start hands its request to it.
//
// Being the instance is holding an advisory lock on a file in the data
// folder. The kernel drops the lock when its holder ends, however it ends,
// so a crashed program never blocks the next start, and of two starts at the
// same moment exactly one gets it. The holder then listens on a local socket
// in the user's runtime folder; a socket file left by a crash is removed
// first, which is safe because only the lock holder ever listens on that
// name.
#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>

class QSocketNotifier;
class QTimer;

// $XDG_RUNTIME_DIR when it names a folder, otherwise a folder of this user's
// own in the temporary folder, made when missing; ending with "/". The
// runtime folder must belong to this user and be closed to others' writing,
// the temporary one to any access by others: nullopt otherwise, with which
// folder and why in error.
std::optional<QString> instanceRuntimeFolder(QString* error);

// Where the program that works on a data folder is found. The lock lies in
// the data folder itself, so that every start on that folder meets it,
// whatever runtime folder the start has; the socket lies in the runtime
// folder and is named after the data folder, so that copies of the program
// with data folders of their own run side by side. nullopt when the runtime
// folder is refused, with the reason in error.
struct InstanceChannel {
  QString lockPath;
  QString socketPath;
};
std::optional<InstanceChannel> instanceChannel(const QString& dataFolder, QString* error);

// The lock that makes a process the instance; held until destroyed. Its
// holder writes the socket it listens on into the file, for later starts
// whose runtime folder is another.
class InstanceLock {
 public:
  explicit InstanceLock(const QString& path, const QString& socketPath = {});
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock without waiting: false when another process holds it (or
  // the file cannot be made, with the reason in error()).
  bool tryTake();
  bool held() const { return m_fd >= 0 && m_held; }
  const QString& error() const { return m_error; }
  const QString& path() const { return m_path; }
  // What the holder wrote: empty until it has.
  QString holderSocketPath() const;

 private:
  void tellSocket();

  QString m_path;
  QString m_socketPath;
  QString m_error;
  int m_fd = -1;
  bool m_held = false;
};

// What the instance answers a request with: the exit code the asking
// process ends with, and a line it prints (standard error when the code is
// not 0).
struct InstanceReply {
  int exitCode = 0;
  QString message;
};

// The instance's side: each request (the words of a command) is answered
// by the handler, at once or, for work that takes a while, later: a
// deferred handler is given the way to answer and calls it once, when the
// work has ended, so that the instance's event loop goes on meanwhile. The
// answer is called on the server's thread; a start that has gone by then
// is simply not answered.
class InstanceServer : public QObject {
  Q_OBJECT
 public:
  using Handler = std::function<InstanceReply(const QStringList& request)>;
  using Answer = std::function<void(const InstanceReply& reply)>;
  using DeferredHandler = std::function<void(const QStringList& request, Answer answer)>;
  explicit InstanceServer(Handler handler, QObject* parent = nullptr);
  explicit InstanceServer(DeferredHandler handler, QObject* parent = nullptr);
  ~InstanceServer() override;

  // Only the holder of the InstanceLock may listen: a socket file already
  // there is taken for one left by a crash and replaced. Only this user may
  // connect. The file is removed when the server is destroyed.
  bool listen(const QString& socketPath, QString* error = nullptr);

 private:
  class Client;
  void accept();

  DeferredHandler m_handler;
  QString m_socketPath;
  int m_listener = -1;
  QSocketNotifier* m_accepting = nullptr;
};

// A later start that finds the lock taken: it tries again, on a timer and
// at growing intervals, to take the lock or to reach a listening instance,
// since the holder may be a program still starting or a command that ends
// soon.
// Exactly one of the signals ends the attempt.
class InstanceHandOver : public QObject {
  Q_OBJECT
 public:
  InstanceHandOver(InstanceLock& lock, QStringList request, std::chrono::milliseconds patience,
                   QString socketPath, QObject* parent = nullptr);
  void start();

 signals:
  void becameInstance();
  void answered(const InstanceReply& reply);
  void gaveUp(const QString& why);

 private:
  void attempt();
  std::optional<QString> holderSocketPath(QString* error) const;
  void retryLater();

  InstanceLock& m_lock;
  QStringList m_request;
  std::chrono::milliseconds m_patience;
  QString m_socketPath;
  QDeadlineTimer m_deadline;
  std::chrono::milliseconds m_nextRetry{};
  QTimer* m_retry;
};

// How long a later start waits for the instance's answer: longer than the
// instance takes to give up on a desktop that does not answer.
inline constexpr std::chrono::milliseconds kInstanceAnswerTime{30000};

// A later start's side: hands the request to the instance and waits for its
// answer, bounded by timeout. nullopt when no instance listens or it did not
// answer in time. The message comes without control characters: it is
// printed on a terminal.
std::optional<InstanceReply> sendToInstance(const QStringList& request, std::chrono::milliseconds timeout,
                                            const QString& socketPath);
