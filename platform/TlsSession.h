// TLS for the blocking socket: the settings every https connection shares,
// and one session over a connected descriptor that never blocks, so the
// socket keeps bounding every wait itself. Certificates are always checked
// against the system's trust store (or the one SSL_CERT_FILE and
// SSL_CERT_DIR name, as OpenSSL reads them) and against the host's name.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

struct ssl_ctx_st;
struct ssl_st;

class TlsContext {
 public:
  // TLS 1.2 or newer with verification on; throws SocketError when libssl
  // cannot be opened or set up.
  static std::shared_ptr<const TlsContext> create();
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  ssl_ctx_st* handle() const { return m_context; }

 private:
  explicit TlsContext(ssl_ctx_st* context) : m_context(context) {}
  ssl_ctx_st* m_context;
};

class TlsSession {
 public:
  enum class Step { Done, WantRead, WantWrite, End, Failed };

  // A client session on descriptor for host, a name or a numeric address
  // (which gets no server name indication); throws SocketError.
  TlsSession(std::shared_ptr<const TlsContext> context, int descriptor, const std::string& host);
  // Says goodbye to the peer if that can be done without waiting.
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  Step handshake();
  // After a failed handshake: why, in words (the certificate's fault first).
  std::string failureText() const;
  Step read(char* buffer, int count, int& got);
  Step write(const char* bytes, size_t count, size_t& sent);
  // Decrypted or received bytes that a read can take without the descriptor.
  bool hasPending() const;

 private:
  Step stepAfter(int result);

  class PipeSignalHeld;
  std::shared_ptr<const TlsContext> m_context;
  std::unique_ptr<PipeSignalHeld> m_pipeHeld;  // released last, after the goodbye
  ssl_st* m_session = nullptr;
  std::string m_lastError;
};
