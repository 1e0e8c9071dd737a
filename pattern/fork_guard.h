// What the machine may skip at a Fork. The target of a Fork is explored
// once, symbolically, on the assumption that every unit test it meets
// fails: if that exploration comes back to the Fork's pushed entry with
// the position and the stack as they were, then at any unit that none of
// those tests accepts, running the target changes nothing but the writes
// it leaves behind, which are all "this place := the position". The
// machine then does those writes and goes on after the Fork at once.
// Anything the exploration cannot follow for sure makes the Fork unguarded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pattern/pattern_program.h"
#include "platform/seam.h"

namespace pattern {

// A place of the match state that an instruction can write.
struct StatePlace {
  enum class Kind : std::uint8_t { Slot, GroupStart, GroupEnd };
  Kind kind;
  std::uint32_t number;  // below the program's slot or group count
};

class ForkGuard {
 public:
  static constexpr std::size_t kMaxWrites = 4;

  // Guards read the unit at the position, which is sure to lie within the
  // text only in programs that never match the terminator (no `$`).
  static bool Applies(const PatternProgram& program);

  // Explores the target of the Fork at `fork`; an unguarded result when
  // the exploration cannot be followed to its end.
  static ForkGuard Explore(const PatternProgram& program, std::size_t fork);

  // True when the target surely fails back at `unit` (the unit at the
  // position, possibly the terminator).
  bool Skips(WideChar unit) const {
    if (unit >= 128) return !nonAsciiMayPass_;
    return ((accepted_[unit >> 6] >> (unit & 63)) & 1) == 0;
  }
  // Where a lazy loop over `.` guarded by this stops skipping: the first
  // place from `position` on that holds the terminator or is followed by
  // a unit the guard does not skip. Only for a guarded Fork.
  std::size_t SkipsFrom(const WideChar* text, std::size_t position) const {
    if (text[position] == 0) return position;
    // The terminator stops the walk too, so the loop reads only the next
    // unit; four go per turn, each tested before the one after is read.
    const std::uint64_t low = accepted_[0] | 1, high = accepted_[1];
    const bool nonAscii = nonAsciiMayPass_;
    const auto stops = [&](WideChar unit) {
      return unit >= 128 ? nonAscii : (((unit < 64 ? low : high) >> (unit & 63)) & 1) != 0;
    };
    for (;; position += 4) {
      if (stops(text[position + 1])) break;
      if (stops(text[position + 2])) return AfterSkip(text, position + 1);
      if (stops(text[position + 3])) return AfterSkip(text, position + 2);
      if (stops(text[position + 4])) return AfterSkip(text, position + 3);
    }
    return AfterSkip(text, position);
  }
  // The same walk over a text whose terminator is at `end` (and no zero
  // before it): when every unit the guard stops at is ASCII, four units at
  // a time that all lie above the highest of them are passed over at once.
  std::size_t SkipsUntil(const WideChar* text, std::size_t position, std::size_t end) const;
  bool explored() const { return state_ != State::Unexplored; }
  // The Fork heads a lazy loop over one unit test (code_layout.h): an
  // iteration it skips only moves one unit on.
  bool headsLazyUnitLoop() const { return lazyUnitLoop_; }
  std::size_t loopTest() const { return loopTest_; }  // that loop's unit test
  std::size_t writeCount() const { return writeCount_; }
  const StatePlace& write(std::size_t i) const { return writes_[i]; }

 private:
  friend class ForkExploration;

  // The walk stopped at `position`: the next unit is one the guard accepts,
  // or the terminator, which ends the walk on itself unless accepted.
  std::size_t AfterSkip(const WideChar* text, std::size_t position) const {
    return text[position + 1] == 0 && (accepted_[0] & 1) == 0 ? position + 1 : position;
  }

  enum class State : std::uint8_t { Unexplored, Unguarded, Guarded };

  State state_ = State::Unexplored;
  // Units below 128 some test may accept, and whether others may pass:
  // all of them until the Fork is found guarded, so that nothing is skipped.
  std::uint64_t accepted_[2] = {~std::uint64_t{0}, ~std::uint64_t{0}};
  bool nonAsciiMayPass_ = true;
  bool lazyUnitLoop_ = false;
  std::size_t loopTest_ = 0;
  std::size_t writeCount_ = 0;
  StatePlace writes_[kMaxWrites] = {};
  WideChar highestStop_ = 0;  // the highest unit below 128 some test may accept
};

}  // namespace pattern
