#include "answering_server.h"

#include <utility>

#include "accept_loop.h"

namespace testsupport {

using detail::Socket;
using detail::StopFlag;

namespace {
constexpr int kRequestReadMs = 3000;
}

struct AnsweringServer::Impl {
  Answer answer;
  std::unique_ptr<detail::AcceptLoop> loop;  // last: stopped before the rest goes

  void Serve(Socket connection, const StopFlag& stop) {
    const std::string request = detail::ReadRequest(connection.Fd(), kRequestReadMs, stop);
    detail::SendAll(connection.Fd(), answer(request), stop);
    detail::CloseGracefully(connection, stop);
  }
};

AnsweringServer::AnsweringServer(Answer answer, std::uint16_t port) : impl_(std::make_unique<Impl>()) {
  impl_->answer = std::move(answer);
  Impl* impl = impl_.get();
  impl_->loop = std::make_unique<detail::AcceptLoop>(
      port, [impl](Socket connection, const StopFlag& stop) { impl->Serve(std::move(connection), stop); });
}

AnsweringServer::~AnsweringServer() { impl_->loop.reset(); }

std::uint16_t AnsweringServer::Port() const { return impl_->loop->Port(); }

std::size_t AnsweringServer::Served() const { return impl_->loop->Handled(); }

bool AnsweringServer::WaitUntilServed(std::size_t count, int timeoutMs) const {
  return impl_->loop->WaitForHandled(count, timeoutMs);
}

std::string RequestTarget(const std::string& request) {
  const std::size_t start = request.find(' ');
  const std::size_t lineEnd = request.find("\r\n");
  if (start == std::string::npos || start > lineEnd) return {};
  const std::size_t end = request.find(' ', start + 1);
  return request.substr(start + 1, (end < lineEnd ? end : lineEnd) - start - 1);
}

std::string RequestBody(const std::string& request) {
  const std::size_t headEnd = request.find("\r\n\r\n");
  return headEnd == std::string::npos ? std::string() : request.substr(headEnd + 4);
}

}  // namespace testsupport
