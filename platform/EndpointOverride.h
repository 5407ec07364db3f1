// Test-only redirection of network endpoints. The program talks to port 80 of
// the hosts named in its addresses; tests run their servers on loopback ports
// of their own and map a host name to such a port here. Every network adapter
// (the download socket, the page fetcher) consults this before connecting.
// Tests can also hold the download socket's name lookups, to play a resolver
// that does not answer.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

struct SocketEndpoint {
  std::string Host;  // numeric address to connect to
  uint16_t Port = 0;
};

// From now on, connections to (host, 80) go to 127.0.0.1:loopbackPort.
void SetSocketEndpointOverrideForTesting(const std::string& host, uint16_t loopbackPort);
void RemoveSocketEndpointOverrideForTesting(const std::string& host);
void ClearSocketEndpointOverridesForTesting();

// The endpoint to use instead of (host, port), if a test has mapped it.
std::optional<SocketEndpoint> SocketEndpointOverride(const std::string& host, uint16_t port);

// From now on, lookups of host's name hang, as they do against a resolver
// that does not answer, until `hold` has passed or the holds are released.
void HoldSocketLookupsForTesting(const std::string& host, std::chrono::milliseconds hold);
// Lets every held lookup go on at once.
void ReleaseSocketLookupsForTesting();
// How many lookups are held at the moment.
int HeldSocketLookupsForTesting();

// Called by a socket adapter's lookup before it asks the resolver: returns
// at once unless a test holds lookups of host.
void WaitWhileSocketLookupHeld(const std::string& host);
