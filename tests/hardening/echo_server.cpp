#include "echo_server.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <utility>

#include "accept_loop.h"
#include "loopback_server.h"

namespace hardening {

using testsupport::detail::Socket;
using testsupport::detail::StopFlag;

namespace {
constexpr int kRequestReadMs = 3000;
}

std::string FirstFieldValue(const std::string& request) {
  const std::size_t bodyStart = request.find("\r\n\r\n");
  if (bodyStart == std::string::npos) return {};
  const std::size_t equals = request.find('=', bodyStart);
  if (equals == std::string::npos) return {};
  const std::size_t ampersand = request.find('&', equals);
  return request.substr(equals + 1, ampersand == std::string::npos ? std::string::npos : ampersand - equals - 1);
}

struct FirstFieldEchoServer::Impl {
  std::atomic<std::size_t> served{0};
  std::unique_ptr<testsupport::detail::AcceptLoop> loop;
};

FirstFieldEchoServer::FirstFieldEchoServer(std::uint16_t port) : impl_(std::make_unique<Impl>()) {
  Impl* impl = impl_.get();
  impl_->loop = std::make_unique<testsupport::detail::AcceptLoop>(
      port, [impl](Socket connection, const StopFlag& stop) {
        const std::string request = testsupport::detail::ReadRequest(connection.Fd(), kRequestReadMs, stop);
        testsupport::detail::SendAll(connection.Fd(),
                                     testsupport::HttpResponse(200, {}, FirstFieldValue(request)), stop);
        testsupport::detail::CloseGracefully(connection, stop);
        impl->served.fetch_add(1);
      });
}

FirstFieldEchoServer::~FirstFieldEchoServer() { impl_->loop.reset(); }

std::size_t FirstFieldEchoServer::Served() const { return impl_->served.load(); }

bool FirstFieldEchoServer::WaitUntilServed(std::size_t count, int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Served() < count) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace hardening
