#include "platform/EndpointOverride.h"

#include <algorithm>
#include <cctype>
#include <condition_variable>
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

struct LookupHolds {
  std::mutex Mutex;
  std::condition_variable Released;
  std::map<std::string, std::chrono::steady_clock::time_point> Until;
  int Waiting = 0;
};

// Never destroyed: a lookup thread left behind may still wait here while
// the program exits.
LookupHolds& Holds() {
  static auto* holds = new LookupHolds;
  return *holds;
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

void HoldSocketLookupsForTesting(const std::string& host, std::chrono::milliseconds hold) {
  LookupHolds& holds = Holds();
  std::lock_guard lock(holds.Mutex);
  holds.Until[HostKey(host)] = std::chrono::steady_clock::now() + hold;
}

void ReleaseSocketLookupsForTesting() {
  LookupHolds& holds = Holds();
  std::lock_guard lock(holds.Mutex);
  holds.Until.clear();
  holds.Released.notify_all();
}

int HeldSocketLookupsForTesting() {
  LookupHolds& holds = Holds();
  std::lock_guard lock(holds.Mutex);
  return holds.Waiting;
}

void WaitWhileSocketLookupHeld(const std::string& host) {
  LookupHolds& holds = Holds();
  std::unique_lock lock(holds.Mutex);
  const auto found = holds.Until.find(HostKey(host));
  if (found == holds.Until.end()) return;
  const std::chrono::steady_clock::time_point until = found->second;
  ++holds.Waiting;
  // A release empties the map; a new hold for the host does not extend this one.
  holds.Released.wait_until(lock, until, [&] { return !holds.Until.contains(HostKey(host)); });
  --holds.Waiting;
}
