// Runs a compiled pattern over a zero-terminated text with an explicit
// backtrack stack: the leftmost attempt start that reaches Accept wins,
// with the alternatives the program's order of trial yields first.
#pragma once

#include <cstddef>

#include "pattern/match_context.h"
#include "pattern/pattern_program.h"

namespace pattern {

class PatternMatcher {
 public:
  // True when `program` (compiled without error) matches somewhere in
  // `text`. `context` receives the match and its groups as indexes into
  // `text`; without a context the call is false. `matchEndOut`, if given,
  // receives where matching stopped (the match's end on success).
  // Malformed programs raise PatternFailure(E_INVALIDARG). A stack that
  // cannot grow ends the call with false.
  static bool Match(const PatternProgram& program, const WideChar* text, MatchContext* context,
                    std::size_t* matchEndOut);

  // For a search over one text: a machine set up once, then matching
  // again and again from later places. `context` must outlive it.
  PatternMatcher(const PatternProgram& program, const WideChar* text, MatchContext& context);
  // What Match gives over the text from `start` on (at most the
  // terminator's place), but with positions counted from the text's
  // beginning.
  bool MatchFrom(std::size_t start, std::size_t* matchEndOut);

 private:
  enum class Outcome { Matched, NoMatch };

  static LiteralPrefix MeasurePrefix(const PatternProgram& program);

  Outcome Run(std::size_t start);
  bool InRanges(std::size_t index, std::size_t end, std::size_t position) const;
  bool TestPasses(std::size_t index, std::size_t position) const;
  bool Passes(const PatternInstruction& test, std::size_t index, std::size_t position) const;
  std::size_t SkipLazyIterations(const ForkGuard& guard, std::size_t fork, std::size_t position) const;
  bool BackRef(const GroupSpan& span, std::size_t position, std::size_t& length) const;
  void Finish(std::size_t position);
  static void Write(const StatePlace& place, std::size_t position, GroupSpan* groups, std::size_t* slots);

  WideChar FoldedAt(std::size_t position) const;  // the text's unit there, ASCII case folded
  bool CanStartAt(std::size_t position) const;
  bool MayBeginPrefix(WideChar unit) const { return unit == firstUnit_ || unit == firstUnitOtherCase_; }
  std::size_t NextCandidate(std::size_t from) const;

  const PatternProgram& program_;
  const WideChar* text_;
  MatchContext& context_;
  ForkGuard* guards_ = nullptr;  // none unless the context keeps them for the program
  // The literal run every attempt starts with, and the two forms its
  // first unit can have in the text.
  std::size_t prefixLength_ = 0;
  const PatternInstruction* prefix_ = nullptr;
  // The prefix as words, for a search that knows where its text ends.
  const LiteralPrefix* prefixWords_ = nullptr;
  std::size_t textLength_ = 0;
  WideChar firstUnit_ = 0;
  WideChar firstUnitOtherCase_ = 0;
};

}  // namespace pattern
