#include "pattern/pattern_matcher.h"

#include "pattern/pattern_failure.h"
#include "pattern/text_fold.h"

namespace pattern {

namespace {

// The literal run every attempt must begin with: an unanchored program
// whose code starts with Char instructions fails at once, without any other
// effect, wherever the text does not start with those units.
std::size_t LiteralPrefixLength(const PatternProgram& program) {
  const InstructionList& code = program.instructions;
  if (code.size() < 3 || code.At(1).opcode != static_cast<std::int32_t>(Opcode::NextStart)) return 0;
  std::size_t length = 0;
  for (std::size_t i = 2; i < code.size(); ++i, ++length) {
    const PatternInstruction& instruction = code.At(i);
    if (instruction.opcode != static_cast<std::int32_t>(Opcode::Char) || instruction.operand == 0) break;
  }
  return length;
}

}  // namespace

bool PatternMatcher::Match(const PatternProgram& program, const WideChar* text, MatchContext* context,
                           std::size_t* matchEndOut) {
  if (matchEndOut != nullptr) *matchEndOut = kUnsetPosition;
  if (context == nullptr || text == nullptr) return false;
  if (!context->Reset(program.groupCount, program.slotCount)) return false;
  PatternMatcher machine(program, text, *context);
  machine.prefixLength_ = LiteralPrefixLength(program);
  if (machine.prefixLength_ > 0) machine.prefix_ = &program.instructions.At(2);
  const Outcome outcome = machine.Run();
  machine.Finish();
  if (matchEndOut != nullptr) *matchEndOut = context->matchEnd_;
  return outcome == Outcome::Matched;
}

// The text is folded as it is read, so no copy of it is needed.
WideChar PatternMatcher::Unit(std::size_t position) const { return FoldAscii(text_[position]); }

// Inlined into the step loop: the call itself was a good part of a step.
[[gnu::always_inline]] inline PatternMatcher::Outcome PatternMatcher::Step(const PatternInstruction& instruction) {
  const std::uint64_t operand = instruction.operand;
  const std::size_t next = index_ + 1;
  switch (static_cast<Opcode>(instruction.opcode)) {
    case Opcode::Pass: break;
    case Opcode::OpenGroup: context_.GroupAt(operand).start = position_; break;
    case Opcode::CloseGroup: context_.GroupAt(operand).end = position_; break;
    case Opcode::Char: return Advance(Unit(position_) == operand);
    case Opcode::AnyChar: return Advance(text_[position_] != 0);
    case Opcode::InRanges: return InRanges(static_cast<std::size_t>(operand), true);
    case Opcode::NotInRanges: return InRanges(static_cast<std::size_t>(operand), false);
    case Opcode::Jump: index_ = static_cast<std::size_t>(operand); return Outcome::Running;
    case Opcode::PushPos: if (Push(position_) != Outcome::Running) return Outcome::NoMatch; break;
    case Opcode::PopPos: position_ = context_.Pop(); break;
    case Opcode::Fork:
      if (Push(next) != Outcome::Running) return Outcome::NoMatch;
      index_ = static_cast<std::size_t>(operand);
      return Outcome::Running;
    case Opcode::Backtrack: return Backtrack();
    case Opcode::PushSlot: if (Push(context_.SlotAt(operand)) != Outcome::Running) return Outcome::NoMatch; break;
    case Opcode::PopSlot: context_.SlotAt(operand) = context_.Pop(); break;
    case Opcode::SavePos: context_.SlotAt(operand) = position_; break;
    case Opcode::SaveDepth: context_.SlotAt(operand) = context_.depth_; break;
    case Opcode::LoadPos: position_ = context_.SlotAt(operand); break;
    case Opcode::LoadDepth: return LoadDepth(operand);
    case Opcode::RequireProgress: if (position_ == context_.SlotAt(operand)) return Backtrack(); break;
    case Opcode::BackRef: return BackRef(operand);
    case Opcode::GiveUp: return Outcome::NoMatch;
    case Opcode::NextStart: return NextStart();
    case Opcode::Accept: return Outcome::Matched;
    case Opcode::PushGroup: {
      const GroupSpan span = context_.GroupAt(operand);
      if (Push(span.start) != Outcome::Running || Push(span.end) != Outcome::Running) return Outcome::NoMatch;
      break;
    }
    case Opcode::PopGroup: {
      GroupSpan& span = context_.GroupAt(operand);
      span.end = context_.Pop();
      span.start = context_.Pop();
      break;
    }
    default: throw PatternFailure(E_INVALIDARG);
  }
  index_ = next;
  return Outcome::Running;
}

bool PatternMatcher::CanStartAt(std::size_t position) const {
  for (std::size_t i = 0; i < prefixLength_; ++i) {
    if (Unit(position + i) != prefix_[i].operand) return false;
  }
  return true;
}

PatternMatcher::Outcome PatternMatcher::Run() {
  if (!CanStartAt(0) && NextStart() == Outcome::NoMatch) return Outcome::NoMatch;
  for (;;) {
    if (index_ == 0) context_.matchStart_ = position_;
    const Outcome outcome = Step(program_.instructions.At(index_));
    if (outcome != Outcome::Running) return outcome;
  }
}

PatternMatcher::Outcome PatternMatcher::Push(std::size_t value) {
  return context_.Push(value) ? Outcome::Running : Outcome::NoMatch;
}

PatternMatcher::Outcome PatternMatcher::Backtrack() {
  index_ = context_.Pop();
  return Outcome::Running;
}

// Consumes one unit when `matched`, else backtracks.
PatternMatcher::Outcome PatternMatcher::Advance(bool matched) {
  if (!matched) return Backtrack();
  ++position_;
  ++index_;
  return Outcome::Running;
}

// The Pass pairs between this instruction and `end` hold the ranges.
PatternMatcher::Outcome PatternMatcher::InRanges(std::size_t end, bool wanted) {
  if (end <= index_ || end > program_.instructions.size()) throw PatternFailure(E_INVALIDARG);
  const WideChar unit = Unit(position_);
  if (text_[position_] == 0) return Backtrack();
  bool inside = false;
  for (std::size_t pair = index_ + 1; pair + 1 < end && !inside; pair += 2) {
    const std::uint64_t lower = program_.instructions.At(pair).operand;
    const std::uint64_t upper = program_.instructions.At(pair + 1).operand;
    inside = lower <= unit && unit <= upper;
  }
  if (inside != wanted) return Backtrack();
  ++position_;
  index_ = end;
  return Outcome::Running;
}

// A group with only one end recorded, or with its end before its start
// (a reference inside its own group), has no defined text: backtrack.
PatternMatcher::Outcome PatternMatcher::BackRef(std::uint64_t group) {
  const GroupSpan span = context_.GroupAt(group);
  const bool hasStart = span.start != kUnsetPosition;
  const bool hasEnd = span.end != kUnsetPosition;
  if (hasStart != hasEnd || (hasStart && span.end < span.start)) return Backtrack();
  const std::size_t length = hasStart ? span.end - span.start : 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text_[position_ + i] == 0 || Unit(position_ + i) != Unit(span.start + i)) return Backtrack();
  }
  position_ += length;
  ++index_;
  return Outcome::Running;
}

