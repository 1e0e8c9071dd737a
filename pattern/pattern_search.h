// The pattern search: the one entry into the pattern engine for the rest
// of the system.
#pragma once

#include <cstddef>
#include <limits>
#include <vector>

#include "platform/seam.h"

namespace pattern {

constexpr std::size_t kNoLimit = std::numeric_limits<std::size_t>::max();

// Where one capture lies in the searched text: units [start, end).
struct CaptureSpan {
  std::size_t start;
  std::size_t end;
};

// Collects the text of capture group 0 of every successive match of
// `pattern` over `text` (zero-terminated), once each when compared without
// regard to ASCII case, in order of first occurrence. `results` is emptied
// first. The search stops once `limit` values are collected: a caller that
// takes only the first value need not walk the rest of the text. False for
// an empty pattern or text, or one that does not compile. Internal
// failures raise PatternFailure.
bool FindPatternGroups(const WideChar* pattern, const WideChar* text, std::vector<WideString>& results,
                       std::size_t limit = kNoLimit);

// The same search, giving the captures' places in `text` instead of
// copies: a caller that only joins many values need not hold each one as
// a string of its own. A caller that knows the text's length (where its
// first zero is) may pass it, and a long search then reads ahead faster.
constexpr std::size_t kLengthUnknown = std::numeric_limits<std::size_t>::max();
bool FindPatternSpans(const WideChar* pattern, const WideChar* text, std::vector<CaptureSpan>& spans,
                      std::size_t limit = kNoLimit, std::size_t length = kLengthUnknown);

}  // namespace pattern
