#include "platform/linux/tcp_stream.h"

#include "platform/linux/socket_wait.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace winhttp_linux {
namespace {

bool IsHostCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '-' || c == '_';
}

bool IsIpv6Character(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
         c == '.';
}

// Takes `sent` bytes off the front of the pieces.
void Consume(iovec* pieces, std::size_t count, std::size_t sent) {
  for (std::size_t i = 0; i < count && sent > 0; ++i) {
    std::size_t take = std::min(sent, pieces[i].iov_len);
    pieces[i].iov_base = static_cast<char*>(pieces[i].iov_base) + take;
    pieces[i].iov_len -= take;
    sent -= take;
  }
}

std::string WithoutBrackets(const std::string& host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    return host.substr(1, host.size() - 2);
  return host;
}

}  // namespace

bool IsAcceptableHostName(const std::string& host) {
  std::string bare = WithoutBrackets(host);
  if (bare.empty() || bare.size() > 255) return false;
  bool ipv6 = bare.find(':') != std::string::npos;
  for (char c : bare)
    if (ipv6 ? !IsIpv6Character(c) : !IsHostCharacter(c)) return false;
  return true;
}

void TcpStream::Close() {
  tls_.End();
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

DWORD TcpStream::Open(const std::string& host, unsigned short port, const Timeouts& timeouts) {
  Close();
  timeouts_ = timeouts;
  if (!IsAcceptableHostName(host)) return ERROR_WINHTTP_NAME_NOT_RESOLVED;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  std::string service = std::to_string(port);
  if (getaddrinfo(WithoutBrackets(host).c_str(), service.c_str(), &hints, &found) != 0 || !found)
    return ERROR_WINHTTP_NAME_NOT_RESOLVED;
  // One budget for all addresses: trying several never exceeds the time-out.
  const WaitBudget budget(timeouts.connectMs);
  DWORD result = ERROR_WINHTTP_CANNOT_CONNECT;
  for (addrinfo* entry = found; entry != nullptr; entry = entry->ai_next) {
    int left = budget.LeftMs();
    if (left == 0) {
      result = ERROR_WINHTTP_TIMEOUT;
      break;
    }
    result = ConnectTo(entry->ai_addr, entry->ai_addrlen, entry->ai_family, left);
    if (result == ERROR_SUCCESS) break;
  }
  freeaddrinfo(found);
  return result;
}

DWORD TcpStream::ConnectTo(const void* address, unsigned addressLength, int family, int timeoutMs) {
  fd_ = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return ERROR_WINHTTP_CANNOT_CONNECT;
  // Heads and small bodies go out at once, never held back for an ACK.
  int noDelay = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
  if (connect(fd_, static_cast<const sockaddr*>(address), addressLength) == 0) return ERROR_SUCCESS;
  if (errno != EINPROGRESS) {
    Close();
    return ERROR_WINHTTP_CANNOT_CONNECT;
  }
  short revents = 0;
  int ready = WaitForSocket(fd_, POLLOUT, timeoutMs, &revents);
  // A failed connect always reports an error or a hang-up; only then is
  // the socket's error worth asking for.
  if (ready > 0 && (revents & (POLLERR | POLLHUP)) == 0) return ERROR_SUCCESS;
  int error = 0;
  socklen_t size = sizeof error;
  if (ready > 0 && getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0)
    return ERROR_SUCCESS;
  Close();
  return ready == 0 ? ERROR_WINHTTP_TIMEOUT : ERROR_WINHTTP_CANNOT_CONNECT;
}

DWORD TcpStream::SendAll(const char* data, std::size_t size) { return SendAll(data, size, nullptr, 0); }

DWORD TcpStream::StartTls(const std::string& host, DWORD securityFlags) {
  if (fd_ < 0) return ERROR_WINHTTP_CONNECTION_ERROR;
  DWORD result = tls_.Start(fd_, WithoutBrackets(host), securityFlags, timeouts_);
  if (result != ERROR_SUCCESS) Close();
  return result;
}

DWORD TcpStream::SendAll(const char* first, std::size_t firstSize, const char* second, std::size_t secondSize) {
  if (fd_ < 0) return ERROR_WINHTTP_CONNECTION_ERROR;
  if (tls_.Active()) {
    DWORD result = tls_.SendAll(first, firstSize);
    return result == ERROR_SUCCESS ? tls_.SendAll(second, secondSize) : result;
  }
  iovec pieces[2] = {{const_cast<char*>(first), firstSize}, {const_cast<char*>(second), secondSize}};
  std::size_t next = 0;  // the first piece with bytes left
  for (;;) {
    while (next < 2 && pieces[next].iov_len == 0) ++next;
    if (next == 2) return ERROR_SUCCESS;
    msghdr message{};
    message.msg_iov = pieces + next;
    message.msg_iovlen = 2 - next;
    ssize_t put = sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (put > 0) {
      Consume(pieces + next, 2 - next, static_cast<std::size_t>(put));
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
      return ERROR_WINHTTP_CONNECTION_ERROR;
    int ready = WaitForSocket(fd_, POLLOUT, PollTimeout(timeouts_.sendMs));
    if (ready == 0) return ERROR_WINHTTP_TIMEOUT;
    if (ready < 0) return ERROR_WINHTTP_CONNECTION_ERROR;
  }
}

bool TcpStream::PeerHasHungUp() const {
  if (fd_ < 0) return true;
  pollfd entry{fd_, POLLRDHUP, 0};
  return poll(&entry, 1, 0) > 0 && (entry.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

DWORD TcpStream::ReceiveSome(std::string& into, std::size_t limit, bool& closed) {
  closed = false;
  if (fd_ < 0) return ERROR_WINHTTP_CONNECTION_ERROR;
  if (tls_.Active()) return tls_.ReceiveSome(into, std::min(limit, kReceiveBufferBytes), closed);
  for (;;) {
    int ready = WaitForSocket(fd_, POLLIN, PollTimeout(timeouts_.receiveMs));
    if (ready == 0) return ERROR_WINHTTP_TIMEOUT;
    if (ready < 0) return ERROR_WINHTTP_CONNECTION_ERROR;
    // Received on the stack, so only the bytes that came are appended:
    // growing `into` first would clear `limit` bytes every time, and a heap
    // block of this size costs more than the small replies it mostly holds.
    char buffer[kReceiveBufferBytes];
    ssize_t got = recv(fd_, buffer, std::min(limit, sizeof buffer), 0);
    if (got > 0) {
      into.append(buffer, static_cast<std::size_t>(got));
      return ERROR_SUCCESS;
    }
    if (got == 0) {
      closed = true;
      return ERROR_SUCCESS;
    }
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return ERROR_WINHTTP_CONNECTION_ERROR;
  }
}

}  // namespace winhttp_linux
