// The post sequence every export runs, and the one rule for reading a
// reply as an integer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/seam.h"

namespace transport {

// What a post that did not end in a 2xx reply tells of itself, for the
// caller's last-error value and the debug channel. A 2xx reply leaves it
// as it was, so the fast path copies nothing.
struct PostReport {
  bool filled = false;
  std::uint32_t lastError = 0;  // never 0 after a post without a reply
  int attempts = 0;
  std::uint64_t elapsedMs = 0;
  WideString status;  // of the reply; empty when none arrived
  WideString proxy;   // the proxy a request went through; empty for none
};

// Posts `body` as a form to `endpointUrl` with a fresh client at its default
// settings. True when a response arrived (any HTTP status); then `reply`
// holds its decoded body. `report`, when given, is filled unless the reply
// had a 2xx status. May throw (std::bad_alloc, pattern failures): the
// export boundary catches.
bool FormPost(const WideString& endpointUrl, const std::string& body, WideString& reply,
              PostReport* report = nullptr);

// The reply as a 32-bit signed decimal: leading white space skipped, one
// optional sign, digits up to the first non-digit; no digit gives 0; values
// beyond the 32-bit range are clamped.
std::int32_t ReplyToInt(const WideString& reply);

}  // namespace transport
