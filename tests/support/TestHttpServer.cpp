#include "TestHttpServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>

#include "platform/EndpointMap.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSliceMs = 20;
constexpr qsizetype kMaxRequestHead = 64 * 1024;
constexpr qsizetype kWriteChunk = 64 * 1024;

struct ServedResource {
  QByteArray Body;
  ServeOptions Options;
};

struct ParsedRequest {
  RecordedRequest Record;
  bool KeepAlive = true;
};

struct ByteRange {
  qint64 First = 0;
  qint64 Last = 0;
};

// Hands accepted descriptors to the server's own connection threads instead
// of making sockets in the accepting thread.
class DescriptorServer : public QTcpServer {
 public:
  std::vector<qintptr> Accepted;

 protected:
  void incomingConnection(qintptr descriptor) override { Accepted.push_back(descriptor); }
};

QByteArray headerValue(const QByteArray& head, const QByteArray& name) {
  for (const QByteArray& line : head.split('\n')) {
    const qsizetype colon = line.indexOf(':');
    if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
      return line.mid(colon + 1).trimmed();
  }
  return {};
}

// "bytes=FIRST-LAST" within a body of size bytes; LAST may be left out.
std::optional<ByteRange> parseRange(const QByteArray& value, qint64 size) {
  if (!value.startsWith("bytes=")) return std::nullopt;
  const QList<QByteArray> parts = value.mid(6).trimmed().split('-');
  if (parts.size() != 2) return std::nullopt;
  bool firstOk = false;
  bool lastOk = true;
  ByteRange range;
  range.First = parts[0].toLongLong(&firstOk);
  range.Last = parts[1].isEmpty() ? size - 1 : parts[1].toLongLong(&lastOk);
  if (!firstOk || !lastOk || range.First < 0 || range.First > range.Last || range.First >= size)
    return std::nullopt;
  range.Last = std::min(range.Last, size - 1);
  return range;
}

QByteArray statusLine(int code) {
  switch (code) {
    case 200:
      return "HTTP/1.1 200 OK\r\n";
    case 206:
      return "HTTP/1.1 206 Partial Content\r\n";
    case 301:
      return "HTTP/1.1 301 Moved Permanently\r\n";
    case 302:
      return "HTTP/1.1 302 Found\r\n";
    case 303:
      return "HTTP/1.1 303 See Other\r\n";
    case 307:
      return "HTTP/1.1 307 Temporary Redirect\r\n";
    case 308:
      return "HTTP/1.1 308 Permanent Redirect\r\n";
    case 404:
      return "HTTP/1.1 404 Not Found\r\n";
    case 416:
      return "HTTP/1.1 416 Range Not Satisfiable\r\n";
    default:
      return "HTTP/1.1 500 Internal Server Error\r\n";
  }
}

QByteArray contentRangeHeader(qint64 first, qint64 last, qint64 total) {
  return "Content-Range: bytes " + QByteArray::number(first) + "-" + QByteArray::number(last) + "/" +
         QByteArray::number(total) + "\r\n";
}

// Another range of about the same place: one byte further on where the body
// allows, else one byte back, else one byte shorter.
void shiftRange(qint64& first, qint64& last, qint64 size) {
  if (last + 1 < size) {
    ++first;
    ++last;
  } else if (first > 0) {
    --first;
    --last;
  } else if (last > first) {
    --last;
  }
}

QByteArray chunkedBody(const QByteArray& body) {
  QByteArray encoded;
  for (qsizetype at = 0; at < body.size(); at += 1000) {
    const QByteArray chunk = body.mid(at, 1000);
    encoded += QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n";
  }
  return encoded + "0\r\n\r\n";
}

// One accepted connection: reads requests and answers them until the
// client closes, an answer ends the connection, or the server stops.
class Connection {
 public:
  Connection(qintptr descriptor, std::atomic<bool>& stopping,
             const std::function<std::optional<ServedResource>(const QString&)>& find,
             const std::function<void(const RecordedRequest&)>& record)
      : m_stopping(stopping), m_find(find), m_record(record) {
    Socket.setSocketDescriptor(descriptor);
  }