// Dropping entries is all a depth change may do; a saved depth above the
// current one would expose stale storage.
PatternMatcher::Outcome PatternMatcher::LoadDepth(std::uint64_t slot) {
  const std::size_t depth = context_.SlotAt(slot);
  if (depth > context_.depth_) throw PatternFailure(E_INVALIDARG);
  context_.depth_ = depth;
  ++index_;
  return Outcome::Running;
}

// The terminator is never an attempt start, except in an empty text,
// which gets its one attempt at position 0.
PatternMatcher::Outcome PatternMatcher::NextStart() {
  if (text_[attemptStart_] == 0 || text_[attemptStart_ + 1] == 0) {
    position_ = text_[attemptStart_] == 0 ? attemptStart_ : attemptStart_ + 1;
    return Outcome::NoMatch;
  }
  ++attemptStart_;
  // Skipping the attempts that would fail within the literal prefix
  // changes no result.
  while (text_[attemptStart_] != 0 && !CanStartAt(attemptStart_)) ++attemptStart_;
  if (text_[attemptStart_] == 0) {
    position_ = attemptStart_;
    return Outcome::NoMatch;
  }
  position_ = attemptStart_;
  context_.depth_ = 0;
  index_ = 0;
  return Outcome::Running;
}

// Groups that recorded only one end are reported unset.
void PatternMatcher::Finish() {
  context_.matchEnd_ = position_;
  for (std::int32_t i = 0; i < context_.groupCount_; ++i) {
    GroupSpan& span = context_.groups_[static_cast<std::size_t>(i)];
    if (!span.IsSet()) span = GroupSpan{};
  }
}

}  // namespace pattern
