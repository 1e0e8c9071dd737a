#include "raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {
namespace {

const int kWaitMs = 5000;

bool SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) return false;
    sent += static_cast<std::size_t>(put);
  }
  return true;
}

bool ReceiveUntilClose(int fd, std::string& response) {
  char buffer[65536];
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, kWaitMs) <= 0) return false;
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got < 0) return false;
    if (got == 0) return true;
    response.append(buffer, static_cast<std::size_t>(got));
  }
}

}  // namespace

bool RawExchange(int port, const std::string& request, std::string& response) {
  response.clear();
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                  SendAll(fd, request) && ReceiveUntilClose(fd, response);
  close(fd);
  return ok && response.rfind("HTTP/1.", 0) == 0;
}

}  // namespace bench
