// The stalled-server cases against the client built for Windows, run under
// Wine through the caller's ClientPost line. Wine 8 applies the
// receive-response time-out to each read of the head, not to the whole
// head as WinHTTP documents it, so there a head trickled in short steps is
// ended only by the deadline check after it; its waits that run into their
// time-out fail with WSAETIMEDOUT, where WinHTTP reports
// ERROR_WINHTTP_TIMEOUT, and a TLS handshake that does fails as any other
// failed handshake. Wine 8 reads no trailer of a chunked body: the body
// ends with its last chunk.
#include <string>

#include "call_line.h"
#include "post_under_test.h"
#include "wine_caller.h"

namespace hardening {

const bool kPlatformBoundsWholeHead = false;
const std::uint32_t kPlatformWaitTimeoutError = 10060;
const std::uint32_t kPlatformHandshakeTimeoutError = 12157;
const bool kPlatformReadsTrailer = false;

ClientOutcome PostUnderTest(std::uint16_t port, const ClientTimeouts& timeouts, bool secure) {
  static winetest::WineCaller caller;
  using dllcaller::IntArg;
  const std::string line = dllcaller::Line(
      "ClientPost", {dllcaller::TextArg(StallUrl(port, secure)),
                     IntArg(timeouts.connectMs), IntArg(timeouts.sendMs), IntArg(timeouts.receiveMs),
                     dllcaller::TextArg("a=1"), "r", dllcaller::BufferArg(256, 0)});
  const std::string answer = caller.Ask(line);
  dllcaller::CallResult result;
  ClientOutcome outcome;
  if (!dllcaller::ParseResultLine(answer, result) || result.results.size() != 1 || result.buffers.size() != 1) {
    outcome.failure = "caller answered: " + answer;
    return outcome;
  }
  outcome.sent = result.ret == 1;
  outcome.lastError = static_cast<std::uint32_t>(result.results[0]);
  outcome.elapsedMs = result.ms;
  outcome.reply = result.buffers[0].c_str();
  return outcome;
}

}  // namespace hardening
