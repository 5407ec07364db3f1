#include "platform/InstanceChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <cstring>
#include <utility>

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

namespace {
// A list of words takes at least four bytes a word.
constexpr quint32 kMaxRequestWords = (kMaxMessageBytes - 4) / 4;
// A listener whose queue of connections is full takes none until it
// accepts: the connect is tried again after this pause.
constexpr qint64 kConnectRetryMilliseconds = 10;
// What follows a request is not read, only passed over in pieces of this size.
constexpr qsizetype kIgnoredBytes = 4096;

// How a request or a reply is written by every build of the program.
template <typename... Parts>
QByteArray framed(const Parts&... parts) {
  QByteArray bytes;
  QDataStream out(&bytes, QIODevice::WriteOnly);
  out.setVersion(kStreamVersion);
  (out << ... << parts);
  return bytes;
}

enum class Received { Partly, Whole, Malformed };

Received receivedBy(const QDataStream& in) {
  switch (in.status()) {
    case QDataStream::Ok:
      return Received::Whole;
    case QDataStream::ReadPastEnd:
      return Received::Partly;
    default:
      return Received::Malformed;
  }
}

// The number of words is looked at first: the stream makes room for as many
// as the list claims before it reads one.
Received readRequest(const QByteArray& bytes, QStringList& request) {
  QDataStream in(bytes);
  in.setVersion(kStreamVersion);
  quint32 words = 0;
  in >> words;
  if (in.status() != QDataStream::Ok) return Received::Partly;
  if (words > kMaxRequestWords) return Received::Malformed;
  if (qsizetype(words) * 4 > bytes.size() - 4) return Received::Partly;
  in.device()->seek(0);
  in >> request;
  return receivedBy(in);
}

Received readReply(const QByteArray& bytes, InstanceReply& reply) {
  QDataStream in(bytes);
  in.setVersion(kStreamVersion);
  qint32 exitCode = 0;
  QString message;
  in >> exitCode >> message;
  reply = {exitCode, printableLine(message)};
  return receivedBy(in);
}

// Closed when it goes out of scope, unless released.
class Descriptor {
 public:
  explicit Descriptor(int descriptor) : m_descriptor(descriptor) {}
  ~Descriptor() {
    if (m_descriptor >= 0) ::close(m_descriptor);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return m_descriptor; }
  int release() { return std::exchange(m_descriptor, -1); }

 private:
  int m_descriptor;
};

int localSocket() { return ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0); }

std::optional<sockaddr_un> socketAddress(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (name.isEmpty() || size_t(name.size()) >= sizeof address.sun_path) return std::nullopt;
  std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
  return address;
}

const sockaddr* genericAddress(const sockaddr_un& address) {
  return reinterpret_cast<const sockaddr*>(&address);
}

