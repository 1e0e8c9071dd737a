#include "same_thread_server.h"

#include <poll.h>
#include <sys/socket.h>

namespace testsupport {
namespace {
constexpr int kWaitMs = 1000;
}

SameThreadServer::SameThreadServer()
    : listener_(detail::ListenOnLoopback(0)), port_(detail::LocalPort(listener_.Fd())) {}

bool SameThreadServer::Answer(const std::string& bytes) {
  Hangup();
  if (!detail::WaitReady(listener_.Fd(), POLLIN, kWaitMs, never_)) return false;
  connection_ = detail::Socket(accept4(listener_.Fd(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
  if (!connection_.Valid()) return false;
  detail::ReadRequest(connection_.Fd(), kWaitMs, never_);
  detail::SendAll(connection_.Fd(), bytes, never_);
  shutdown(connection_.Fd(), SHUT_WR);
  return true;
}

void SameThreadServer::Hangup() {
  if (connection_.Valid()) detail::CloseGracefully(connection_, never_);
}

}  // namespace testsupport
