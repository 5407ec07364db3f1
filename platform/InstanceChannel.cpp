#include "platform/InstanceChannel.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QTimer>
#include <algorithm>

#include "platform/AtomicFile.h"

namespace {
// A request is a handful of words; anything larger is not from a start of
// this program.
constexpr qint64 kMaxMessageBytes = 64 * 1024;
constexpr auto kStreamVersion = QDataStream::Qt_6_0;
// A start writes its request as soon as it is connected.
constexpr int kRequestMilliseconds = 3000;
// A holder that is starting answers soon; one that keeps hanging up is asked
// less and less often.
constexpr std::chrono::milliseconds kFirstRetry{50};
constexpr std::chrono::milliseconds kLongestRetry{1000};
// Longer than any path a local socket can have.
constexpr qsizetype kMaxSocketPathBytes = 4096;

enum class OthersMay { Nothing, Read };

// Why a folder is no place for the channel: another user who can write in
// it, or who put it there, could listen in this program's stead. Empty when
// it is a folder of this user's own.
QString unsafeFolderReason(const QString& folder, OthersMay others) {
  struct stat info {};
  // Without a trailing "/", so that a link is seen as a link.
  if (::lstat(QFile::encodeName(QDir::cleanPath(folder)).constData(), &info) != 0) return errnoText(errno);
  if (S_ISLNK(info.st_mode)) return QStringLiteral("it is a symbolic link");
  if (!S_ISDIR(info.st_mode)) return QStringLiteral("it is not a folder");
  if (info.st_uid != ::geteuid())
    return QStringLiteral("it belongs to user %1, not to this user (%2)").arg(info.st_uid).arg(::geteuid());
  const mode_t forbidden =
      others == OthersMay::Nothing ? mode_t(S_IRWXG | S_IRWXO) : mode_t(S_IWGRP | S_IWOTH);
  if ((info.st_mode & forbidden) != 0)
    return QStringLiteral("other users have access to it (mode %1)")
        .arg(info.st_mode & 07777, 4, 8, QLatin1Char('0'));
  return {};
}

std::optional<QString> checkedFolder(const QString& folder, OthersMay others, QString* error) {
  const QString why = unsafeFolderReason(folder, others);
  if (why.isEmpty()) return folder;
  if (error)
    *error = QStringLiteral("%1 cannot hold the channel to the running program: %2").arg(folder, why);
  return std::nullopt;
}

// Made here, and only used when no one else has access to it: a folder of
// that name that someone else made first is refused, not taken over.
std::optional<QString> privateTemporaryFolder(QString* error) {
  const QString folder = QDir::tempPath() + QStringLiteral("/nimbra-wallpaper-%1/").arg(::geteuid());
  if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
    if (error) *error = QStringLiteral("cannot make %1: %2").arg(folder, errnoText(errno));
    return std::nullopt;
  }
  return checkedFolder(folder, OthersMay::Nothing, error);
}

// The reply is printed on the asking start's terminal and is one line.
QString printableLine(const QString& text) {
  QString line;
  line.reserve(text.size());
  for (const QChar c : text) {
    if (c.category() != QChar::Other_Control)
      line += c;
    else if (c.isSpace())
      line += QLatin1Char(' ');
  }
  return line;
}
}  // namespace

std::optional<QString> instanceRuntimeFolder(QString* error) {
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!QDir::isAbsolutePath(runtime) || !QDir(runtime).exists()) return privateTemporaryFolder(error);
  // The session made it; a link to it is followed, the folder itself must be ours.
  return checkedFolder(QFileInfo(runtime).canonicalFilePath() + QLatin1Char('/'), OthersMay::Read, error);
}

