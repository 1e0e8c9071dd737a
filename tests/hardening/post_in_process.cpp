// The stalled-server cases against the client over the Linux layer, which
// bounds the whole response head as WinHTTP documents the option.
#include "client_post.h"

namespace hardening {

const bool kPlatformBoundsWholeHead = true;
const bool kPlatformRetriesOnANewConnection = true;
const std::uint32_t kPlatformWaitTimeoutError = 12002;

ClientOutcome PostUnderTest(std::uint16_t port, const ClientTimeouts& timeouts) {
  return PostThroughClient(port, timeouts);
}

}  // namespace hardening
