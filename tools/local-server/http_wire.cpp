#include "http_wire.h"

#include <sys/socket.h>

#include <cstdlib>
#include <strings.h>

namespace localserver {

namespace {

constexpr std::size_t kMostHeadBytes = 64 * 1024;
constexpr std::size_t kMostBodyBytes = 1024 * 1024;

std::size_t ContentLength(const std::string& head) {
  std::size_t at = 0;
  while ((at = head.find("\r\n", at)) != std::string::npos) {
    at += 2;
    if (strncasecmp(head.c_str() + at, "Content-Length:", 15) == 0)
      return std::strtoul(head.c_str() + at + 15, nullptr, 10);
  }
  return 0;
}

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string Request::Path() const {
  const auto start = head.find(' ');
  if (start == std::string::npos) return "";
  const auto end = head.find(' ', start + 1);
  return head.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

bool ReadRequest(int fd, Request& request) {
  std::string raw;
  char chunk[4096];
  std::size_t headEnd = std::string::npos;
  std::size_t wanted = 0;
  for (;;) {
    if (headEnd == std::string::npos) {
      headEnd = raw.find("\r\n\r\n");
      if (headEnd != std::string::npos) {
        wanted = headEnd + 4 + ContentLength(raw.substr(0, headEnd + 2));
        if (wanted - headEnd - 4 > kMostBodyBytes) return false;
      } else if (raw.size() > kMostHeadBytes) {
        return false;
      }
    }
    if (headEnd != std::string::npos && raw.size() >= wanted) break;
    const ssize_t n = recv(fd, chunk, sizeof chunk, 0);
    if (n <= 0) return false;
    raw.append(chunk, static_cast<std::size_t>(n));
  }
  request.head = raw.substr(0, headEnd + 2);
  request.body = raw.substr(headEnd + 4, wanted - headEnd - 4);
  return true;
}

void SendReply(int fd, const std::string& body) {
  SendAll(fd, "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                  std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
}

}  // namespace localserver
