// Host names to socket addresses within a time limit. The system's resolver
// keeps timeouts of its own, far longer than a connection may take, so it is
// run where it can be left behind: in a child process (POSIX), ended at the
// deadline, or on a thread that is abandoned there (Windows).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace veltrum {

// One address to connect to, as the resolver gave it.
struct ResolvedAddress {
  int family = 0;
  int socketType = 0;
  int protocol = 0;
  std::string socketAddress;  // the bytes of the sockaddr
};

// The TCP addresses of `host` (a name or a numeric address, IPv4 and IPv6)
// and `port`, in the resolver's order. False when the name does not resolve,
// or did not within `timeoutMilliseconds` (then `timedOut` is set).
bool resolveName(const std::string& host, int port, int64_t timeoutMilliseconds,
                 std::vector<ResolvedAddress>* addresses, bool* timedOut);

}  // namespace veltrum
