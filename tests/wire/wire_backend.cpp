#include "wire_backend.h"

#include <optional>

namespace wire {

using testsupport::ScriptedServer;
using testsupport::Step;
using testsupport::StepAction;

Observed WireBackend::Run(const WireCase& c) {
  std::vector<Step> steps;
  std::optional<ScriptedServer> server;
  if (c.script) {
    steps = c.script();
    server.emplace(steps, PortOf(c.call.service));
  }
  Observed seen;
  seen.resultLine = Call(c.call.line, c.PatienceMs());
  if (server) seen.requests = server->Requests();
  for (std::size_t i = 0; i < seen.requests.size(); ++i) {
    seen.dropped.push_back(steps[std::min(i, steps.size() - 1)].action == StepAction::CloseAtOnce);
  }
  return seen;
}

}  // namespace wire
