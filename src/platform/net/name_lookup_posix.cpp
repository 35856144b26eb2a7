#include <errno.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "platform/core/clock.h"
#include "platform/net/name_lookup.h"

namespace veltrum {

namespace {

// One address on the pipe from the child: this header, then the sockaddr.
struct Record {
  int32_t family;
  int32_t socketType;
  int32_t protocol;
  uint32_t length;
};

bool writeBytes(int descriptor, const void* data, size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t written = write(descriptor, bytes, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

// The child: resolves, writes what it found, and ends without running
// anything of the parent's (no exit handlers, no buffers flushed).
[[noreturn]] void resolveInChild(const char* host, const char* service, int output, pid_t parent) {
#ifdef __linux__
  // A run ended by a signal takes its resolver with it, rather than leave
  // it waiting for a silent server.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(1);
#else
  (void)parent;
#endif
  struct addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  struct addrinfo* found = nullptr;
  if (getaddrinfo(host, service, &hints, &found) != 0) _exit(1);
  for (struct addrinfo* item = found; item != nullptr; item = item->ai_next) {
    Record record = {item->ai_family, item->ai_socktype, item->ai_protocol, item->ai_addrlen};
    if (!writeBytes(output, &record, sizeof record) ||
        !writeBytes(output, item->ai_addr, item->ai_addrlen)) {
      _exit(1);
    }
  }
  _exit(0);
}

// Everything the child writes until it closes the pipe; false when the
// deadline comes first.
bool readUntilClosed(int input, int64_t deadline, std::string* bytes) {
  char chunk[4096];
  for (;;) {
    int64_t left = deadline - monotonicMilliseconds();
    if (left <= 0) return false;
    struct pollfd entry = {input, POLLIN, 0};
    int ready = poll(&entry, 1, static_cast<int>(left));
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    ssize_t count = read(input, chunk, sizeof chunk);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return count == 0;
    bytes->append(chunk, static_cast<size_t>(count));
  }
}

void parseRecords(const std::string& bytes, std::vector<ResolvedAddress>* addresses) {
  size_t at = 0;
  while (bytes.size() - at >= sizeof(Record)) {
    Record record;
    bytes.copy(reinterpret_cast<char*>(&record), sizeof record, at);
    at += sizeof record;
    if (record.length > sizeof(struct sockaddr_storage) || bytes.size() - at < record.length) {
      return;
    }
    addresses->push_back(
        {record.family, record.socketType, record.protocol, bytes.substr(at, record.length)});
    at += record.length;
  }
}

}  // namespace

bool resolveName(const std::string& host, int port, int64_t timeoutMilliseconds,
                 std::vector<ResolvedAddress>* addresses, bool* timedOut) {
  addresses->clear();
  *timedOut = false;
  const int64_t deadline = monotonicMilliseconds() + timeoutMilliseconds;
  char service[16];
  std::snprintf(service, sizeof service, "%d", port);
  int channel[2];
  if (pipe2(channel, O_CLOEXEC) != 0) return false;
  const pid_t parent = getpid();
  pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    resolveInChild(host.c_str(), service, channel[1], parent);
  }
  close(channel[1]);
  if (child < 0) {
    close(channel[0]);
    return false;
  }
  std::string bytes;
  bool complete = readUntilClosed(channel[0], deadline, &bytes);
  close(channel[0]);
  // A child still waiting for its resolver is ended; none is left behind.
  if (!complete) kill(child, SIGKILL);
  *timedOut = !complete;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  parseRecords(bytes, addresses);
  return !addresses->empty();
}

}  // namespace veltrum
