// Reads a reply as a 32-bit signed decimal, clamping on every platform
// (long is 64-bit on some, so the C conversions do not clamp alike).
#include <cstdint>
#include <limits>

#include "transport/form_post.h"

namespace transport {
namespace {

bool IsSpace(WideChar c) { return c == WTEXT(' ') || (c >= WTEXT('\t') && c <= WTEXT('\r')); }
bool IsDigit(WideChar c) { return c >= WTEXT('0') && c <= WTEXT('9'); }

}  // namespace

std::int32_t ReplyToInt(const WideString& reply) {
  std::size_t at = 0;
  while (at < reply.size() && IsSpace(reply[at])) ++at;
  bool negative = false;
  if (at < reply.size() && (reply[at] == WTEXT('+') || reply[at] == WTEXT('-'))) {
    negative = reply[at] == WTEXT('-');
    ++at;
  }
  // Magnitude up to one past the int32 maximum, enough for either limit.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; at < reply.size() && IsDigit(reply[at]); ++at) {
    magnitude = magnitude * 10 + (reply[at] - WTEXT('0'));
    if (magnitude > kLimit) magnitude = kLimit;
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return static_cast<std::int32_t>(magnitude == kLimit ? kLimit - 1 : magnitude);
}

}  // namespace transport
