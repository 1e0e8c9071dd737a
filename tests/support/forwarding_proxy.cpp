#include <cstdlib>
#include <mutex>
#include <utility>

#include "accept_loop.h"
#include "loopback_server.h"

namespace testsupport {

using detail::Socket;
using detail::StopFlag;

namespace {

constexpr int kRequestReadMs = 3000;
constexpr int kUpstreamMs = 5000;

struct AbsoluteTarget {
  bool valid = false;
  std::string host;
  std::uint16_t port = 80;
  std::string originForm;  // the request with "/path" in place of the URL
};

bool IsLoopbackHost(const std::string& host) {
  return host == "localhost" || host == "[::1]" || host.rfind("127.", 0) == 0;
}

// "VERB http://host[:port][/path] VERSION\r\n..." taken apart.
AbsoluteTarget ParseAbsoluteForm(const std::string& request) {
  AbsoluteTarget target;
  const std::string scheme = "http://";
  std::size_t verbEnd = request.find(' ');
  if (verbEnd == std::string::npos || request.compare(verbEnd + 1, scheme.size(), scheme) != 0)
    return target;
  std::size_t authority = verbEnd + 1 + scheme.size();
  std::size_t urlEnd = request.find(' ', authority);
  if (urlEnd == std::string::npos) return target;
  std::size_t pathStart = request.find('/', authority);
  if (pathStart == std::string::npos || pathStart > urlEnd) pathStart = urlEnd;
  std::string hostPort = request.substr(authority, pathStart - authority);
  std::size_t colon = hostPort.rfind(':');
  if (colon != std::string::npos && hostPort.find(']', colon) == std::string::npos) {
    target.port = static_cast<std::uint16_t>(std::strtoul(hostPort.c_str() + colon + 1, nullptr, 10));
    hostPort.resize(colon);
  }
  target.host = hostPort;
  std::string path = pathStart == urlEnd ? "/" : request.substr(pathStart, urlEnd - pathStart);
  target.originForm = request.substr(0, verbEnd + 1) + path + request.substr(urlEnd);
  target.valid = !target.host.empty();
  return target;
}

std::string ErrorReply(int status) {
  return HttpResponse(status, {{"Connection", "close"}}, "");
}

}  // namespace

struct ForwardingProxy::Impl {
  std::uint16_t upstreamPort = 0;
  mutable std::mutex mutex;
  std::vector<std::string> requests;  // guarded by mutex
  std::unique_ptr<detail::AcceptLoop> loop;

  void Serve(Socket client, const StopFlag& stop) {
    std::string request = detail::ReadRequest(client.Fd(), kRequestReadMs, stop);
    {
      std::lock_guard<std::mutex> lock(mutex);
      requests.push_back(request);
    }
    detail::SendAll(client.Fd(), Forward(request, stop), stop);
    detail::CloseGracefully(client, stop);
  }

  std::string Forward(const std::string& request, const StopFlag& stop) const {
    AbsoluteTarget target = ParseAbsoluteForm(request);
    if (!target.valid) return ErrorReply(400);
    if (upstreamPort == 0 && !IsLoopbackHost(target.host)) return ErrorReply(502);
    Socket upstream = detail::ConnectToLoopback(upstreamPort != 0 ? upstreamPort : target.port, 2000);
    if (!upstream.Valid() || !detail::SendAll(upstream.Fd(), target.originForm, stop))
      return ErrorReply(502);
    return detail::ReadUntilClosed(upstream.Fd(), kUpstreamMs, stop);
  }
};

ForwardingProxy::ForwardingProxy(std::uint16_t upstreamPort) : impl_(std::make_unique<Impl>()) {
  impl_->upstreamPort = upstreamPort;
  Impl* impl = impl_.get();
  impl_->loop = std::make_unique<detail::AcceptLoop>(
      0, [impl](Socket client, const StopFlag& stop) { impl->Serve(std::move(client), stop); });
}

ForwardingProxy::~ForwardingProxy() { impl_->loop.reset(); }

std::uint16_t ForwardingProxy::Port() const { return impl_->loop->Port(); }

std::vector<std::string> ForwardingProxy::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

std::vector<std::string> ForwardingProxy::RequestLines() const {
  std::vector<std::string> lines;
  for (const std::string& request : Requests()) lines.push_back(request.substr(0, request.find("\r\n")));
  return lines;
}

std::size_t ForwardingProxy::ConnectionCount() const { return impl_->loop->Accepted(); }

}  // namespace testsupport
