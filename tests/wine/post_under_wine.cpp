// The stalled-server cases against the client built for Windows, run under
// Wine. Wine applies the receive-response time-out to each read of the
// head, not to the whole head as WinHTTP documents it, so there a head
// trickled slowly enough is bounded only by the check after it.
#include <cstdio>
#include <string>

#include "client_post.h"
#include "wine_caller.h"

namespace hardening {

const bool kPlatformBoundsWholeHead = false;

ClientOutcome PostUnderTest(std::uint16_t port, const ClientTimeouts& timeouts) {
  const winetest::ProcessResult run = winetest::RunUnderWine(
      {KT_CLIENT_CALLER, std::to_string(port), std::to_string(timeouts.connectMs), std::to_string(timeouts.sendMs),
       std::to_string(timeouts.receiveMs)});
  ClientOutcome outcome;
  int sent = 0;
  unsigned long error = 0;
  long ms = -1;
  char reply[256] = {};
  if (run.exitCode != 0 ||
      std::sscanf(run.output.c_str(), "sent=%d error=%lu ms=%ld reply=%255s", &sent, &error, &ms, reply) < 3) {
    outcome.failure = "caller exit " + std::to_string(run.exitCode) + ", output: " + run.output;
    return outcome;
  }
  outcome.sent = sent == 1;
  outcome.lastError = static_cast<std::uint32_t>(error);
  outcome.elapsedMs = ms;
  outcome.reply = reply;
  return outcome;
}

}  // namespace hardening