// Bytes the socket took: 0 when it takes none now, -1 when the other side is gone.
qsizetype sendSome(int descriptor, QByteArrayView bytes) {
  ssize_t sent;
  do {
    sent = ::send(descriptor, bytes.data(), size_t(bytes.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (sent < 0 && errno == EINTR);
  if (sent >= 0) return sent;
  return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
}

enum class Arrival { Bytes, NoneYet, Ended };

// Appends at most most bytes of what has arrived.
Arrival receiveSome(int descriptor, QByteArray& into, qsizetype most) {
  const qsizetype before = into.size();
  into.resize(before + most);
  ssize_t got;
  do {
    got = ::recv(descriptor, into.data() + before, size_t(most), MSG_DONTWAIT);
  } while (got < 0 && errno == EINTR);
  const int error = errno;
  into.resize(before + std::max<qsizetype>(got, 0));
  if (got > 0) return Arrival::Bytes;
  return got < 0 && (error == EAGAIN || error == EWOULDBLOCK) ? Arrival::NoneYet : Arrival::Ended;
}

// True once the socket is ready for events or has failed; false when the
// deadline comes first.
bool waitFor(int descriptor, short events, const QDeadlineTimer& deadline) {
  while (true) {
    pollfd entry{descriptor, events, 0};
    const int ready = ::poll(&entry, 1, int(std::min<qint64>(deadline.remainingTime(), INT_MAX)));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

bool connectWithin(int descriptor, const sockaddr_un& address, const QDeadlineTimer& deadline) {
  while (::connect(descriptor, genericAddress(address), sizeof address) != 0) {
    if ((errno != EAGAIN && errno != EINTR) || deadline.hasExpired()) return false;
    const qint64 left = deadline.remainingTime();  // -1: no deadline
    ::poll(nullptr, 0, int(left < 0 ? kConnectRetryMilliseconds : std::min(left, kConnectRetryMilliseconds)));
  }
  return true;
}

bool sendWithin(int descriptor, QByteArrayView bytes, const QDeadlineTimer& deadline) {
  while (!bytes.isEmpty()) {
    const qsizetype sent = sendSome(descriptor, bytes);
    if (sent < 0) return false;
    bytes = bytes.sliced(sent);
    if (!bytes.isEmpty() && !waitFor(descriptor, POLLOUT, deadline)) return false;
  }
  return true;
}

std::optional<InstanceReply> receiveReplyWithin(int descriptor, const QDeadlineTimer& deadline) {
  QByteArray bytes;
  while (bytes.size() <= kMaxMessageBytes && waitFor(descriptor, POLLIN, deadline)) {
    if (receiveSome(descriptor, bytes, kMaxMessageBytes + 1 - bytes.size()) == Arrival::Ended)
      return std::nullopt;
    InstanceReply reply;
    switch (readReply(bytes, reply)) {
      case Received::Whole:
        return reply;
      case Received::Malformed:
        return std::nullopt;
      case Received::Partly:
        break;
    }
  }
  return std::nullopt;
}
}  // namespace

// One connection of a later start, from its request to the end of the
// answer: the request is read as it arrives, and what of the answer the
// socket does not take at once is written when it takes more.
class InstanceServer::Client : public QObject {
 public:
  Client(int descriptor, const DeferredHandler& handler, QObject* parent);
  ~Client() override { closeDescriptor(); }

 private:
  enum class Stage { Asking, Working, Answering, Done };
  void readable();
  void readRequest();
  void answer(const InstanceReply& reply);
  void writeAnswer();
  void finish();
  void closeDescriptor();

  const DeferredHandler& m_handler;
  int m_descriptor;
  Stage m_stage = Stage::Asking;
  QByteArray m_received;
  QByteArray m_unsent;
  QSocketNotifier* m_reading;
  QSocketNotifier* m_writing;
  QTimer* m_stalled;
};

InstanceServer::Client::Client(int descriptor, const DeferredHandler& handler, QObject* parent)
    : QObject(parent),
      m_handler(handler),
      m_descriptor(descriptor),
      m_reading(new QSocketNotifier(descriptor, QSocketNotifier::Read, this)),
      m_writing(new QSocketNotifier(descriptor, QSocketNotifier::Write, this)),
      m_stalled(new QTimer(this)) {
  m_writing->setEnabled(false);
  connect(m_reading, &QSocketNotifier::activated, this, &Client::readable);
  connect(m_writing, &QSocketNotifier::activated, this, &Client::writeAnswer);
  // A client that does not send a whole request in time is not a start of
  // this program, and must not hold a connection open.
  m_stalled->setSingleShot(true);
  connect(m_stalled, &QTimer::timeout, this, &Client::finish);
  m_stalled->start(kRequestMilliseconds);
}

void InstanceServer::Client::readable() {
  if (m_stage == Stage::Asking) {
    readRequest();
    return;
  }
  // One request per connection: what follows it is passed over, and a start
  // that has gone is not answered.
  QByteArray ignored;
  if (receiveSome(m_descriptor, ignored, kIgnoredBytes) == Arrival::Ended) finish();
}

void InstanceServer::Client::readRequest() {
  const Arrival arrival = receiveSome(m_descriptor, m_received, kMaxMessageBytes + 1 - m_received.size());
  if (arrival == Arrival::Ended || m_received.size() > kMaxMessageBytes) {
    finish();
    return;
  }
  QStringList request;
  switch (::readRequest(m_received, request)) {
    case Received::Partly:
      return;  // the rest is still on its way
    case Received::Malformed:
      finish();
      return;
    case Received::Whole:
      break;
  }
  // The answer may take as long as the work.
  m_stalled->stop();
  m_received.clear();
  m_stage = Stage::Working;
  // The asking start may have given up and gone by the time the answer comes.
  m_handler(request, [client = QPointer<Client>(this)](const InstanceReply& reply) {
    if (client) client->answer(reply);
  });
}

void InstanceServer::Client::answer(const InstanceReply& reply) {
  if (m_stage != Stage::Working) return;
  m_stage = Stage::Answering;
  m_unsent = framed(qint32(reply.exitCode), reply.message);
  writeAnswer();
}

void InstanceServer::Client::writeAnswer() {
  const qsizetype sent = sendSome(m_descriptor, m_unsent);
  if (sent >= 0) m_unsent.remove(0, sent);
  // The connection ends with the answer.
  if (sent < 0 || m_unsent.isEmpty())
    finish();
  else
    m_writing->setEnabled(true);
}

void InstanceServer::Client::finish() {
  if (m_stage == Stage::Done) return;
  m_stage = Stage::Done;
  m_stalled->stop();
  closeDescriptor();
  deleteLater();
}

void InstanceServer::Client::closeDescriptor() {
  if (m_descriptor < 0) return;
  m_reading->setEnabled(false);
  m_writing->setEnabled(false);
  ::close(std::exchange(m_descriptor, -1));
}

InstanceServer::InstanceServer(Handler handler, QObject* parent)
    : InstanceServer(
          DeferredHandler([handler = std::move(handler)](const QStringList& request, const Answer& answer) {
            answer(handler(request));
          }),
          parent) {}

InstanceServer::InstanceServer(DeferredHandler handler, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {}

InstanceServer::~InstanceServer() {
  if (m_listener < 0) return;
  delete m_accepting;
  ::close(m_listener);
  ::unlink(QFile::encodeName(m_socketPath).constData());
}

bool InstanceServer::listen(const QString& socketPath, QString* error) {
  const auto refuse = [&](const QString& why) {
    if (error) *error = QStringLiteral("cannot listen on %1: %2").arg(socketPath, why);
    return false;
  };
  if (m_listener >= 0) return refuse(QStringLiteral("the server listens already"));
  const std::optional<sockaddr_un> address = socketAddress(socketPath);
  if (!address) return refuse(QStringLiteral("the path is too long for a local socket"));
  Descriptor listener(localSocket());
  if (listener.get() < 0) return refuse(errnoText(errno));
  // Only this user may connect. The socket file is made with the socket's
  // mode, so that it is never open to others, and set once more where a
  // system makes it from the umask alone.
  [[maybe_unused]] const int modeSet = ::fchmod(listener.get(), 0600);
  // A socket file left by an instance that crashed would refuse the name.
  ::unlink(address->sun_path);
  if (::bind(listener.get(), genericAddress(*address), sizeof *address) != 0) return refuse(errnoText(errno));
  if (::chmod(address->sun_path, 0600) != 0 || ::listen(listener.get(), SOMAXCONN) != 0) {
    const int why = errno;
    ::unlink(address->sun_path);
    return refuse(errnoText(why));
  }
  m_listener = listener.release();
  m_socketPath = socketPath;
  m_accepting = new QSocketNotifier(m_listener, QSocketNotifier::Read, this);
  connect(m_accepting, &QSocketNotifier::activated, this, &InstanceServer::accept);
  return true;
}

void InstanceServer::accept() {
  while (true) {
    const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (client >= 0)
      new Client(client, m_handler, this);
    else if (errno != EINTR && errno != ECONNABORTED)
      return;  // none waits any more
  }
}

std::optional<InstanceReply> sendToInstance(const QStringList& request, std::chrono::milliseconds timeout,
                                            const QString& socketPath) {
  // This runs in a start that has no window and no event loop yet: waiting
  // on the socket is all it does until the instance answers.
  const QDeadlineTimer deadline(timeout);
  const std::optional<sockaddr_un> address = socketAddress(socketPath);
  if (!address) return std::nullopt;
  const Descriptor socket(localSocket());
  if (socket.get() < 0 || !connectWithin(socket.get(), *address, deadline) ||
      !sendWithin(socket.get(), framed(request), deadline))
    return std::nullopt;
  return receiveReplyWithin(socket.get(), deadline);
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