  void run() {
    while (!m_stopping) {
      const std::optional<ParsedRequest> request = readRequest();
      if (!request) break;
      m_record(request->Record);
      if (!answer(*request) || !request->KeepAlive) break;
    }
    Socket.disconnectFromHost();
    if (Socket.state() != QAbstractSocket::UnconnectedState) Socket.waitForDisconnected(200);
  }

 private:
  std::optional<ParsedRequest> readRequest() {
    while (!m_pending.contains("\r\n\r\n")) {
      if (m_pending.size() > kMaxRequestHead || !waitForBytes()) return std::nullopt;
      m_pending += Socket.readAll();
    }
    const qsizetype end = m_pending.indexOf("\r\n\r\n") + 4;
    ParsedRequest request;
    request.Record.Head = m_pending.left(end);
    m_pending.remove(0, end);
    const QList<QByteArray> words = request.Record.Head.left(request.Record.Head.indexOf("\r\n")).split(' ');
    if (words.size() < 3) return std::nullopt;
    request.Record.Method = words[0];
    request.Record.Path = words[1];
    request.Record.Range = headerValue(request.Record.Head, "Range");
    request.KeepAlive = headerValue(request.Record.Head, "Connection").toLower() != "close";
    return request;
  }

  // Waits in short slices so that a stopping server is never held up.
  bool waitForBytes() {
    while (!m_stopping) {
      if (Socket.bytesAvailable() > 0) return true;
      if (Socket.state() != QAbstractSocket::ConnectedState) return false;
      Socket.waitForReadyRead(kSliceMs);
    }
    return false;
  }

  bool send(const QByteArray& data) {
    for (qsizetype at = 0; at < data.size(); at += kWriteChunk) {
      if (m_stopping || Socket.state() != QAbstractSocket::ConnectedState) return false;
      Socket.write(data.mid(at, kWriteChunk));
      while (Socket.bytesToWrite() > 0) {
        if (m_stopping || Socket.state() != QAbstractSocket::ConnectedState) return false;
        Socket.waitForBytesWritten(kSliceMs);
      }
    }
    return true;
  }

  bool drip(const QByteArray& data, std::chrono::milliseconds interval) {
    for (char byte : data) {
      if (!send(QByteArray(1, byte)) || !pause(interval)) return false;
    }
    return true;
  }

  // Sleeps, but gives up at once when the server stops or the client leaves.
  bool pause(std::chrono::milliseconds interval) {
    const Clock::time_point until = Clock::now() + interval;
    while (Clock::now() < until) {
      if (m_stopping || Socket.state() != QAbstractSocket::ConnectedState) return false;
      Socket.waitForReadyRead(kSliceMs);
      Socket.readAll();
    }
    return true;
  }

  // Holds the connection open without a word until the client or the server gives up.
  bool staySilent() {
    while (pause(std::chrono::milliseconds(200))) {
    }
    return false;
  }

  bool answer(const ParsedRequest& request) {
    const std::optional<ServedResource> resource = m_find(QString::fromUtf8(request.Record.Path));
    if (!resource) return send(statusLine(404) + "Content-Length: 0\r\n\r\n");
    if (request.Record.Method == "HEAD") return answerHead(*resource);
    if (request.Record.Method == "GET") return answerGet(*resource, request.Record.Range);
    send(statusLine(500) + "Content-Length: 0\r\nConnection: close\r\n\r\n");
    return false;
  }

  QByteArray commonHeaders(const ServedResource& resource) const {
    QByteArray headers = "Server: nimbra-test\r\nContent-Type: " + resource.Options.ContentType +
                         "\r\nAccept-Ranges: bytes\r\n";
    if (!resource.Options.ContentEncoding.isEmpty())
      headers += "Content-Encoding: " + resource.Options.ContentEncoding + "\r\n";
    return headers;
  }

