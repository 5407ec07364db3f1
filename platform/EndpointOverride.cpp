#include "platform/EndpointOverride.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

namespace {

constexpr uint16_t kHttpPort = 80;

std::mutex& OverrideMutex() {
  static std::mutex mutex;
  return mutex;
}

std::map<std::string, uint16_t>& Overrides() {
  static std::map<std::string, uint16_t> overrides;
  return overrides;
}

// Host names compare without regard to case.
std::string HostKey(std::string host) {
  std::transform(host.begin(), host.end(), host.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return host;
}

}  // namespace

void SetSocketEndpointOverrideForTesting(const std::string& host, uint16_t loopbackPort) {
  std::lock_guard lock(OverrideMutex());
  Overrides()[HostKey(host)] = loopbackPort;
}

void RemoveSocketEndpointOverrideForTesting(const std::string& host) {
  std::lock_guard lock(OverrideMutex());
  Overrides().erase(HostKey(host));
}

void ClearSocketEndpointOverridesForTesting() {
  std::lock_guard lock(OverrideMutex());
  Overrides().clear();
}

std::optional<SocketEndpoint> SocketEndpointOverride(const std::string& host, uint16_t port) {
  if (port != kHttpPort) return std::nullopt;
  std::lock_guard lock(OverrideMutex());
  const auto found = Overrides().find(HostKey(host));
  if (found == Overrides().end()) return std::nullopt;
  return SocketEndpoint{"127.0.0.1", found->second};
}
