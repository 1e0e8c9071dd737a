// Small wide-text helpers shared by the transport pieces.
#pragma once

#include <algorithm>
#include <cstddef>

#include "platform/seam.h"

namespace transport {

inline WideChar AsciiLower(WideChar c) {
  return (c >= WTEXT('A') && c <= WTEXT('Z')) ? static_cast<WideChar>(c + (WTEXT('a') - WTEXT('A'))) : c;
}

inline WideChar AsciiUpper(WideChar c) {
  return (c >= WTEXT('a') && c <= WTEXT('z')) ? static_cast<WideChar>(c - (WTEXT('a') - WTEXT('A'))) : c;
}

// True when the first `count` units of `text` equal `lowerAscii` (given in
// lower case) with ASCII letters compared without regard to case.
inline bool StartsWithIgnoringCase(const WideString& text, const WideChar* lowerAscii, std::size_t count) {
  if (text.size() < count) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (AsciiLower(text[i]) != lowerAscii[i]) return false;
  }
  return true;
}

inline bool EqualsIgnoringCase(const WideString& text, const WideString& lowerAscii) {
  return text.size() == lowerAscii.size() && StartsWithIgnoringCase(text, lowerAscii.c_str(), lowerAscii.size());
}

// Where `lowerAscii` (given in lower case) first occurs in `text`, with
// ASCII letters compared without regard to case; npos when nowhere.
inline std::size_t FindIgnoringCase(const WideString& text, const WideChar* lowerAscii) {
  std::size_t length = 0;
  while (lowerAscii[length] != 0) ++length;
  if (length == 0) return 0;
  if (text.size() < length) return WideString::npos;
  const WideChar first = lowerAscii[0];
  const WideChar firstUpper = AsciiUpper(first);
  for (std::size_t at = 0; at + length <= text.size(); ++at) {
    if (text[at] != first && text[at] != firstUpper) continue;
    std::size_t matched = 1;
    while (matched < length && AsciiLower(text[at + matched]) == lowerAscii[matched]) ++matched;
    if (matched == length) return at;
  }
  return WideString::npos;
}

// The text of a buffer of `units` units, up to its first zero (or all of it).
inline WideString TextUpToZero(const WideChar* buffer, std::size_t units) {
  return WideString(buffer, std::find(buffer, buffer + units, WideChar(0)));
}

}  // namespace transport