  bool answerHead(const ServedResource& resource) {
    const QByteArray length = "Content-Length: " + QByteArray::number(resource.Body.size()) + "\r\n";
    const QByteArray head = statusLine(200) + commonHeaders(resource);
    switch (resource.Options.Head) {
      case HeadAnswer::Normal:
        return send(head + length + "\r\n");
      case HeadAnswer::NoLength:
        return send(head + "\r\n");
      case HeadAnswer::Chunked:
        return send(head + "Transfer-Encoding: chunked\r\n\r\n");
      case HeadAnswer::AnnouncedLength:
        return send(head + "Content-Length: " + resource.Options.AnnouncedLength + "\r\n\r\n");
      case HeadAnswer::Silent:
        return staySilent();
      case HeadAnswer::Drip:
        return drip(head + length + "\r\n", resource.Options.DripInterval);
      case HeadAnswer::EndlessHeaders:
        return sendEndlessHeaders(head + length);
      case HeadAnswer::LineFeedOnly: {
        QByteArray lines = head + length + "\r\n";
        lines.replace("\r\n", "\n");
        return send(lines) && staySilent();
      }
      case HeadAnswer::Close:
        return false;
      case HeadAnswer::Redirect:
        return sendRedirect(resource.Options);
    }
    return false;
  }

  bool sendRedirect(const ServeOptions& options) {
    return send(statusLine(options.RedirectStatus) + "Location: " + options.Location +
                "\r\nContent-Length: 0\r\n\r\n");
  }

  bool sendEndlessHeaders(const QByteArray& head) {
    if (!send(head)) return false;
    for (int n = 0;; ++n) {
      if (!send("X-Filler-" + QByteArray::number(n) + ": more\r\n") || !pause(std::chrono::milliseconds(1)))
        return false;
    }
  }

  bool answerGet(const ServedResource& resource, const QByteArray& rangeValue) {
    const QByteArray& body = resource.Body;
    const qint64 size = body.size();
    const ServeOptions& options = resource.Options;
    if (options.Get == GetAnswer::Silent) return staySilent();
    if (options.Get == GetAnswer::Redirect) return sendRedirect(options);
    if (rangeValue.isEmpty() && options.Get == GetAnswer::ChunkedWhole)
      return send(statusLine(200) + commonHeaders(resource) + "Transfer-Encoding: chunked\r\n\r\n" +
                  chunkedBody(body));
    if (rangeValue.isEmpty() || options.Get == GetAnswer::IgnoreRange)
      return send(statusLine(200) + commonHeaders(resource) + "Content-Length: " + QByteArray::number(size) +
                  "\r\n\r\n" + body);
    const std::optional<ByteRange> range = parseRange(rangeValue, size);
    if (!range || options.Get == GetAnswer::RefuseRanges)
      return send(statusLine(416) + "Content-Range: bytes */" + QByteArray::number(size) +
                  "\r\nContent-Length: 0\r\n\r\n");
    qint64 first = range->First;
    qint64 last = range->Last;
    qint64 total = size;
    if (options.Get == GetAnswer::WrongRange) shiftRange(first, last, size);
    if (options.Get == GetAnswer::WrongTotal) total = size + 1;
    const QByteArray part = body.mid(first, last - first + 1);
    QByteArray head = statusLine(206) + commonHeaders(resource) + contentRangeHeader(first, last, total);
    if (options.Get == GetAnswer::Chunked)
      return send(head + "Transfer-Encoding: chunked\r\n\r\n" + chunkedBody(part));
    head += "Content-Length: " + QByteArray::number(part.size()) + "\r\n\r\n";
    switch (options.Get) {
      case GetAnswer::ShortBody:
        return send(head + part.left(part.size() / 2)) && staySilent();
      case GetAnswer::CloseMidBody:
        send(head + part.left(part.size() / 2));
        return false;
      case GetAnswer::ExtraBytes:
        return send(head + part + QByteArray(10, 'x'));
      case GetAnswer::DripBody:
        return send(head) && drip(part, options.DripInterval);
      default:
        return send(head + part);
    }
  }

  QTcpSocket Socket;
  QByteArray m_pending;
  std::atomic<bool>& m_stopping;
  const std::function<std::optional<ServedResource>(const QString&)>& m_find;
  const std::function<void(const RecordedRequest&)>& m_record;
};

}  // namespace

