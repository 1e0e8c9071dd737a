// The stalled-server cases against the client over the Linux layer, which
// bounds the whole response head as WinHTTP documents the option.
#include <chrono>
#include <string>

#include "call_dispatch.h"
#include "post_under_test.h"

namespace hardening {

const bool kPlatformBoundsWholeHead = true;
const std::uint32_t kPlatformWaitTimeoutError = 12002;
const std::uint32_t kPlatformHandshakeTimeoutError = 12002;
const bool kPlatformReadsTrailer = true;

ClientOutcome PostUnderTest(std::uint16_t port, const ClientTimeouts& timeouts, bool secure) {
  const std::string url = StallUrl(port, secure);
  std::int32_t lastError = 0;
  char reply[256] = {};
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t sent = dllcaller::ClientPost(url.c_str(), timeouts.connectMs, timeouts.sendMs,
                                                  timeouts.receiveMs, "a=1", &lastError, reply);
  ClientOutcome outcome;
  outcome.elapsedMs = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  outcome.sent = sent == 1;
  outcome.lastError = static_cast<std::uint32_t>(lastError);
  outcome.reply = reply;
  return outcome;
}

}  // namespace hardening
