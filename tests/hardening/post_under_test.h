// One form post through the transport client with short time-outs, as the
// stalled-server table runs it: in this process over the Linux layer, or
// in the Windows build's caller under Wine. Timed by the client's side.
#pragma once

#include <cstdint>
#include <string>

namespace hardening {

struct ClientTimeouts {
  int connectMs;
  int sendMs;
  int receiveMs;
};

struct ClientOutcome {
  bool sent = false;
  std::uint32_t lastError = 0;
  std::string reply;  // the decoded reply, ASCII
  long elapsedMs = -1;
  std::string failure;  // why the post could not be run at all
};

// Posts "a=1" to http://127.0.0.1:port/stall (https when `secure`, with
// the certificate checks off).
ClientOutcome PostUnderTest(std::uint16_t port, const ClientTimeouts& timeouts, bool secure);
// The URL that posts to.
inline std::string StallUrl(std::uint16_t port, bool secure) {
  return (secure ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port) + "/stall";
}
// Whether that platform bounds the whole wait for a response head by the
// request's receive-response time-out, or only each read within it.
extern const bool kPlatformBoundsWholeHead;
// The error the platform reports for a wait that ran into its time-out.
extern const std::uint32_t kPlatformWaitTimeoutError;
// ... and for a TLS handshake that did.
extern const std::uint32_t kPlatformHandshakeTimeoutError;
// Whether the platform reads a chunked body's trailer before it reports
// the end of the body.
extern const bool kPlatformReadsTrailer;

}  // namespace hardening
