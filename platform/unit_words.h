// Four 16-bit units read as one 64-bit word, for the scans that test them
// together: a long text is looked through a quarter as often.
#pragma once

#include <cstdint>
#include <cstring>

#include "platform/seam.h"

namespace unit_words {

constexpr std::uint64_t kLowBits = 0x0001000100010001u;
constexpr std::uint64_t kHighBits = 0x8000800080008000u;

// The four units from `units` on; all four must lie within the text.
inline std::uint64_t Load(const WideChar* units) {
  std::uint64_t word;
  std::memcpy(&word, units, sizeof word);
  return word;
}

// Some unit of `word` is zero: only a zero unit borrows into its own high
// bit without having it set.
inline bool HasZeroUnit(std::uint64_t word) { return ((word - kLowBits) & ~word & kHighBits) != 0; }

// Some unit of `word` equals `unit`.
inline bool HasUnit(std::uint64_t word, WideChar unit) { return HasZeroUnit(word ^ (kLowBits * unit)); }

}  // namespace unit_words
