// ASCII-only case folding: the engine ignores the case of A to Z and of
// nothing else.
#pragma once

#include "platform/seam.h"

namespace pattern {

inline WideChar FoldAscii(WideChar unit) {
  return (unit >= WTEXT('A') && unit <= WTEXT('Z')) ? static_cast<WideChar>(unit + (WTEXT('a') - WTEXT('A'))) : unit;
}

inline bool EqualIgnoringAsciiCase(const WideString& left, const WideString& right) {
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (FoldAscii(left[i]) != FoldAscii(right[i])) return false;
  }
  return true;
}

}  // namespace pattern
