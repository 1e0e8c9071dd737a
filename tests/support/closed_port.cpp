#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "loopback_server.h"
#include "socket_io.h"

namespace testsupport {

// Bound but never listening: the kernel answers connection attempts with RST.
ClosedPort::ClosedPort() : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  if (fd_ < 0) throw std::runtime_error("socket() failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd_);
    throw std::runtime_error("cannot bind a loopback port");
  }
  port_ = detail::LocalPort(fd_);
}

ClosedPort::~ClosedPort() { close(fd_); }

}  // namespace testsupport
