// The search's speed-up, kept apart from the plain machine: the Fork
// guards (fork_guard.h) let it pass over a Fork's target, and over whole
// iterations of a lazy loop, where they surely fail, with no result
// changed. The machine asks it at one place only: what a Fork does. Built
// with KT_PATTERN_SHORTCUTS off, the search runs the plain machine alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pattern/fork_guard.h"
#include "pattern/owned_array.h"
#include "pattern/pattern_program.h"

namespace pattern {

class PatternMatcher;

class MatchShortcuts {
 public:
  // For one program run over one text again and again; `length` is where
  // the text's terminator lies, or kLengthUnknown.
  MatchShortcuts(const PatternProgram& program, const WideChar* text, std::size_t length);

  // Runs the Fork at the machine's index, perhaps with the steps that
  // follow it; false when the stack cannot grow.
  bool Fork(PatternMatcher& machine, std::uint64_t target);

 private:
  ForkGuard* GuardAt(std::size_t fork);
  bool PassOver(PatternMatcher& machine, const ForkGuard& guard) const;
  std::size_t SkipLazyIterations(const ForkGuard& guard, std::size_t position) const;
  bool TestPasses(std::size_t test, std::size_t position) const;

  const PatternProgram& program_;
  const WideChar* text_;
  std::size_t length_;
  // One guard per instruction, explored as the Forks are reached; empty
  // when guards do not apply or their storage cannot be had.
  OwnedArray<ForkGuard> guards_;
};

}  // namespace pattern