struct TestHttpServer::ServerState {
  mutable std::mutex Mutex;
  std::map<QString, ServedResource> Resources;
  std::vector<RecordedRequest> Log;
  QString Host;
  uint16_t Port = 0;
  std::atomic<bool> Stopping{false};
  std::atomic<int> Connections{0};
  std::atomic<int> Open{0};
  std::unique_ptr<QThread> Acceptor;
  std::vector<std::unique_ptr<QThread>> Handlers;  // touched by the acceptor thread only, until it has ended
  std::function<std::optional<ServedResource>(const QString&)> Find;
  std::function<void(const RecordedRequest&)> Record;
};

TestHttpServer::TestHttpServer() : m_state(std::make_unique<ServerState>()) {
  ServerState& state = *m_state;
  state.Find = [&state](const QString& path) -> std::optional<ServedResource> {
    std::lock_guard lock(state.Mutex);
    const auto found = state.Resources.find(path);
    if (found == state.Resources.end()) return std::nullopt;
    return found->second;
  };
  state.Record = [&state](const RecordedRequest& request) {
    std::lock_guard lock(state.Mutex);
    state.Log.push_back(request);
  };
  std::promise<uint16_t> listening;
  std::future<uint16_t> port = listening.get_future();
  state.Acceptor.reset(QThread::create([&state, &listening] {
    DescriptorServer server;
    if (!server.listen(QHostAddress::LocalHost, 0)) {
      listening.set_value(0);
      return;
    }
    listening.set_value(server.serverPort());
    while (!state.Stopping) {
      server.waitForNewConnection(kSliceMs);
      for (qintptr descriptor : server.Accepted) {
        ++state.Connections;
        auto handler = std::unique_ptr<QThread>(QThread::create([&state, descriptor] {
          ++state.Open;
          Connection connection(descriptor, state.Stopping, state.Find, state.Record);
          connection.run();
          --state.Open;
        }));
        handler->start();
        state.Handlers.push_back(std::move(handler));
      }
      server.Accepted.clear();
    }
  }));
  state.Acceptor->start();
  state.Port = port.get();
}

TestHttpServer::~TestHttpServer() {
  m_state->Stopping = true;
  m_state->Acceptor->wait();
  for (auto& handler : m_state->Handlers) handler->wait();
}

uint16_t TestHttpServer::port() const { return m_state->Port; }

void TestHttpServer::mapHost(const QString& host) {
  m_endpoints->mapHost(host.toStdString(), m_state->Port);
  std::lock_guard lock(m_state->Mutex);
  m_state->Host = host;
}

QString TestHttpServer::Url(const QString& path) const {
  std::lock_guard lock(m_state->Mutex);
  const QString host =
      m_state->Host.isEmpty() ? QStringLiteral("127.0.0.1:%1").arg(m_state->Port) : m_state->Host;
  return QStringLiteral("http://") + host + path;
}

void TestHttpServer::serve(const QString& path, const QByteArray& body, const ServeOptions& options) {
  std::lock_guard lock(m_state->Mutex);
  m_state->Resources[path] = ServedResource{body, options};
}

void TestHttpServer::remove(const QString& path) {
  std::lock_guard lock(m_state->Mutex);
  m_state->Resources.erase(path);
}

std::vector<RecordedRequest> TestHttpServer::requests() const {
  std::lock_guard lock(m_state->Mutex);
  return m_state->Log;
}

int TestHttpServer::requestCount(const QByteArray& method) const {
  std::lock_guard lock(m_state->Mutex);
  return static_cast<int>(std::count_if(m_state->Log.begin(), m_state->Log.end(),
                                        [&](const auto& r) { return r.Method == method; }));
}

int TestHttpServer::connectionCount() const { return m_state->Connections.load(); }
int TestHttpServer::openConnections() const { return m_state->Open.load(); }

void TestHttpServer::clearLog() {
  std::lock_guard lock(m_state->Mutex);
  m_state->Log.clear();
}
