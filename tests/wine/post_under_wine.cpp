// The stalled-server cases against the client built for Windows, run under
// Wine. Wine 8 applies the receive-response time-out to each read of the
// head, not to the whole head as WinHTTP documents it, so there a head
// trickled in short steps is ended only by the deadline check after it;
// and its waits that run into their time-out fail with WSAETIMEDOUT, where
// WinHTTP reports ERROR_WINHTTP_TIMEOUT. A retry after such a time-out
// reaches the server on the connection that timed out, not a new one.
#include <cstdio>
#include <string>

#include "client_post.h"
#include "wine_caller.h"

namespace hardening {

const bool kPlatformBoundsWholeHead = false;
const bool kPlatformRetriesOnANewConnection = false;
const std::uint32_t kPlatformWaitTimeoutError = 10060;

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
