// ASCII-only case folding, written once for the whole system: the engine
// and the header reading ignore the case of A to Z and of nothing else.
#pragma once

#include <cstdint>

#include "platform/seam.h"
#include "platform/unit_words.h"

namespace pattern {

// The bit in which the two cases of an ASCII letter differ.
constexpr WideChar kAsciiCaseBit = 0x20;
// That bit in each of the four 16-bit units of a word.
constexpr std::uint64_t kAsciiCaseBits = unit_words::kLowBits * kAsciiCaseBit;

inline bool IsAsciiUpper(WideChar unit) { return unit >= WTEXT('A') && unit <= WTEXT('Z'); }
inline bool IsAsciiLower(WideChar unit) { return unit >= WTEXT('a') && unit <= WTEXT('z'); }

// A to Z become a to z; every other unit stays.
inline WideChar FoldAscii(WideChar unit) {
  return IsAsciiUpper(unit) ? static_cast<WideChar>(unit | kAsciiCaseBit) : unit;
}

// The other unit that folds to `folded` (a folded unit): the upper-case
// form of a lower-case letter, else the unit itself.
inline WideChar OtherAsciiCase(WideChar folded) {
  return IsAsciiLower(folded) ? static_cast<WideChar>(folded & ~kAsciiCaseBit) : folded;
}

// A cheap fold that merges the two cases of every letter, but some other
// pairs too ('@' and '`', '[' and '{'): a filter before FoldAscii decides,
// or a hash under which case-blind equal texts agree.
inline WideChar FoldLoosely(WideChar unit) { return static_cast<WideChar>(unit | kAsciiCaseBit); }

}  // namespace pattern
