#include "accept_loop.h"

#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <utility>

namespace testsupport::detail {

AcceptLoop::AcceptLoop(std::uint16_t port, Handler handler)
    : listener_(ListenOnLoopback(port)),
      port_(LocalPort(listener_.Fd())),
      handler_(std::move(handler)),
      thread_([this] { Run(); }) {}

AcceptLoop::~AcceptLoop() {
  stop_.store(true);
  thread_.join();
}

void AcceptLoop::Run() {
  while (!stop_.load()) {
    if (!WaitReady(listener_.Fd(), POLLIN, 1000, stop_)) continue;
    Socket connection(accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (!connection.Valid()) continue;
    accepted_.fetch_add(1);
    handler_(std::move(connection), stop_);
    handled_.fetch_add(1);
  }
}

bool AcceptLoop::WaitForHandled(std::size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Handled() < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace testsupport::detail
