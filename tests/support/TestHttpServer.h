// An HTTP/1.1 server for network tests, on a loopback port of its own, with
// threads of its own so that a test's main thread can run event loops or
// poll while it answers.
//
// By default it behaves like a plain static file server: HEAD gives the
// length, GET gives the whole body or, with "Range: bytes=FIRST-LAST", that
// range as a 206 answer; unknown paths give 404; connections are kept alive.
// Per path it can misbehave on purpose (see HeadAnswer and GetAnswer).
//
//   TestHttpServer server;
//   server.Serve("/dir/l_1.jpg", bytes);
//   server.mapHost("pictures.test");  // (host, 80) now reaches this server
//   engine.setEndpoints(server.Endpoints());  // for whoever is given the map
//   download server.Url("/dir/l_1.jpg") == "http://pictures.test/dir/l_1.jpg"
#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/EndpointMap.h"

enum class HeadAnswer {
  Normal,
  NoLength,         // 200 without Content-Length
  Chunked,          // 200 with "Transfer-Encoding: chunked" and no length
  AnnouncedLength,  // Content-Length carries ServeOptions::AnnouncedLength verbatim
  Silent,           // reads the request and never answers
  Drip,             // sends the answer one byte per DripInterval
  EndlessHeaders,   // sends header lines and never the blank line
  LineFeedOnly,     // ends every header line with LF alone
  Close,            // closes without answering
  Redirect,         // ServeOptions::RedirectStatus to ServeOptions::Location
};

enum class GetAnswer {
  Normal,
  IgnoreRange,   // 200 with the whole body, no Content-Range
  WrongRange,    // 206 naming and sending the range one byte further on
  WrongTotal,    // 206 with the right range but another total length
  ShortBody,     // right headers, half the body, then silence
  CloseMidBody,  // right headers, half the body, then closes
  Chunked,       // 206 with Content-Range, but the body in chunked encoding
  ExtraBytes,    // right headers, the body and 10 bytes more
  Silent,        // reads the request and never answers
  DripBody,      // right headers, then the body one byte per DripInterval
  ChunkedWhole,  // a GET without Range: 200 with the body in chunked encoding, no length
  Redirect,      // RedirectStatus to ServeOptions::Location, whatever was asked
  RefuseRanges,  // 416 to every ranged GET; a GET without Range gets the body
};

struct ServeOptions {
  HeadAnswer Head = HeadAnswer::Normal;
  GetAnswer Get = GetAnswer::Normal;
  QByteArray AnnouncedLength;  // for HeadAnswer::AnnouncedLength
  std::chrono::milliseconds DripInterval{100};
  QByteArray ContentType = "application/octet-stream";
  QByteArray Location;  // for the redirects
  int RedirectStatus = 301;
  // Sent as "Content-Encoding:" with HEAD and GET answers when not empty
  // (the body itself is sent as it is).
  QByteArray ContentEncoding;
};

struct RecordedRequest {
  QByteArray Method;
  QByteArray Path;
  QByteArray Range;  // the value of the Range header, empty when none was sent
  QByteArray Head;   // the request line and headers as they arrived, with the blank line
};

class TestHttpServer {
 public:
  TestHttpServer();
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  uint16_t port() const;
  // Connections to (host, 80) reach this server from now on, for those that
  // are given Endpoints().
  void mapHost(const QString& host);
  std::shared_ptr<EndpointMap> endpoints() const { return m_endpoints; }
  // "http://" + the mapped host (or 127.0.0.1:port when none) + path.
  QString Url(const QString& path) const;

  void serve(const QString& path, const QByteArray& body, const ServeOptions& options = {});
  void remove(const QString& path);

  std::vector<RecordedRequest> requests() const;
  int requestCount(const QByteArray& method) const;
  // Connections accepted so far.
  int connectionCount() const;
  // Connections currently open.
  int openConnections() const;
  void clearLog();

 private:
  struct ServerState;
  std::unique_ptr<ServerState> m_state;
  std::shared_ptr<EndpointMap> m_endpoints = std::make_shared<EndpointMap>();
};
