// Where a connection to a host really goes. The program talks to the hosts
// its addresses name; a test runs its servers on loopback ports of its own
// and maps a host name to such a port here, in a map that it hands to the
// parts it tests (the download socket, the page fetcher). The real program
// has no map. A test can also hold the socket's name lookups, to play a
// resolver that does not answer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

struct SocketEndpoint {
  std::string Host;  // numeric address to connect to
  uint16_t Port = 0;
};

class EndpointMap {
 public:
  // From now on, connections to (host, 80) go to 127.0.0.1:loopbackPort.
  void mapHost(const std::string& host, uint16_t loopbackPort);
  void unmapHost(const std::string& host);

  // The endpoint to use instead of (host, port), if one is mapped.
  std::optional<SocketEndpoint> endpointFor(const std::string& host, uint16_t port) const;

  // From now on, lookups of host's name hang, as they do against a resolver
  // that does not answer, until `hold` has passed or the holds are released.
  void holdLookups(const std::string& host, std::chrono::milliseconds hold);
  // Lets every held lookup go on at once.
  void releaseLookups();
  // How many lookups are held at the moment.
  int heldLookups() const;
  // Called by a socket's lookup before it asks the resolver: returns at once
  // unless lookups of host are held.
  void waitWhileLookupHeld(const std::string& host) const;

 private:
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_released;
  std::map<std::string, uint16_t> m_ports;
  std::map<std::string, std::chrono::steady_clock::time_point> m_holds;
  mutable int m_waiting = 0;
};
