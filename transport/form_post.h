// The post sequence every export runs, and the one rule for reading a
// reply as an integer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/seam.h"

namespace transport {

// Posts `body` as a form to `endpointUrl` with a fresh client at its default
// settings. True when a response arrived (any HTTP status); then `reply`
// holds its decoded body. May throw (std::bad_alloc, pattern failures): the
// export boundary catches.
bool FormPost(const WideString& endpointUrl, const std::string& body, WideString& reply);

// The reply as a 32-bit signed decimal: leading white space skipped, one
// optional sign, digits up to the first non-digit; no digit gives 0; values
// beyond the 32-bit range are clamped.
std::int32_t ReplyToInt(const WideString& reply);

}  // namespace transport
