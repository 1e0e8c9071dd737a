#include "wire_backend.h"

#include <optional>

#include "tls_front.h"

namespace wire {

using testsupport::ScriptedServer;
using testsupport::Step;
using testsupport::StepAction;
using testsupport::TestCertificate;
using testsupport::TlsFront;

namespace {

// Over TLS the table's exchanges run as they stand; what happens at the
// connection itself is the plain table's business.
std::string WhyNotOverTls(const WireCase& c) {
  if (!c.script) return "nothing listens: the same over either scheme";
  for (const Step& step : c.script())
    if (step.action != StepAction::Respond) return "closes, resets and stalls are the plain table's";
  return "";
}

}  // namespace

std::string WireBackend::CannotRun(const WireCase& c) const {
  if (OverTls()) return WhyNotOverTls(c);
  return c.certificate == TestCertificate::Localhost ? "" : "a certificate is the TLS table's business";
}

Observed WireBackend::Run(const WireCase& c) {
  std::vector<Step> steps;
  std::optional<ScriptedServer> server;
  std::optional<TlsFront> front;
  if (c.script) {
    steps = c.script();
    server.emplace(steps, OverTls() ? 0 : PortOf(c.call.service));
    if (OverTls()) front.emplace(c.certificate, server->Port(), PortOf(c.call.service));
  }
  Observed seen;
  seen.resultLine = Call(c.call.line, c.PatienceMs());
  for (const LaterCall& later : c.later) seen.laterLines.push_back(Call(later.call.line, c.PatienceMs()));
  if (server) seen.requests = server->Requests();
  for (std::size_t i = 0; i < seen.requests.size(); ++i) {
    seen.dropped.push_back(steps[std::min(i, steps.size() - 1)].action == StepAction::CloseAtOnce);
  }
  return seen;
}

}  // namespace wire
