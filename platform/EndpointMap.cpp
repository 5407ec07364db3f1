#include "platform/EndpointMap.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr uint16_t kHttpPort = 80;

// Host names compare without regard to case.
std::string hostKey(std::string host) {
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return host;
}

}  // namespace

void EndpointMap::mapHost(const std::string& host, uint16_t loopbackPort) {
  std::lock_guard lock(m_mutex);
  m_ports[hostKey(host)] = loopbackPort;
}

void EndpointMap::unmapHost(const std::string& host) {
  std::lock_guard lock(m_mutex);
  m_ports.erase(hostKey(host));
}

std::optional<SocketEndpoint> EndpointMap::endpointFor(const std::string& host, uint16_t port) const {
  if (port != kHttpPort) return std::nullopt;
  std::lock_guard lock(m_mutex);
  const auto found = m_ports.find(hostKey(host));
  if (found == m_ports.end()) return std::nullopt;
  return SocketEndpoint{"127.0.0.1", found->second};
}

void EndpointMap::holdLookups(const std::string& host, std::chrono::milliseconds hold) {
  std::lock_guard lock(m_mutex);
  m_holds[hostKey(host)] = std::chrono::steady_clock::now() + hold;
}

void EndpointMap::releaseLookups() {
  std::lock_guard lock(m_mutex);
  m_holds.clear();
  m_released.notify_all();
}

int EndpointMap::heldLookups() const {
  std::lock_guard lock(m_mutex);
  return m_waiting;
}

void EndpointMap::waitWhileLookupHeld(const std::string& host) const {
  std::unique_lock lock(m_mutex);
  const auto found = m_holds.find(hostKey(host));
  if (found == m_holds.end()) return;
  const std::chrono::steady_clock::time_point until = found->second;
  ++m_waiting;
  // A release empties the holds; a new hold for the host does not extend this one.
  m_released.wait_until(lock, until, [&] { return !m_holds.contains(hostKey(host)); });
  --m_waiting;
}
