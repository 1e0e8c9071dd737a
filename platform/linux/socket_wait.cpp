#include "platform/linux/socket_wait.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

namespace winhttp_linux {

int WaitForSocket(int fd, short events, int timeoutMs, short* revents) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    pollfd entry{fd, events, 0};
    int ready = poll(&entry, 1, timeoutMs);
    if (revents != nullptr) *revents = entry.revents;
    if (ready >= 0 || errno != EINTR) return ready;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      timeoutMs = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
  }
}

}  // namespace winhttp_linux
