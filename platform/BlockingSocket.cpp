#include "platform/BlockingSocket.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/EndpointMap.h"
#include "platform/TlsSession.h"

namespace {

using Clock = std::chrono::steady_clock;

// The stop check is looked at this often while a wait runs.
constexpr int kStopCheckSliceMs = 50;
// The engine takes its bodies 4096 bytes at a time. A receive buffer that can
// queue megabytes lets the sender run ahead of those small reads, so that
// fewer, larger packets and window updates carry the same bytes; on loopback
// this saves about a sixth of the receiving side's work. The system may cap it.
constexpr int kReceiveBufferBytes = 4 * 1024 * 1024;

// One lookup's result, shared by the thread that waits for it and the helper
// thread that runs it. Whoever leaves last frees it; an address list that
// arrives after the waiter has gone is freed by the helper.
struct LookupState {
  std::mutex Mutex;
  std::condition_variable Ended;
  bool Done = false;
  bool Abandoned = false;
  int Result = EAI_SYSTEM;
  addrinfo* List = nullptr;
};

// getaddrinfo cannot be interrupted and may wait on a silent resolver for
// many seconds, so it runs on a helper thread that owns copies of its
// inputs; the waiter can leave it behind at any time.
void runLookup(const std::shared_ptr<LookupState>& state, const std::shared_ptr<const EndpointMap>& endpoints,
               const std::string& requestedHost, const std::string& host, const std::string& service) {
  if (endpoints) endpoints->waitWhileLookupHeld(requestedHost);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  const int result = getaddrinfo(host.c_str(), service.c_str(), &hints, &list);
  std::lock_guard lock(state->Mutex);
  if (state->Abandoned) {
    if (list != nullptr) freeaddrinfo(list);
    return;
  }
  state->Result = result;
  state->List = list;
  state->Done = true;
  state->Ended.notify_all();
}

int millisecondsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

void TBlockingSocket::AddressListDeleter::operator()(addrinfo* list) const { freeaddrinfo(list); }

TBlockingSocket::TBlockingSocket() = default;
TBlockingSocket::~TBlockingSocket() { close(); }

// Bounded by the wait limit and the stop check, like the connect that follows.
TBlockingSocket::AddressList TBlockingSocket::resolve(const std::string& requestedHost,
                                                      const std::string& host, uint16_t port) {
  auto state = std::make_shared<LookupState>();
  try {
    std::thread(runLookup, state, m_endpoints, requestedHost, host, std::to_string(port)).detach();
  } catch (const std::system_error&) {
    throw SocketError("cannot look up " + host + ": no thread for the lookup");
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(m_waitLimitMs, 0));
  std::unique_lock lock(state->Mutex);
  while (!state->Done) {
    const int left = millisecondsLeft(deadline);
    if (stopRequested() || left == 0) {
      state->Abandoned = true;
      throw SocketError("lookup of " + host + " abandoned");
    }
    state->Ended.wait_for(lock, std::chrono::milliseconds(std::min(left, kStopCheckSliceMs)));
  }
  AddressList list(std::exchange(state->List, nullptr));
  if (state->Result != 0 || list == nullptr)
    throw SocketError("cannot resolve " + host + ": " + gai_strerror(state->Result));
  return list;
}

void TBlockingSocket::open(const std::string& host, uint16_t port, SocketSecurity security) {
  close();
  std::string targetHost = host;
  uint16_t targetPort = port;
  if (const auto redirected = m_endpoints ? m_endpoints->endpointFor(host, port) : std::nullopt) {
    targetHost = redirected->Host;
    targetPort = redirected->Port;
  }
  const AddressList addresses = resolve(host, targetHost, targetPort);
  for (const addrinfo* entry = addresses.get(); entry != nullptr; entry = entry->ai_next) {
    if (connectTo(entry->ai_addr, entry->ai_addrlen, entry->ai_family)) {
      if (security == SocketSecurity::Tls) startTls(host);
      return;
    }
    if (stopRequested()) break;
  }
  throw SocketError("cannot connect to " + host);
}

// The certificate is checked against host, the name the address gave, even
// when a test's map sends the connection elsewhere.
void TBlockingSocket::startTls(const std::string& host) {
  try {
    if (!m_tlsContext) m_tlsContext = TlsContext::create();
    m_tls = std::make_unique<TlsSession>(m_tlsContext, m_descriptor, host);
  } catch (const SocketError&) {
    close();
    throw;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(m_waitLimitMs, 0));
  for (;;) {
    const TlsSession::Step step = m_tls->handshake();
    if (step == TlsSession::Step::Done) return;
    const bool waiting = step == TlsSession::Step::WantRead || step == TlsSession::Step::WantWrite;
    if (!waiting) {
      const std::string reason = m_tls->failureText();
      close();
      throw SocketError("TLS with " + host + " failed: " + reason);
    }
    const short events = step == TlsSession::Step::WantRead ? POLLIN : POLLOUT;
    if (!waitFor(events, millisecondsLeft(deadline))) {
      close();
      throw SocketError("TLS handshake with " + host + " timed out");
    }
  }
}

// Connects without blocking so that the wait limit and the stop check bound
// the attempt; an unreachable host would otherwise hold the thread for minutes.
bool TBlockingSocket::connectTo(const void* address, unsigned addressLength, int family) {
  m_descriptor = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_TCP);
  if (m_descriptor < 0) return false;
  m_peerClosed = false;
  setsockopt(m_descriptor, SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
  if (connect(m_descriptor, static_cast<const sockaddr*>(address), addressLength) == 0) return true;
  if (errno == EINPROGRESS && waitFor(POLLOUT, m_waitLimitMs)) {
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(m_descriptor, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) return true;
  }
  close();
  return false;
}

void TBlockingSocket::close() {
  m_tls.reset();  // says goodbye over the descriptor, so before it closes
  m_tlsWantsWrite = false;
  if (m_descriptor >= 0) ::close(m_descriptor);
  m_descriptor = -1;
  m_peerClosed = false;
}

void TBlockingSocket::sendTls(std::string_view text) {
  while (!text.empty()) {
    size_t sent = 0;
    const TlsSession::Step step = m_tls->write(text.data(), text.size(), sent);
    if (step == TlsSession::Step::Done) {
      text.remove_prefix(sent);
    } else if (step == TlsSession::Step::WantRead || step == TlsSession::Step::WantWrite) {
      if (!waitFor(step == TlsSession::Step::WantRead ? POLLIN : POLLOUT, m_waitLimitMs))
        throw SocketError("send timed out");
    } else {
      throw SocketError("send over TLS failed");
    }
  }
}

void TBlockingSocket::sendText(std::string_view text) {
  if (m_tls && m_descriptor >= 0) return sendTls(text);
  while (!text.empty()) {
    if (m_descriptor < 0) throw SocketError("send on a closed socket");
    // MSG_NOSIGNAL: a peer that has gone away must fail the send, not raise
    // SIGPIPE and end the whole program.
    const ssize_t sent = ::send(m_descriptor, text.data(), text.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      text.remove_prefix(static_cast<size_t>(sent));
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && errno == EAGAIN) {
      if (!waitFor(POLLOUT, m_waitLimitMs)) throw SocketError("send timed out");
    } else {
      throw SocketError(std::string("send failed: ") + std::strerror(errno));
    }
  }
}

bool TBlockingSocket::waitForData(int limitMilliseconds) { return waitFor(POLLIN, limitMilliseconds); }

bool TBlockingSocket::waitFor(short events, int limitMilliseconds) {
  if (m_descriptor < 0) return false;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(limitMilliseconds, 0));
  // Bytes that TLS has already taken off the descriptor are there to read.
  if ((events & POLLIN) != 0 && m_tls && m_tls->hasPending()) return true;
  if ((events & POLLIN) != 0 && m_tlsWantsWrite) events |= POLLOUT;
  for (;;) {
    if (stopRequested()) return false;
    const int slice = std::min(millisecondsLeft(deadline), kStopCheckSliceMs);
    pollfd entry{m_descriptor, events, 0};
    const int ready = ::poll(&entry, 1, slice);
    // Hang-up and error count as readable: the next receive reports them.
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
    if (ready == 0 && slice == 0) return false;
  }
}

