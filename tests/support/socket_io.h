// Small blocking-free socket helpers shared by the loopback servers. Every
// wait is a poll in short slices that also watches the owner's stop flag, so
// a server thread never outlives its destructor by more than a slice.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace testsupport::detail {

// Owns one file descriptor; closes it on destruction.
class Socket {
 public:
  Socket() = default;
  explicit Socket(int fd) : fd_(fd) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  int Fd() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

using StopFlag = std::atomic<bool>;

// Listening socket on 127.0.0.1:port (0 = ephemeral). Throws on failure.
Socket ListenOnLoopback(std::uint16_t port);
std::uint16_t LocalPort(int fd);

// Sockets handed around here are non-blocking; every call waits with poll.

// Connects to 127.0.0.1:port; an invalid Socket on failure or time-out.
Socket ConnectToLoopback(std::uint16_t port, int timeoutMs);

// True when fd becomes ready for `events` within timeoutMs and stop stays unset.
bool WaitReady(int fd, short events, int timeoutMs, const StopFlag& stop);

bool SendAll(int fd, const std::string& bytes, const StopFlag& stop);

// Reads one request: the head up to the blank line, then the announced
// Content-Length of body. Returns what arrived, complete or not.
std::string ReadRequest(int fd, int timeoutMs, const StopFlag& stop);

// Reads until the peer closes (or timeoutMs passes) and returns the bytes.
std::string ReadUntilClosed(int fd, int timeoutMs, const StopFlag& stop);

// Half-closes, lets the peer see the end, then closes: no RST for unread data.
void CloseGracefully(Socket& socket, const StopFlag& stop);

// Closes with SO_LINGER 0, which sends RST.
void CloseWithReset(Socket& socket);

// Sleeps ms, waking early when stop is set; false when stopped.
bool SleepUnlessStopped(int ms, const StopFlag& stop);

}  // namespace testsupport::detail
