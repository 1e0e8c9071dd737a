// The search's speed-ups, kept apart from the plain machine: they take
// some of its steps at once and change no result. The machine asks them
// at two places only: where the next attempt may begin (the literal
// prefix) and what a Fork does (the Fork guards). Built with
// KT_PATTERN_SHORTCUTS off, the search runs the plain machine alone.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pattern/fork_guard.h"
#include "pattern/literal_prefix.h"
#include "pattern/owned_array.h"
#include "pattern/pattern_program.h"

namespace pattern {

class PatternMatcher;

class MatchShortcuts {
 public:
  // For one program run over one text again and again (`length` as for
  // LiteralPrefix). Fork guards cost more to learn than a search for one
  // value saves, so only `withGuards` learns them.
  MatchShortcuts(const PatternProgram& program, const WideChar* text, std::size_t length, bool withGuards);

  std::size_t AttemptStartFrom(std::size_t from) const { return prefix_.NextCandidate(from); }
  // Runs the Fork at the machine's index, perhaps with the steps that
  // follow it; false when the stack cannot grow.
  bool Fork(PatternMatcher& machine, std::uint64_t target);

 private:
  ForkGuard* GuardAt(std::size_t fork);
  bool TakeGreedyIterations(PatternMatcher& machine, const ForkGuard& guard) const;
  bool PassOver(PatternMatcher& machine, const ForkGuard& guard) const;
  std::size_t SkipLazyIterations(const ForkGuard& guard, std::size_t position) const;
  bool TestPasses(std::size_t test, std::size_t position) const;

  const PatternProgram& program_;
  const WideChar* text_;
  std::size_t length_;
  LiteralPrefix prefix_;
  // One guard per instruction, explored as the Forks are reached; empty
  // when guards do not apply or their storage cannot be had.
  OwnedArray<ForkGuard> guards_;
};

}  // namespace pattern
