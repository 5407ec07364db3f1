#include "platform/TlsSession.h"

#include <arpa/inet.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <climits>

#include "platform/BlockingSocket.h"
#include "platform/TlsCalls.h"

namespace {

const TlsCalls& requiredCalls() {
  const TlsCalls* calls = tlsCalls();
  if (calls == nullptr) throw SocketError("TLS is not available: libssl.so.3 cannot be opened");
  return *calls;
}

bool isNumericAddress(const std::string& host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host.c_str(), address) == 1 || inet_pton(AF_INET6, host.c_str(), address) == 1;
}

// The oldest error on this thread's queue, in OpenSSL's words; the queue is left empty.
std::string queuedErrorText(const TlsCalls& calls) {
  const unsigned long error = calls.nextError();
  calls.clearErrors();
  if (error == 0) return {};
  char text[256];
  calls.errorText(error, text, sizeof text);
  return text;
}

}  // namespace

// OpenSSL writes to the socket with write(), which raises SIGPIPE when the
// peer has gone and would end the whole program. While a session lives, the
// signal is held back on the thread that runs it (the engine gives each
// connection a thread of its own), and one it raised is taken away at the end.
// Held once for the session rather than around each call: a download makes
// tens of thousands of reads.
class TlsSession::PipeSignalHeld {
 public:
  PipeSignalHeld() : m_thread(pthread_self()) {
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
  }
  ~PipeSignalHeld() {
    if (sigismember(&m_previous, SIGPIPE) || !pthread_equal(m_thread, pthread_self())) return;
    sigset_t pending;
    if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
      const timespec now{};
      sigtimedwait(&m_pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
  }
  PipeSignalHeld(const PipeSignalHeld&) = delete;
  PipeSignalHeld& operator=(const PipeSignalHeld&) = delete;

 private:
  pthread_t m_thread;
  sigset_t m_pipe;
  sigset_t m_previous;
};

std::shared_ptr<const TlsContext> TlsContext::create() {
  const TlsCalls& calls = requiredCalls();
  ssl_ctx_st* context = calls.contextNew(calls.clientMethod());
  if (context == nullptr) throw SocketError("TLS cannot be set up: " + queuedErrorText(calls));
  std::shared_ptr<const TlsContext> shared(new TlsContext(context));
  calls.contextControl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_2_VERSION, nullptr);
  // A server that closes without a goodbye is common; every body whose
  // length is known is checked against it anyway.
  calls.contextSetOptions(context, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_NO_RENEGOTIATION);
  calls.contextControl(context, SSL_CTRL_MODE, SSL_MODE_AUTO_RETRY, nullptr);
  calls.contextSetVerify(context, SSL_VERIFY_PEER, nullptr);
  if (calls.contextSetDefaultVerifyPaths(context) != 1)
    throw SocketError("the system's certificates cannot be read: " + queuedErrorText(calls));
  return shared;
}

TlsContext::~TlsContext() { requiredCalls().contextFree(m_context); }

TlsSession::TlsSession(std::shared_ptr<const TlsContext> context, int descriptor, const std::string& host)
    : m_context(std::move(context)), m_pipeHeld(std::make_unique<PipeSignalHeld>()) {
  const TlsCalls& calls = requiredCalls();
  m_session = calls.sessionNew(m_context->handle());
  if (m_session == nullptr) throw SocketError("TLS cannot be set up: " + queuedErrorText(calls));
  bool named = calls.setDescriptor(m_session, descriptor) == 1;
  if (isNumericAddress(host)) {
    named = named && calls.setAddress(calls.verifyParameters(m_session), host.c_str()) == 1;
  } else {
    named = named && calls.setHost(m_session, host.c_str()) == 1 &&
            calls.control(m_session, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                          const_cast<char*>(host.c_str())) == 1;
  }
  if (!named) {
    const std::string reason = queuedErrorText(calls);
    calls.sessionFree(m_session);
    throw SocketError("TLS cannot be set up for " + host + ": " + reason);
  }
}

TlsSession::~TlsSession() {
  const TlsCalls& calls = *tlsCalls();
  calls.clearErrors();
  calls.shutdown(m_session);
  calls.clearErrors();
  calls.sessionFree(m_session);
}

TlsSession::Step TlsSession::stepAfter(int result) {
  const TlsCalls& calls = *tlsCalls();
  switch (calls.error(m_session, result)) {
    case SSL_ERROR_WANT_READ:
      return Step::WantRead;
    case SSL_ERROR_WANT_WRITE:
      return Step::WantWrite;
    case SSL_ERROR_ZERO_RETURN:
      return Step::End;
    default:
      m_lastError = queuedErrorText(calls);
      return Step::Failed;
  }
}

TlsSession::Step TlsSession::handshake() {
  const TlsCalls& calls = *tlsCalls();
  calls.clearErrors();
  const int result = calls.connect(m_session);
  return result == 1 ? Step::Done : stepAfter(result);
}

std::string TlsSession::failureText() const {
  const long verified = tlsCalls()->verifyResult(m_session);
  if (verified != X509_V_OK)
    return std::string("the server's certificate is not accepted: ") + tlsCalls()->verifyErrorText(verified);
  if (!m_lastError.empty()) return "the TLS handshake failed: " + m_lastError;
  return "the TLS handshake failed: the server closed the connection";
}

TlsSession::Step TlsSession::read(char* buffer, int count, int& got) {
  const TlsCalls& calls = *tlsCalls();
  calls.clearErrors();
  const int result = calls.read(m_session, buffer, count);
  if (result > 0) {
    got = result;
    return Step::Done;
  }
  return stepAfter(result);
}

TlsSession::Step TlsSession::write(const char* bytes, size_t count, size_t& sent) {
  const TlsCalls& calls = *tlsCalls();
  calls.clearErrors();
  const int result = calls.write(m_session, bytes, static_cast<int>(std::min<size_t>(count, INT_MAX)));
  if (result > 0) {
    sent = static_cast<size_t>(result);
    return Step::Done;
  }
  return stepAfter(result);
}

bool TlsSession::hasPending() const { return tlsCalls()->hasPending(m_session) == 1; }
