// Small wide-text helpers shared by the transport pieces.
#pragma once

#include <cstddef>
#include <new>

#include "pattern/text_fold.h"
#include "platform/memory.h"
#include "platform/seam.h"
#include "platform/unit_words.h"

namespace transport {

// The engine's fold (A to Z become a to z), under the transport's name.
inline WideChar AsciiLower(WideChar c) { return pattern::FoldAscii(c); }

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

// Room for `units` zero units, asked of the allocator seam's gate like
// every other block of the exchange, so that a test can refuse it too.
inline bool AllocateText(WideString& text, std::size_t units) {
  if (!memory::GateAllows()) return false;
  try {
    text.resize(units);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// How many of the `units` units of `buffer` come before its first zero
// (all of them when none is zero). Four units are tested at a time: a
// large response head is scanned often.
inline std::size_t UnitsBeforeZero(const WideChar* buffer, std::size_t units) {
  std::size_t at = 0;
  while (units - at >= 4 && !unit_words::HasZeroUnit(unit_words::Load(buffer + at))) at += 4;
  while (at < units && buffer[at] != 0) ++at;
  return at;
}

// The text of a buffer of `units` units, up to its first zero (or all of it).
inline WideString TextUpToZero(const WideChar* buffer, std::size_t units) {
  return WideString(buffer, UnitsBeforeZero(buffer, units));
}

}  // namespace transport
