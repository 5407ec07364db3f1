// A TCP client connection with blocking semantics for the download threads.
// Every wait is bounded: by the limit the caller gives, and by a stop check
// that is looked at several times a second, so a cancelled or abandoned
// download never sits in a wait until the peer speaks.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

struct addrinfo;
class EndpointMap;
class TlsContext;
class TlsSession;

class SocketError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What runs over the TCP connection: the bytes themselves, or TLS with the
// server's certificate checked.
enum class SocketSecurity { Plain, Tls };

class TBlockingSocket {
 public:
  // Returns true when the owner wants every wait to end now.
  using StopPredicate = std::function<bool()>;

  TBlockingSocket();
  ~TBlockingSocket();
  TBlockingSocket(const TBlockingSocket&) = delete;
  TBlockingSocket& operator=(const TBlockingSocket&) = delete;

  void setStopCheck(StopPredicate stopCheck) { m_stopCheck = std::move(stopCheck); }
  // Bounds the connect of Open and each Read.
  void setWaitLimit(int milliseconds) { m_waitLimitMs = milliseconds; }
  int waitLimit() const { return m_waitLimitMs; }
  // Tests map host names to servers of their own; without a map every host
  // is looked up as it is named.
  void setEndpoints(std::shared_ptr<const EndpointMap> endpoints) { m_endpoints = std::move(endpoints); }
  // The TLS settings to share with other sockets; without them a TLS open
  // makes its own.
  void setTlsContext(std::shared_ptr<const TlsContext> context) { m_tlsContext = std::move(context); }

  // Resolves host and connects to it; throws SocketError on failure, on the
  // wait limit, or when the stop check fires. The wait limit and the stop
  // check bound the host name's lookup as well: a lookup still running when
  // either ends the wait is left to finish on its own. With TLS, the
  // handshake is bounded the same way, and a certificate that does not
  // verify for host fails the open with the reason in the error's text.
  void open(const std::string& host, uint16_t port, SocketSecurity security = SocketSecurity::Plain);
  // Closing a closed socket does nothing.
  void close();
  // True from a successful Open until Close, or until the peer has closed.
  bool isOpen() const { return m_descriptor >= 0 && !m_peerClosed; }

  // Sends every byte of text; throws SocketError on failure.
  void sendText(std::string_view text);
  // True as soon as a byte or the end of the stream can be read; false when
  // the limit passes first or the stop check fires.
  bool waitForData(int limitMilliseconds);
  // Reads at most count bytes, waiting no longer than the wait limit; 0 at
  // the end of the stream, on the limit, or on a connection error.
  int read(char* buffer, int count);
  // Returns at most count bytes, no more than are available when some are;
  // 0 at the end of the stream. Throws SocketError on a connection error or
  // when nothing arrives within the wait limit.
  int receive(char* buffer, int count);
  // Like Receive, but returns -1 at once when no byte is available yet.
  int receiveAvailable(char* buffer, int count);

 private:
  struct AddressListDeleter {
    void operator()(addrinfo* list) const;
  };
  using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

  bool stopRequested() const { return m_stopCheck && m_stopCheck(); }
  AddressList resolve(const std::string& requestedHost, const std::string& host, uint16_t port);
  bool waitFor(short events, int limitMilliseconds);
  bool connectTo(const void* address, unsigned addressLength, int family);
  enum class ReadResult { Bytes, WouldBlock, End, Error };
  ReadResult readNow(char* buffer, int count, int& got);
  ReadResult readTlsNow(char* buffer, int count, int& got);
  void startTls(const std::string& host);
  void sendTls(std::string_view text);

  int m_descriptor = -1;
  bool m_peerClosed = false;
  int m_waitLimitMs = 60000;
  StopPredicate m_stopCheck;
  std::shared_ptr<const EndpointMap> m_endpoints;
  std::shared_ptr<const TlsContext> m_tlsContext;
  std::unique_ptr<TlsSession> m_tls;
  // A TLS read can need to write first (an alert, a key update).
  bool m_tlsWantsWrite = false;
  std::string m_tlsError;
};