// Reads what is there without waiting; a wait happens only when nothing is,
// which saves a poll per call while data streams in.
TBlockingSocket::ReadResult TBlockingSocket::readNow(char* buffer, int count, int& got) {
  if (m_tls) return readTlsNow(buffer, count, got);
  for (;;) {
    const ssize_t result = ::recv(m_descriptor, buffer, static_cast<size_t>(count), 0);
    if (result > 0) {
      got = static_cast<int>(result);
      return ReadResult::Bytes;
    }
    if (result < 0 && errno == EINTR) continue;
    if (result < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return ReadResult::WouldBlock;
    m_peerClosed = true;  // end of stream, or a connection error: nothing more will come
    return result == 0 ? ReadResult::End : ReadResult::Error;
  }
}

TBlockingSocket::ReadResult TBlockingSocket::readTlsNow(char* buffer, int count, int& got) {
  m_tlsWantsWrite = false;
  switch (m_tls->read(buffer, count, got)) {
    case TlsSession::Step::Done:
      return ReadResult::Bytes;
    case TlsSession::Step::WantWrite:
      m_tlsWantsWrite = true;
      return ReadResult::WouldBlock;
    case TlsSession::Step::WantRead:
      return ReadResult::WouldBlock;
    case TlsSession::Step::End:
      m_peerClosed = true;
      return ReadResult::End;
    case TlsSession::Step::Failed:
      break;
  }
  m_peerClosed = true;
  m_tlsError = "receive over TLS failed";
  return ReadResult::Error;
}

int TBlockingSocket::read(char* buffer, int count) {
  if (!isOpen() || count <= 0) return 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(m_waitLimitMs, 0));
  for (;;) {
    int got = 0;
    const ReadResult result = readNow(buffer, count, got);
    if (result == ReadResult::Bytes) return got;
    if (result != ReadResult::WouldBlock || !waitForData(millisecondsLeft(deadline))) return 0;
  }
}

int TBlockingSocket::receive(char* buffer, int count) {
  if (!isOpen() || count <= 0) return 0;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(m_waitLimitMs, 0));
  for (;;) {
    const int got = receiveAvailable(buffer, count);
    if (got >= 0) return got;
    if (!waitForData(millisecondsLeft(deadline))) throw SocketError("receive timed out");
  }
}

int TBlockingSocket::receiveAvailable(char* buffer, int count) {
  if (!isOpen() || count <= 0) return 0;
  int got = 0;
  switch (readNow(buffer, count, got)) {
    case ReadResult::Bytes:
      return got;
    case ReadResult::WouldBlock:
      return -1;
    case ReadResult::End:
      return 0;
    case ReadResult::Error:
      break;
  }
  if (m_tls) throw SocketError(m_tlsError);
  throw SocketError(std::string("receive failed: ") + std::strerror(errno));
}
