// The state and result of one Match call, reusable for many calls: the
// backtrack stack's storage survives from one call to the next.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

#include "pattern/owned_array.h"
#include "pattern/pattern_failure.h"

namespace pattern {

constexpr std::size_t kUnsetPosition = std::numeric_limits<std::size_t>::max();

struct GroupSpan {
  std::size_t start = kUnsetPosition;
  std::size_t end = kUnsetPosition;
  bool IsSet() const { return start != kUnsetPosition && end != kUnsetPosition; }
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

 private:
  // The machine and its shortcuts work on the state through these.
  friend class PatternMatcher;
  friend class MatchShortcuts;

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
  // False when the stack cannot grow.
  bool Push(std::size_t value) {
    if (depth_ + 1 >= stack_.capacity() && !GrowStack()) return false;
    stack_[++depth_] = value;
    return true;
  }
  // Popping an empty stack gives 0.
  std::size_t Pop() { return depth_ == 0 ? 0 : stack_[depth_--]; }
  std::size_t Top() const { return depth_ == 0 ? 0 : stack_[depth_]; }
  bool GrowStack();
  // Raise PatternFailure(E_INVALIDARG) for a group or slot outside the program.
  GroupSpan& GroupAt(std::uint64_t number) {
    if (number >= static_cast<std::uint64_t>(groupCount_)) throw PatternFailure(E_INVALIDARG);
    return groups_[static_cast<std::size_t>(number)];
  }
  std::size_t& SlotAt(std::uint64_t number) {
    if (number >= static_cast<std::uint64_t>(slotCount_)) throw PatternFailure(E_INVALIDARG);
    return slots_[static_cast<std::size_t>(number)];
  }

  std::int32_t groupCount_ = 0;
  std::int32_t slotCount_ = 0;
  std::size_t matchStart_ = kUnsetPosition;
  std::size_t matchEnd_ = kUnsetPosition;
  OwnedArray<std::size_t> slots_;
  OwnedArray<GroupSpan> groups_;
  OwnedArray<std::size_t> stack_;  // entries at places 1..depth_; place 0 unused
  std::size_t depth_ = 0;
};

}  // namespace pattern
