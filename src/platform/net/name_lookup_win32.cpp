// winsock2.h must come before windows.h.
#include <winsock2.h>
//
#include <ws2tcpip.h>

#include <cstdio>
#include <memory>
#include <utility>

#include "platform/net/name_lookup.h"
#include "platform/system/abandonable_task.h"

namespace veltrum {

namespace {

// One resolution as an abandonable task: what it finds stays with the task
// until the caller takes it, and goes with the task when nobody does.
class NameLookup final : public AbandonableTask {
 public:
  NameLookup(std::string host, int port) : host_(std::move(host)) {
    std::snprintf(service_, sizeof service_, "%d", port);
  }
  void run() override {
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host_.c_str(), service_, &hints, &found) != 0) return;
    for (addrinfo* item = found; item != nullptr; item = item->ai_next) {
      addresses.push_back({item->ai_family, item->ai_socktype, item->ai_protocol,
                           std::string(reinterpret_cast<const char*>(item->ai_addr),
                                       static_cast<size_t>(item->ai_addrlen))});
    }
    freeaddrinfo(found);
  }
  std::vector<ResolvedAddress> addresses;

 private:
  std::string host_;
  char service_[16];
};

}  // namespace

bool resolveName(const std::string& host, int port, int64_t timeoutMilliseconds,
                 std::vector<ResolvedAddress>* addresses, bool* timedOut) {
  auto lookup = std::make_shared<NameLookup>(host, port);
  *timedOut = !runWithin(lookup, timeoutMilliseconds);
  if (*timedOut) return false;
  *addresses = std::move(lookup->addresses);
  return !addresses->empty();
}

}  // namespace veltrum
