#include <algorithm>
#include <mutex>
#include <utility>

#include "accept_loop.h"
#include "loopback_server.h"

namespace testsupport {

using detail::Socket;
using detail::StopFlag;

namespace {
constexpr int kRequestReadMs = 3000;
constexpr int kResetAfterMs = 200;
}

Step Step::Respond(std::string bytes) {
  Step step;
  step.bytes = std::move(bytes);
  return step;
}

Step Step::RespondLate(std::string bytes, int delayMs) {
  Step step = Respond(std::move(bytes));
  step.answerDelayMs = delayMs;
  return step;
}

Step Step::RespondTo(std::function<std::string(const std::string& request)> answerFor, std::string stray,
                     int strayDelayMs) {
  Step step;
  step.answerFor = std::move(answerFor);
  step.stray = std::move(stray);
  step.strayDelayMs = strayDelayMs;
  return step;
}

Step Step::Trickle(std::string bytes, std::size_t pieceBytes, int pieceDelayMs, std::size_t leadBytes) {
  Step step;
  step.action = StepAction::Trickle;
  step.bytes = std::move(bytes);
  step.pieceBytes = std::max<std::size_t>(1, pieceBytes);
  step.pieceDelayMs = pieceDelayMs;
  step.leadBytes = std::min(leadBytes, step.bytes.size());
  return step;
}

Step Step::TrickleFirst(std::string bytes, std::size_t pieceBytes, int pieceDelayMs) {
  Step step = Trickle(std::move(bytes), pieceBytes, pieceDelayMs);
  step.action = StepAction::TrickleFirst;
  return step;
}

Step Step::CloseAtOnce() {
  Step step;
  step.action = StepAction::CloseAtOnce;
  return step;
}

Step Step::Hold() {
  Step step;
  step.action = StepAction::Hold;
  return step;
}

Step Step::SendThenReset(std::string bytes) {
  Step step;
  step.action = StepAction::SendThenReset;
  step.bytes = std::move(bytes);
  return step;
}

struct ScriptedServer::Impl {
  std::vector<Step> script;
  mutable std::mutex mutex;
  std::vector<std::string> requests;  // guarded by mutex
  std::vector<Socket> held;           // touched only by the server thread, then the destructor
  std::unique_ptr<detail::AcceptLoop> loop;  // last: stopped before the rest goes

  const Step& StepFor(std::size_t connection) const {
    return script[std::min(connection, script.size() - 1)];
  }

  void Record(std::string request) {
    std::lock_guard<std::mutex> lock(mutex);
    requests.push_back(std::move(request));
  }

  void Serve(Socket connection, const StopFlag& stop, std::size_t index) {
    const Step& step = StepFor(index);
    if (step.action == StepAction::CloseAtOnce) {
      Record("");
      return;
    }
    if (step.action == StepAction::TrickleFirst) {
      Record("");
      TrickleOut(connection, step, stop);
      detail::CloseGracefully(connection, stop);
      return;
    }
    const std::string request = detail::ReadRequest(connection.Fd(), kRequestReadMs, stop);
    Record(request);
    switch (step.action) {
      case StepAction::Respond:
        RespondOn(connection, step, request, stop);
        detail::CloseGracefully(connection, stop);
        break;
      case StepAction::Trickle:
        TrickleOut(connection, step, stop);
        detail::CloseGracefully(connection, stop);
        break;
      case StepAction::Hold:
        held.push_back(std::move(connection));
        break;
      case StepAction::SendThenReset:
        // The pause lets the client take in what was sent: a reset that
        // overtakes the bytes discards them, and the cut is not seen.
        if (detail::SendAll(connection.Fd(), step.bytes, stop)) detail::SleepUnlessStopped(kResetAfterMs, stop);
        detail::CloseWithReset(connection);
        break;
      case StepAction::CloseAtOnce:
      case StepAction::TrickleFirst:
        break;
    }
  }

  static void RespondOn(Socket& connection, const Step& step, const std::string& request, const StopFlag& stop) {
    if (!detail::SleepUnlessStopped(step.answerDelayMs, stop)) return;
    if (!detail::SendAll(connection.Fd(), step.answerFor ? step.answerFor(request) : step.bytes, stop)) return;
    if (step.stray.empty() || !detail::SleepUnlessStopped(step.strayDelayMs, stop)) return;
    detail::SendAll(connection.Fd(), step.stray, stop);
  }

  static void TrickleOut(Socket& connection, const Step& step, const StopFlag& stop) {
    if (!detail::SendAll(connection.Fd(), step.bytes.substr(0, step.leadBytes), stop)) return;
    for (std::size_t at = step.leadBytes; at < step.bytes.size(); at += step.pieceBytes) {
      if (at > 0 && !detail::SleepUnlessStopped(step.pieceDelayMs, stop)) return;
      if (!detail::SendAll(connection.Fd(), step.bytes.substr(at, step.pieceBytes), stop)) return;
    }
  }
};

ScriptedServer::ScriptedServer(std::vector<Step> script, std::uint16_t port)
    : impl_(std::make_unique<Impl>()) {
  impl_->script = script.empty() ? std::vector<Step>{Step::CloseAtOnce()} : std::move(script);
  Impl* impl = impl_.get();
  std::size_t next = 0;
  impl_->loop = std::make_unique<detail::AcceptLoop>(
      port, [impl, next](Socket connection, const StopFlag& stop) mutable {
        impl->Serve(std::move(connection), stop, next++);
      });
}

ScriptedServer::~ScriptedServer() { impl_->loop.reset(); }

std::uint16_t ScriptedServer::Port() const { return impl_->loop->Port(); }

std::string ScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(Port()) + path;
}

std::vector<std::string> ScriptedServer::Requests() const {
  std::lock_guard<std::mutex> lock(impl_->mutex);
  return impl_->requests;
}

std::size_t ScriptedServer::ConnectionCount() const { return impl_->loop->Accepted(); }

bool ScriptedServer::WaitForHandled(std::size_t count, int timeoutMs) const {
  return impl_->loop->WaitForHandled(count, timeoutMs);
}

}  // namespace testsupport
