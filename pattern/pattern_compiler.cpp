#include "pattern/pattern_compiler.h"

#include "pattern/code_layout.h"
#include "pattern/text_fold.h"

namespace pattern {
namespace {

// The client's value patterns need fewer than two instructions per unit,
// their layouts' heads included; the frame takes three. Reserving just that
// keeps the block under 1 KiB, which glibc serves without first tidying
// its free lists; a longer program (the cookie pattern's) grows it once.
constexpr std::size_t kReservedInstructionsPerUnit = 2;
constexpr std::size_t kReservedFrame = 8;

}  // namespace

PatternError PatternCompiler::Run(const WideChar* pattern) {
  program_.instructions.Clear();
  program_.groupCount = 0;
  program_.slotCount = 0;
  program_.parseError = 0;

  std::size_t length = 0;
  while (pattern != nullptr && pattern[length] != 0) ++length;
  OwnedArray<WideChar> folded;
  if (!folded.Reserve(length + 1, 0)) {
    Fail(PatternError::OutOfMemory);
    return Error();
  }
  for (std::size_t i = 0; i < length; ++i) folded[i] = FoldAscii(pattern[i]);
  folded[length] = 0;
  source_ = folded.data();
  position_ = 0;
  // Most patterns fit at once; more code (nested `+`) grows the array.
  if (!program_.instructions.Reserve(kReservedInstructionsPerUnit * length + kReservedFrame)) {
    Fail(PatternError::OutOfMemory);
    return Error();
  }

  Emit(Opcode::Fork);
  if (Peek() == WTEXT('^')) {
    Emit(Opcode::GiveUp);
    ++position_;
  } else {
    Emit(Opcode::NextStart);
  }
  if (Peek() != 0) Sequence();
  if (!Failed()) {
    Patch(0, 2);
    Emit(Opcode::Accept);
  }
  source_ = nullptr;
  return Error();
}

PatternCompiler::Body PatternCompiler::Sequence() {
  Body body{true, true, true, true};
  while (!Failed()) {
    const Parsed alternation = Alternation();
    if (!alternation) break;
    body.empty = false;
    body.canBeEmpty = body.canBeEmpty && alternation->canBeEmpty;
    body.mayConsumeNothing = body.mayConsumeNothing && alternation->mayConsumeNothing;
    body.fixedLength = body.fixedLength && alternation->fixedLength;
  }
  return body;
}

// The left element first; only when a `|` follows does the alternation
// head go in front of it, the element moving up behind the head.
PatternCompiler::Parsed PatternCompiler::Alternation() {
  if (Failed()) return {};
  const Mark mark = Here();
  const Parsed left = Quantified();
  if (Failed()) return {};
  if (!left) {
    Remove(mark);
    return {};
  }
  if (Peek() != WTEXT('|')) return left;
  ++position_;
  using namespace alternation;
  const std::size_t body = mark.code + kHeadLength;
  if (!program_.instructions.InsertGap(mark.code, kHeadLength)) {
    Fail(PatternError::OutOfMemory);
    return {};
  }
  program_.instructions.Shift(body, Count(), kHeadLength, 0);
  const std::size_t toAfter = Emit(Opcode::Jump);
  const Parsed right = Alternation();
  if (Failed()) return {};
  if (!right) {
    // A `|` before a stop takes its whole alternation with it.
    Remove(mark);
    return {};
  }
  Place(mark.code + kPushPos, Opcode::PushPos, 0);
  Place(mark.code + kFork, Opcode::Fork, body);
  Place(mark.code + kPopPos, Opcode::PopPos, 0);
  Place(mark.code + kJumpToRight, Opcode::Jump, right->first);
  Patch(toAfter, Count());
  return Element{mark.code, left->canBeEmpty || right->canBeEmpty,
                 left->mayConsumeNothing || right->mayConsumeNothing, false};
}

PatternCompiler::Parsed PatternCompiler::Quantified() {
  if (Failed()) return {};
  const Mark mark = Here();
  const Parsed element = ParseElement();
  if (!element) return {};
  std::size_t length = 0;
  const Quantifier quantifier = PeekQuantifier(length);
  if (quantifier == Quantifier::None) return element;
  const Parsed result = ApplyQuantifier(mark, *element, quantifier);
  position_ += length;
  return result;
}

PatternCompiler::Quantifier PatternCompiler::PeekQuantifier(std::size_t& length) const {
  const bool lazy = PeekNext() == WTEXT('?');
  length = lazy ? 2 : 1;
  switch (Peek()) {
    case WTEXT('*'): return lazy ? Quantifier::LazyStar : Quantifier::Star;
    case WTEXT('+'): return lazy ? Quantifier::LazyPlus : Quantifier::Plus;
    case WTEXT('?'): return lazy ? Quantifier::LazyOption : Quantifier::Option;
    default: length = 0; return Quantifier::None;
  }
}

PatternCompiler::Parsed PatternCompiler::ApplyQuantifier(const Mark& mark, const Element& element,
                                                         Quantifier quantifier) {
  const bool loops = quantifier != Quantifier::Option && quantifier != Quantifier::LazyOption;
  const bool lazyLoop = quantifier == Quantifier::LazyStar || quantifier == Quantifier::LazyPlus;
  // A lazy loop has no progress check, so it must not run over anything
  // that can succeed in place: it would cycle for ever. A greedy loop's
  // check compares with the end of the previous iteration once that
  // iteration is backtracked into, so its body must not be able to give
  // back down to nothing either: `{\0x*}*` over "xb" grows its stack for
  // ever. Bodies of one fixed length (`!a`, `\0`) are safe.
  const bool givesBackToNothing = element.mayConsumeNothing && !element.fixedLength;
  if ((loops && (element.canBeEmpty || givesBackToNothing)) || (lazyLoop && element.mayConsumeNothing)) {
    Fail(PatternError::EmptyRepeat);
    return {};
  }
  const bool keepsFirstCopy = quantifier == Quantifier::Plus || quantifier == Quantifier::LazyPlus;
  switch (quantifier) {
    case Quantifier::Star: case Quantifier::Plus: GreedyLayout(mark, keepsFirstCopy, true); break;
    case Quantifier::Option: GreedyLayout(mark, false, false); break;
    case Quantifier::LazyStar: case Quantifier::LazyPlus: LazyLayout(mark, keepsFirstCopy, true); break;
    default: LazyLayout(mark, false, false); break;
  }
  if (quantifier == Quantifier::Plus) {
    return Finish(Element{mark.code, element.canBeEmpty, element.mayConsumeNothing, false});
  }
  return Finish(Element{mark.code, true, true, false});
}

// x* and x?: one more x first, guarded by a progress check.
void PatternCompiler::GreedyLayout(const Mark& mark, bool keepsFirstCopy, bool repeat) {
  using namespace greedy_loop;
  const std::uint64_t slot = static_cast<std::uint64_t>(keepsFirstCopy ? program_.slotCount : mark.slots);
  const std::size_t head = HeadBeforeBody(mark, kHeadLength, keepsFirstCopy, 1);
  Place(head + kPushSlot, Opcode::PushSlot, slot);
  Place(head + kSavePos, Opcode::SavePos, slot);
  Place(head + kPushPos, Opcode::PushPos, 0);
  Place(head + kFork, Opcode::Fork, head + kHeadLength);
  Place(head + kPopPos, Opcode::PopPos, 0);
  Place(head + kPopSlot, Opcode::PopSlot, slot);
  Emit(Opcode::RequireProgress, slot);
  Emit(Opcode::SavePos, slot);
  if (repeat) Emit(Opcode::Jump, head);
  Place(head + kJumpOut, Opcode::Jump, Count());
}

// x*? and x??: the rest of the pattern first, one more x on failure.
void PatternCompiler::LazyLayout(const Mark& mark, bool keepsFirstCopy, bool repeat) {
  using namespace lazy_loop;
  const std::size_t head = HeadBeforeBody(mark, kHeadLength, keepsFirstCopy, 0);
  Place(head + kPushPos, Opcode::PushPos, 0);
  Place(head + kPopPos, Opcode::PopPos, 0);
  if (repeat) Emit(Opcode::Jump, head);
  Place(head + kFork, Opcode::Fork, Count());
}

// Puts a layout's head of `headLength` instructions before the element
// just compiled from `mark`: the element moves up behind the head, or,
// when its first copy stays (`+`, `+?`), a copy of it follows the head.
// The body's instruction indexes follow it, and its slots come after the
// `slotsBefore` slots the layout takes first: the code is what compiling
// the element again in that place would give. Returns the head's index.
std::size_t PatternCompiler::HeadBeforeBody(const Mark& mark, std::size_t headLength, bool copy,
                                            std::int32_t slotsBefore) {
  const std::size_t elementEnd = Count();
  const std::int32_t elementSlots = program_.slotCount - mark.slots;
  const std::int32_t firstSlot = copy ? program_.slotCount : mark.slots;
  const std::size_t head = copy ? elementEnd : mark.code;
  InstructionList& code = program_.instructions;
  if (Failed()) return head;
  if (!code.InsertGap(head, headLength) || (copy && !code.AppendCopy(mark.code, elementEnd))) {
    Fail(PatternError::OutOfMemory);
    return head;
  }
  const std::size_t body = head + headLength;
  code.Shift(body, Count(), body - mark.code, static_cast<std::uint64_t>(firstSlot + slotsBefore - mark.slots));
  program_.slotCount = firstSlot + slotsBefore + elementSlots;
  return head;
}

std::size_t PatternCompiler::Emit(Opcode opcode, std::uint64_t operand) {
  const std::size_t index = Count();
  if (!Failed() && !program_.instructions.Append(opcode, operand)) Fail(PatternError::OutOfMemory);
  return index;
}

void PatternCompiler::Patch(std::size_t index, std::uint64_t operand) {
  if (!Failed()) program_.instructions.SetOperand(index, operand);
}

void PatternCompiler::Place(std::size_t index, Opcode opcode, std::uint64_t operand) {
  if (!Failed()) program_.instructions.Set(index, opcode, operand);
}

PatternCompiler::Mark PatternCompiler::Here() const {
  return Mark{Count(), program_.groupCount, program_.slotCount};
}

void PatternCompiler::Remove(const Mark& mark) {
  program_.instructions.Truncate(mark.code);
  program_.groupCount = mark.groups;
  program_.slotCount = mark.slots;
}

void PatternCompiler::Fail(PatternError error) {
  if (!Failed()) program_.parseError = static_cast<std::int32_t>(error);
}

PatternCompiler::Parsed PatternCompiler::Finish(const Element& element) {
  if (Failed()) return {};
  return element;
}

}  // namespace pattern
