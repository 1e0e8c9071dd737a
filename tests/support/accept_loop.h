// The thread behind each loopback server: accepts connections one after
// another and hands each to a handler, until stopped.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>

#include "socket_io.h"

namespace testsupport::detail {

class AcceptLoop {
 public:
  using Handler = std::function<void(Socket connection, const StopFlag& stop)>;

  // Listens at once (throws when it cannot), then serves on its own thread.
  AcceptLoop(std::uint16_t port, Handler handler);
  ~AcceptLoop();
  AcceptLoop(const AcceptLoop&) = delete;
  AcceptLoop& operator=(const AcceptLoop&) = delete;

  std::uint16_t Port() const { return port_; }
  std::size_t Accepted() const { return accepted_.load(); }
  std::size_t Handled() const { return handled_.load(); }
  // Waits (at most timeoutMs) until `count` connections have been handled.
  bool WaitForHandled(std::size_t count, int timeoutMs) const;

 private:
  void Run();

  Socket listener_;
  std::uint16_t port_ = 0;
  Handler handler_;
  StopFlag stop_{false};
  std::atomic<std::size_t> accepted_{0};
  std::atomic<std::size_t> handled_{0};
  std::thread thread_;
};

}  // namespace testsupport::detail