std::optional<InstanceChannel> instanceChannel(const QString& dataFolder, QString* error) {
  const std::optional<QString> runtime = instanceRuntimeFolder(error);
  if (!runtime) return std::nullopt;
  // Made before the lock is taken in it, as the data folder's seeding would.
  QDir().mkpath(dataFolder);
  const QString canonical = QFileInfo(dataFolder).canonicalFilePath();
  const QByteArray key = QFile::encodeName(canonical.isEmpty() ? QDir::cleanPath(dataFolder) : canonical);
  const QString name =
      QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
  return InstanceChannel{QDir(dataFolder).filePath(QStringLiteral("nimbra-wallpaper.lock")),
                         *runtime + QStringLiteral("nimbra-wallpaper-%1.socket").arg(name)};
}

InstanceLock::InstanceLock(const QString& path, const QString& socketPath)
    : m_path(path), m_socketPath(socketPath) {}

InstanceLock::~InstanceLock() {
  if (m_fd >= 0) ::close(m_fd);
}

bool InstanceLock::tryTake() {
  if (held()) return true;
  if (m_fd < 0) {
    // Close-on-exec: a program the instance starts (a desktop's settings
    // tool) must not keep the lock alive after the instance has ended.
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
      m_error = QStringLiteral("cannot open %1: %2").arg(m_path, errnoText(errno));
      return false;
    }
  }
  int result;
  do {
    result = ::flock(m_fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  m_held = result == 0;
  if (!m_held && errno != EWOULDBLOCK)
    m_error = QStringLiteral("cannot lock %1: %2").arg(m_path, errnoText(errno));
  if (m_held) tellSocket();
  return m_held;
}

// Written in place, not replaced: the lock belongs to this very file. A
// start that reads it half written finds no one there and tries again.
void InstanceLock::tellSocket() {
  const QByteArray text = QFile::encodeName(m_socketPath);
  if (::ftruncate(m_fd, 0) != 0) return;
  // Unwritten, later starts look where they would listen themselves.
  [[maybe_unused]] const ssize_t written = ::pwrite(m_fd, text.constData(), size_t(text.size()), 0);
}

QString InstanceLock::holderSocketPath() const {
  if (m_fd < 0) return {};
  QByteArray text(kMaxSocketPathBytes, Qt::Uninitialized);
  const ssize_t read = ::pread(m_fd, text.data(), size_t(text.size()), 0);
  if (read <= 0) return {};
  text.truncate(read);
  return QFile::decodeName(text);
}

InstanceServer::InstanceServer(Handler handler, QObject* parent)
    : InstanceServer(
          DeferredHandler([handler = std::move(handler)](const QStringList& request, const Answer& answer) {
            answer(handler(request));
          }),
          parent) {}

InstanceServer::InstanceServer(DeferredHandler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)), m_server(new QLocalServer(this)) {
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  connect(m_server, &QLocalServer::newConnection, this, &InstanceServer::accept);
}

InstanceServer::~InstanceServer() { m_server->close(); }

bool InstanceServer::listen(const QString& socketPath, QString* error) {
  // A socket file left by an instance that crashed would refuse the name.
  QLocalServer::removeServer(socketPath);
  if (m_server->listen(socketPath)) return true;
  if (error) *error = m_server->errorString();
  return false;
}

void InstanceServer::accept() {
  while (QLocalSocket* client = m_server->nextPendingConnection()) {
    connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
    // A client that does not send a whole request in time is not a start of
    // this program, and must not hold a connection open.
    auto* stalled = new QTimer(client);
    stalled->setSingleShot(true);
    connect(stalled, &QTimer::timeout, client, &QLocalSocket::abort);
    stalled->start(kRequestMilliseconds);
    connect(client, &QLocalSocket::readyRead, stalled,
            [this, client, stalled] { readRequest(client, stalled); });
    if (client->bytesAvailable() > 0) readRequest(client, stalled);
  }
}

