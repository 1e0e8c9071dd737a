#include "socket_io.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace testsupport::detail {
namespace {

constexpr int kSliceMs = 20;
using Clock = std::chrono::steady_clock;

sockaddr_in LoopbackAddress(std::uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return static_cast<int>(std::max<long long>(0, left.count()));
}

// Content-Length of a request head, 0 when it announces none.
std::size_t AnnouncedBodyLength(const std::string& head) {
  std::string lower(head);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::string name = "\r\ncontent-length:";
  std::size_t at = lower.find(name);
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoull(lower.c_str() + at + name.size(), nullptr, 10));
}

// Appends whatever one recv returns; false on close or error.
bool ReceiveSome(int fd, std::string& into) {
  char buffer[4096];
  ssize_t got = recv(fd, buffer, sizeof buffer, 0);
  if (got < 0 && (errno == EAGAIN || errno == EINTR)) return true;
  if (got <= 0) return false;
  into.append(buffer, static_cast<std::size_t>(got));
  return true;
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void Socket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

Socket ListenOnLoopback(std::uint16_t port) {
  Socket listener(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!listener.Valid()) throw std::runtime_error("socket() failed");
  int on = 1;
  setsockopt(listener.Fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in address = LoopbackAddress(port);
  if (bind(listener.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    throw std::runtime_error("cannot bind 127.0.0.1:" + std::to_string(port));
  if (listen(listener.Fd(), 16) != 0) throw std::runtime_error("listen() failed");
  return listener;
}

std::uint16_t LocalPort(int fd) {
  sockaddr_in address{};
  socklen_t size = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) return 0;
  return ntohs(address.sin_port);
}

Socket ConnectToLoopback(std::uint16_t port, int timeoutMs) {
  Socket connection(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!connection.Valid()) return Socket();
  sockaddr_in address = LoopbackAddress(port);
  if (connect(connection.Fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS) return Socket();
    pollfd entry{connection.Fd(), POLLOUT, 0};
    if (poll(&entry, 1, timeoutMs) != 1) return Socket();
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(connection.Fd(), SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) return Socket();
  }
  return connection;
}

bool WaitReady(int fd, short events, int timeoutMs, const StopFlag& stop) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!stop.load()) {
    pollfd entry{fd, events, 0};
    int ready = poll(&entry, 1, std::min(kSliceMs, RemainingMs(deadline)));
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) return false;
    if (RemainingMs(deadline) == 0) return false;
  }
  return false;
}

bool SendAll(int fd, const std::string& bytes, const StopFlag& stop) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    if (!WaitReady(fd, POLLOUT, 3000, stop)) return false;
    ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) return false;
    sent += static_cast<std::size_t>(put);
  }
  return true;
}

std::string ReadRequest(int fd, int timeoutMs, const StopFlag& stop) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string received;
  std::size_t headEnd = std::string::npos;
  std::size_t wanted = 0;
  while (headEnd == std::string::npos || received.size() < wanted) {
    if (!WaitReady(fd, POLLIN, RemainingMs(deadline), stop)) break;
    if (!ReceiveSome(fd, received)) break;
    if (headEnd == std::string::npos) {
      headEnd = received.find("\r\n\r\n");
      if (headEnd != std::string::npos)
        wanted = headEnd + 4 + AnnouncedBodyLength(received.substr(0, headEnd + 2));
    }
  }
  return received;
}

std::string ReadUntilClosed(int fd, int timeoutMs, const StopFlag& stop) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  std::string received;
  while (WaitReady(fd, POLLIN, RemainingMs(deadline), stop) && ReceiveSome(fd, received)) {
  }
  return received;
}

void CloseGracefully(Socket& socket, const StopFlag& stop) {
  shutdown(socket.Fd(), SHUT_WR);
  ReadUntilClosed(socket.Fd(), 500, stop);
  socket.Close();
}

void CloseWithReset(Socket& socket) {
  linger abort{1, 0};
  setsockopt(socket.Fd(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
  socket.Close();
}

bool SleepUnlessStopped(int ms, const StopFlag& stop) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
  while (!stop.load()) {
    int left = RemainingMs(deadline);
    if (left == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(kSliceMs, left)));
  }
  return false;
}

}  // namespace testsupport::detail
