// Runs a compiled pattern over a zero-terminated text with an explicit
// backtrack stack: the leftmost attempt start that reaches Accept wins,
// with the alternatives the program's order of trial yields first. This
// is the plain machine, one short step per instruction; a search may hand
// it shortcuts for its Forks (match_shortcuts.h), which change no result.
#pragma once

#include <cstddef>

#include "pattern/match_context.h"
#include "pattern/pattern_program.h"

namespace pattern {

class MatchShortcuts;

class PatternMatcher {
 public:
  // True when `program` (compiled without error) matches somewhere in
  // `text`. `context` receives the match and its groups as indexes into
  // `text`; without a context the call is false. `matchEndOut`, if given,
  // receives where matching stopped (the match's end on success).
  // Malformed programs raise PatternFailure(E_INVALIDARG). A stack that
  // cannot grow ends the call with false. Runs the plain machine alone.
  static bool Match(const PatternProgram& program, const WideChar* text, MatchContext* context,
                    std::size_t* matchEndOut);

  // For a search: a machine set up once, then matching again and again
  // from later places. `context` (and `shortcuts`, when given) must
  // outlive it.
  PatternMatcher(const PatternProgram& program, const WideChar* text, MatchContext& context,
                 MatchShortcuts* shortcuts = nullptr)
      : program_(program), text_(text), context_(context), shortcuts_(shortcuts) {}
  // What Match gives over the text from `start` on (at most the
  // terminator's place), but with positions counted from the text's
  // beginning.
  bool MatchFrom(std::size_t start, std::size_t* matchEndOut);

 private:
  friend class MatchShortcuts;  // takes some steps at once, on these registers

  bool Run();
  // The plain steps that more than one case, or a shortcut, takes.
  bool Fork(std::uint64_t target) {
    if (!context_.Push(index_ + 1)) return false;
    index_ = static_cast<std::size_t>(target);
    return true;
  }
  void Backtrack() { index_ = context_.Pop(); }
  // A unit test: on success one unit is consumed and `next` follows.
  void AdvanceIf(bool passes, std::size_t next) {
    if (!passes) {
      Backtrack();
      return;
    }
    ++position_;
    index_ = next;
  }
  bool NextAttempt();
  void BeginAttempt(std::size_t at);
  std::size_t RangesEnd(std::uint64_t operand) const;
  bool InRanges(std::size_t end) const;
  bool BackRef(const GroupSpan& span, std::size_t& length) const;
  void LoadDepth(std::size_t saved);
  bool Stop(bool matched);

  const PatternProgram& program_;
  const WideChar* text_;
  MatchContext& context_;
  MatchShortcuts* shortcuts_;
  // The registers: the instruction index, the position in the text and
  // where the current attempt began.
  std::size_t index_ = 0;
  std::size_t position_ = 0;
  std::size_t attemptStart_ = 0;
};

}  // namespace pattern
