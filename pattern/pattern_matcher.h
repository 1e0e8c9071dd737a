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

 private:
  enum class Outcome { Running, Matched, NoMatch };

  PatternMatcher(const PatternProgram& program, const WideChar* text, MatchContext& context)
      : program_(program), text_(text), context_(context) {}

  Outcome Run();
  Outcome Step(const PatternInstruction& instruction);
  Outcome Push(std::size_t value);
  Outcome Backtrack();
  Outcome Advance(bool matched);
  Outcome InRanges(std::size_t end, bool wanted);
  Outcome BackRef(std::uint64_t group);
  Outcome LoadDepth(std::uint64_t slot);
  Outcome NextStart();
  void Finish();

  WideChar Unit(std::size_t position) const;
  bool CanStartAt(std::size_t position) const;

  const PatternProgram& program_;
  const WideChar* text_;
  MatchContext& context_;
  std::size_t index_ = 0;
  std::size_t position_ = 0;
  std::size_t attemptStart_ = 0;
  std::size_t prefixLength_ = 0;
  const PatternInstruction* prefix_ = nullptr;
};

}  // namespace pattern
