// The backslash abbreviations: a key letter and the pattern text compiled
// in its place.
#pragma once

#include "platform/seam.h"

namespace pattern {

// The body for `key`, or nullptr when `key` names no abbreviation.
const WideChar* FindAbbreviation(WideChar key);

}  // namespace pattern
