#include "pattern/pattern_matcher.h"

#include "pattern/match_shortcuts.h"
#include "pattern/pattern_failure.h"
#include "pattern/text_fold.h"

namespace pattern {

namespace {

[[noreturn, gnu::cold]] void Malformed() { throw PatternFailure(E_INVALIDARG); }

}  // namespace

bool PatternMatcher::Match(const PatternProgram& program, const WideChar* text, MatchContext* context,
                           std::size_t* matchEndOut) {
  if (matchEndOut != nullptr) *matchEndOut = kUnsetPosition;
  if (context == nullptr || text == nullptr) return false;
  return PatternMatcher(program, text, *context).MatchFrom(0, matchEndOut);
}

bool PatternMatcher::MatchFrom(std::size_t start, std::size_t* matchEndOut) {
  if (matchEndOut != nullptr) *matchEndOut = kUnsetPosition;
  if (!context_.Reset(program_.groupCount, program_.slotCount)) return false;
  BeginAttempt(start);
  const bool matched = Run();
  if (matchEndOut != nullptr) *matchEndOut = context_.matchEnd_;
  return matched;
}

// The machine: each case is one instruction's effect. The text is folded
// as it is read, so no copy of it is needed.
bool PatternMatcher::Run() {
  const InstructionList& code = program_.instructions;
  for (;;) {
    if (index_ == 0) context_.matchStart_ = position_;
    const PatternInstruction& instruction = code.At(index_);  // E_INVALIDARG past the end
    const std::uint64_t operand = instruction.operand;
    switch (static_cast<Opcode>(instruction.opcode)) {
      case Opcode::Pass: ++index_; break;
      case Opcode::OpenGroup: context_.GroupAt(operand).start = position_; ++index_; break;
      case Opcode::CloseGroup: context_.GroupAt(operand).end = position_; ++index_; break;
      case Opcode::Char: AdvanceIf(FoldAscii(text_[position_]) == operand, index_ + 1); break;
      case Opcode::AnyChar: AdvanceIf(text_[position_] != 0, index_ + 1); break;
      case Opcode::InRanges: {
        const std::size_t end = RangesEnd(operand);
        AdvanceIf(text_[position_] != 0 && InRanges(end), end);
        break;
      }
      case Opcode::NotInRanges: {
        const std::size_t end = RangesEnd(operand);
        AdvanceIf(text_[position_] != 0 && !InRanges(end), end);
        break;
      }
      case Opcode::Jump: index_ = static_cast<std::size_t>(operand); break;
      case Opcode::PushPos:
        if (!context_.Push(position_)) return Stop(false);
        ++index_;
        break;
      case Opcode::PopPos: position_ = context_.Pop(); ++index_; break;
      case Opcode::Fork:
        if (!(shortcuts_ == nullptr ? Fork(operand) : shortcuts_->Fork(*this, operand))) return Stop(false);
        break;
      case Opcode::Backtrack: Backtrack(); break;
      case Opcode::PushSlot:
        if (!context_.Push(context_.SlotAt(operand))) return Stop(false);
        ++index_;
        break;
      case Opcode::PopSlot: context_.SlotAt(operand) = context_.Pop(); ++index_; break;
      case Opcode::SavePos: context_.SlotAt(operand) = position_; ++index_; break;
      case Opcode::SaveDepth: context_.SlotAt(operand) = context_.depth_; ++index_; break;
      case Opcode::LoadPos: position_ = context_.SlotAt(operand); ++index_; break;
      case Opcode::LoadDepth: LoadDepth(context_.SlotAt(operand)); ++index_; break;
      case Opcode::RequireProgress:
        if (position_ == context_.SlotAt(operand)) {
          Backtrack();
          break;
        }
        ++index_;
        break;
      case Opcode::BackRef: {
        std::size_t length = 0;
        if (!BackRef(context_.GroupAt(operand), length)) {
          Backtrack();
          break;
        }
        position_ += length;
        ++index_;
        break;
      }
      case Opcode::GiveUp: return Stop(false);
      case Opcode::NextStart:
        if (!NextAttempt()) return Stop(false);
        break;
      case Opcode::Accept: return Stop(true);
      case Opcode::PushGroup: {
        const GroupSpan span = context_.GroupAt(operand);
        if (!context_.Push(span.start) || !context_.Push(span.end)) return Stop(false);
        ++index_;
        break;
      }
      case Opcode::PopGroup: {
        GroupSpan& span = context_.GroupAt(operand);
        span.end = context_.Pop();
        span.start = context_.Pop();
        ++index_;
        break;
      }
      default: Malformed();
    }
  }
}

// The terminator is never an attempt start, except in an empty text,
// which gets its one attempt at position 0.
bool PatternMatcher::NextAttempt() {
  if (text_[attemptStart_] == 0 || text_[attemptStart_ + 1] == 0) {
    position_ = text_[attemptStart_] == 0 ? attemptStart_ : attemptStart_ + 1;
    return false;
  }
  BeginAttempt(attemptStart_ + 1);
  return true;
}

void PatternMatcher::BeginAttempt(std::size_t at) {
  attemptStart_ = at;
  position_ = attemptStart_;
  context_.depth_ = 0;
  index_ = 0;
}

std::size_t PatternMatcher::RangesEnd(std::uint64_t operand) const {
  if (operand <= index_ || operand > program_.instructions.size()) Malformed();
  return static_cast<std::size_t>(operand);
}

bool PatternMatcher::InRanges(std::size_t end) const {
  return InRangeList(program_.instructions.data(), index_, end, FoldAscii(text_[position_]));
}

// A group with only one end recorded, or with its end before its start
// (a reference inside its own group), has no defined text: no match.
bool PatternMatcher::BackRef(const GroupSpan& span, std::size_t& length) const {
  const bool hasStart = span.start != kUnsetPosition;
  const bool hasEnd = span.end != kUnsetPosition;
  if (hasStart != hasEnd || (hasStart && span.end < span.start)) return false;
  length = hasStart ? span.end - span.start : 0;
  for (std::size_t i = 0; i < length; ++i) {
    const WideChar unit = text_[position_ + i];
    if (unit == 0 || FoldAscii(unit) != FoldAscii(text_[span.start + i])) return false;
  }
  return true;
}

// Dropping entries is all a depth change may do; a saved depth above the
// current one would expose stale storage.
void PatternMatcher::LoadDepth(std::size_t saved) {
  if (saved > context_.depth_) Malformed();
  context_.depth_ = saved;
}

// Groups that recorded only one end are reported unset.
bool PatternMatcher::Stop(bool matched) {
  context_.matchEnd_ = position_;
  for (std::int32_t i = 0; i < context_.groupCount_; ++i) {
    GroupSpan& span = context_.groups_[static_cast<std::size_t>(i)];
    if (!span.IsSet()) span = GroupSpan{};
  }
  return matched;
}

}  // namespace pattern
