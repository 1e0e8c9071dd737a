// The state and result of one Match call, reusable for many calls: the
// backtrack stack's storage survives from one call to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "pattern/fork_guard.h"
#include "pattern/owned_array.h"
#include "pattern/pattern_failure.h"

namespace pattern {

constexpr std::size_t kUnsetPosition = std::numeric_limits<std::size_t>::max();

struct GroupSpan {
  std::size_t start = kUnsetPosition;
  std::size_t end = kUnsetPosition;
  bool IsSet() const { return start != kUnsetPosition && end != kUnsetPosition; }
};

// The literal run every attempt of a search's program starts with (see
// PatternMatcher), measured once: its length and, when it fits, its units
// as four-unit words. A unit of the text matches the prefix's where, with
// the case bit set for a lower-case letter, it equals the prefix's unit.
struct LiteralPrefix {
  static constexpr std::size_t kMaxWords = 4;
  std::size_t length = kUnsetPosition;
  std::size_t words = 0;                   // 0: not held as words
  std::uint64_t units[kMaxWords] = {};     // zero in the lanes past the prefix
  std::uint64_t caseBits[kMaxWords] = {};  // 0x20 in a lower-case letter's lane
  std::uint64_t lanes[kMaxWords] = {};     // all ones in the prefix's lanes
};

class MatchContext {
 public:
  // Positions are indexes into the text handed to Match.
  std::int32_t groupCount() const { return groupCount_; }
  std::size_t matchStart() const { return matchStart_; }
  std::size_t matchEnd() const { return matchEnd_; }
  // Raises PatternFailure(E_INVALIDARG) for a group outside the program.
  const GroupSpan& group(std::size_t index) const {
    if (index >= static_cast<std::size_t>(groupCount_)) throw PatternFailure(E_INVALIDARG);
    return groups_[index];
  }

  // Room for `entries` stack entries before the first push; false if the
  // allocator refuses (the stack then grows on demand).
  bool ReserveStack(std::size_t entries);
  std::size_t stackCapacity() const { return stack_.capacity(); }

  // For a caller that runs one program, unchanged, over and over on this
  // context (the search): the machine learns which Fork targets it may
  // skip, and keeps what it learnt from one call to the next. Any other
  // program runs without guards.
  void KeepForkGuardsFor(const PatternProgram* program) {
    keptFor_ = program;
    guardsFor_ = nullptr;
    keptPrefix_ = LiteralPrefix{};
  }
  // Where the searched text's terminator is, for a caller that knows it
  // (and knows that no zero comes before it): every text handed to Match
  // must then end there. Lets the machine read ahead a few units at once.
  void SetTextEnd(const WideChar* end) { textEnd_ = end; }

 private:
  friend class PatternMatcher;

  // Run before every match, so kept short: a search's program has a
  // group or two and a few slots.
  bool Reset(std::int32_t groupCount, std::int32_t slotCount) {
    groupCount_ = 0;
    slotCount_ = 0;
    depth_ = 0;
    matchStart_ = kUnsetPosition;
    matchEnd_ = kUnsetPosition;
    const std::size_t groups = static_cast<std::size_t>(groupCount);
    const std::size_t slots = static_cast<std::size_t>(slotCount);
    if (!groups_.Reserve(groups, 0) || !slots_.Reserve(slots, 0)) return false;
    GroupSpan* const spans = groups_.data();
    std::size_t* const places = slots_.data();
    for (std::size_t i = 0; i < groups; ++i) spans[i] = GroupSpan{};
    for (std::size_t i = 0; i < slots; ++i) places[i] = 0;
    groupCount_ = groupCount;
    slotCount_ = slotCount;
    return true;
  }
  bool GrowStack();
  // One guard per instruction, explored as the Forks are reached; nullptr
  // when guards do not apply or their storage cannot be had.
  ForkGuard* ForkGuardsFor(const PatternProgram& program);

  std::int32_t groupCount_ = 0;
  std::int32_t slotCount_ = 0;
  std::size_t matchStart_ = kUnsetPosition;
  std::size_t matchEnd_ = kUnsetPosition;
  OwnedArray<std::size_t> slots_;
  OwnedArray<GroupSpan> groups_;
  OwnedArray<std::size_t> stack_;  // entries at places 1..depth_; place 0 unused
  std::size_t depth_ = 0;
  OwnedArray<ForkGuard> forkGuards_;
  const PatternProgram* keptFor_ = nullptr;
  const PatternProgram* guardsFor_ = nullptr;  // whose guards forkGuards_ holds
  const WideChar* textEnd_ = nullptr;          // unknown when null
  LiteralPrefix keptPrefix_;  // the kept program's, once measured
};

}  // namespace pattern
