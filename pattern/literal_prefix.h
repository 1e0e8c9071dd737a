// The literal run every attempt of an unanchored program begins with: the
// program (a Fork to 2 that leaves NextStart behind) goes on with Char
// instructions, so an attempt fails at once, with no other effect,
// wherever the text does not begin with those units. A search skips such
// starts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pattern/pattern_program.h"

namespace pattern {

class LiteralPrefix {
 public:
  // `length` is where the text's terminator lies, or kLengthUnknown.
  LiteralPrefix(const PatternProgram& program, const WideChar* text, std::size_t length);

  // The first position from `from` on where an attempt can succeed, or the
  // terminator's.
  std::size_t NextCandidate(std::size_t from) const;

 private:
  static constexpr std::size_t kMaxWords = 4;

  bool BeginsAt(std::size_t position) const;
  bool WordsBeginAt(std::size_t position) const;
  void HoldAsWords();

  const WideChar* text_;
  std::size_t textLength_;
  const PatternInstruction* units_ = nullptr;  // the prefix's Char instructions
  std::size_t length_ = 0;
  WideChar first_ = 0;           // the prefix's first unit, folded
  WideChar firstOtherCase_ = 0;  // and the other unit that folds to it
  // The prefix as four-unit words, when it fits and the text's end is
  // known: a text unit matches where, with the case bit set for a
  // lower-case letter, it equals the prefix's unit.
  std::size_t words_ = 0;                  // 0: not held as words
  std::uint64_t wordUnits_[kMaxWords] = {};  // zero in the lanes past the prefix
  std::uint64_t caseBits_[kMaxWords] = {};   // the case bit in a lower-case letter's lane
  std::uint64_t lanes_[kMaxWords] = {};      // all ones in the prefix's lanes
};

}  // namespace pattern