void InstanceServer::readRequest(QLocalSocket* client, QTimer* stalled) {
  if (client->bytesAvailable() > kMaxMessageBytes) {
    client->abort();
    return;
  }
  QDataStream in(client);
  in.setVersion(kStreamVersion);
  in.startTransaction();
  QStringList request;
  in >> request;
  if (!in.commitTransaction()) return;  // the rest is still on its way
  // One request per connection; the answer may take as long as the work.
  stalled->stop();
  disconnect(client, &QLocalSocket::readyRead, stalled, nullptr);
  stalled->deleteLater();
  // The asking start may have given up and gone by the time the answer comes.
  const QPointer<QLocalSocket> asker(client);
  m_handler(request, [asker](const InstanceReply& reply) {
    if (!asker || asker->state() != QLocalSocket::ConnectedState) return;
    QDataStream out(asker.data());
    out.setVersion(kStreamVersion);
    out << qint32(reply.exitCode) << reply.message;
    asker->flush();
    asker->disconnectFromServer();
  });
}

std::optional<InstanceReply> sendToInstance(const QStringList& request, std::chrono::milliseconds timeout,
                                            const QString& socketPath) {
  // This runs in a start that has no window and no event loop yet: waiting
  // on the socket is all it does until the instance answers.
  const QDeadlineTimer deadline(timeout);
  QLocalSocket socket;
  socket.connectToServer(socketPath);
  if (!socket.waitForConnected(int(deadline.remainingTime()))) return std::nullopt;
  {
    QDataStream out(&socket);
    out.setVersion(kStreamVersion);
    out << request;
  }
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) return std::nullopt;
  QDataStream in(&socket);
  in.setVersion(kStreamVersion);
  while (true) {
    in.startTransaction();
    qint32 exitCode = 0;
    QString message;
    in >> exitCode >> message;
    if (in.commitTransaction()) return InstanceReply{exitCode, printableLine(message)};
    if (socket.bytesAvailable() > kMaxMessageBytes || deadline.hasExpired()) return std::nullopt;
    if (!socket.waitForReadyRead(int(deadline.remainingTime()))) return std::nullopt;
  }
}

InstanceHandOver::InstanceHandOver(InstanceLock& lock, QStringList request,
                                   std::chrono::milliseconds patience, QString socketPath, QObject* parent)
    : QObject(parent),
      m_lock(lock),
      m_request(std::move(request)),
      m_patience(patience),
      m_socketPath(std::move(socketPath)),
      m_retry(new QTimer(this)) {
  m_retry->setSingleShot(true);
  connect(m_retry, &QTimer::timeout, this, &InstanceHandOver::attempt);
}

void InstanceHandOver::start() {
  m_deadline.setRemainingTime(m_patience);
  m_nextRetry = kFirstRetry;
  m_retry->start(0);
}

void InstanceHandOver::attempt() {
  if (m_lock.tryTake()) {
    emit becameInstance();
    return;
  }
  if (!m_lock.error().isEmpty()) {
    emit gaveUp(m_lock.error());
    return;
  }
  QString why;
  const std::optional<QString> socketPath = holderSocketPath(&why);
  if (!socketPath) {
    emit gaveUp(why);
    return;
  }
  // No single wait outlasts the patience of the whole hand-over.
  const std::chrono::milliseconds left(std::max<qint64>(m_deadline.remainingTime(), 1));
  if (const auto reply = sendToInstance(m_request, std::min(kInstanceAnswerTime, left), *socketPath)) {
    emit answered(*reply);
    return;
  }
  if (m_deadline.hasExpired()) {
    emit gaveUp(QStringLiteral("another start holds %1 but does not answer").arg(m_lock.path()));
    return;
  }
  retryLater();
}

std::optional<QString> InstanceHandOver::holderSocketPath(QString* error) const {
  const QString told = m_lock.holderSocketPath();
  if (!QDir::isAbsolutePath(told) || told == m_socketPath) return m_socketPath;
  // Read from a file: it is only used in a folder of this user's own.
  if (!checkedFolder(QFileInfo(told).path() + QLatin1Char('/'), OthersMay::Read, error)) return std::nullopt;
  return told;
}

void InstanceHandOver::retryLater() {
  const std::chrono::milliseconds left(std::max<qint64>(m_deadline.remainingTime(), 0));
  m_retry->start(std::min(m_nextRetry, left));
  m_nextRetry = std::min(m_nextRetry * 2, kLongestRetry);
}
