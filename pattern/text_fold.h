// ASCII-only case folding: the engine ignores the case of A to Z and of
// nothing else.
#pragma once

#include "platform/seam.h"

namespace pattern {

inline WideChar FoldAscii(WideChar unit) {
  return (unit >= WTEXT('A') && unit <= WTEXT('Z')) ? static_cast<WideChar>(unit + (WTEXT('a') - WTEXT('A'))) : unit;
}

}  // namespace pattern
