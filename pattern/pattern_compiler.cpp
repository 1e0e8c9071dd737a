#include "pattern/pattern_compiler.h"

#include "pattern/text_fold.h"

namespace pattern {

PatternError PatternCompiler::Run(const WideChar* pattern) {
  program_.instructions.Clear();
  program_.groupCount = 0;
  program_.slotCount = 0;
  program_.parseError = 0;
  program_.caseSensitive = false;

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
  Body body{true, true, true};
  while (!Failed()) {
    const Parsed unit = Unit();
    if (!unit) break;
    body.empty = false;
    body.canBeEmpty = body.canBeEmpty && unit->canBeEmpty;
    body.mayConsumeNothing = body.mayConsumeNothing && unit->mayConsumeNothing;
  }
  return body;
}

// Emits the alternation head first; without a `|` after the left element
// all of it is removed and the element compiled plainly.
PatternCompiler::Parsed PatternCompiler::Unit() {
  if (Failed()) return {};
  const Mark mark = Here();
  Emit(Opcode::PushPos);
  const std::size_t toLeft = Emit(Opcode::Fork);
  Emit(Opcode::PopPos);
  const std::size_t toRight = Emit(Opcode::Jump);
  const Parsed left = Quantified();
  if (Failed()) return {};
  if (!left) {
    Remove(mark);
    return {};
  }
  if (Peek() != WTEXT('|')) {
    Remove(mark);
    position_ = mark.position;
    return Quantified();
  }
  ++position_;
  const std::size_t toAfter = Emit(Opcode::Jump);
  const Parsed right = Unit();
  if (Failed()) return {};
  if (!right) {
    // A `|` before a stop takes its whole unit with it.
    Remove(mark);
    return {};
  }
  Patch(toLeft, left->first);
  Patch(toRight, right->first);
  Patch(toAfter, Count());
  return Element{mark.code, left->canBeEmpty || right->canBeEmpty,
                 left->mayConsumeNothing || right->mayConsumeNothing};
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
  // that can succeed in place: it would cycle for ever.
  if ((loops && element.canBeEmpty) || (lazyLoop && element.mayConsumeNothing)) {
    Fail(PatternError::EmptyRepeat);
    return {};
  }
  const bool keepsFirstCopy = quantifier == Quantifier::Plus || quantifier == Quantifier::LazyPlus;
  if (keepsFirstCopy) {
    program_.groupCount = mark.groups;  // both copies carry the same group numbers
  } else {
    Remove(mark);
  }
  switch (quantifier) {
    case Quantifier::Star: case Quantifier::Plus: GreedyLayout(mark, true); break;
    case Quantifier::Option: GreedyLayout(mark, false); break;
    case Quantifier::LazyStar: case Quantifier::LazyPlus: LazyLayout(mark, true); break;
    default: LazyLayout(mark, false); break;
  }
  if (quantifier == Quantifier::Plus) return Finish(Element{mark.code, element.canBeEmpty, element.mayConsumeNothing});
  return Finish(Element{mark.code, true, true});
}

// x* and x?: one more x first, guarded by a progress check.
void PatternCompiler::GreedyLayout(const Mark& mark, bool repeat) {
  const std::uint64_t slot = NewSlot();
  const std::size_t loop = Emit(Opcode::PushSlot, slot);
  Emit(Opcode::SavePos, slot);
  Emit(Opcode::PushPos);
  const std::size_t toBody = Emit(Opcode::Fork);
  Emit(Opcode::PopPos);
  Emit(Opcode::PopSlot, slot);
  const std::size_t toAfter = Emit(Opcode::Jump);
  position_ = mark.position;
  const Parsed body = ParseElement();
  if (!body) return;
  Emit(Opcode::RequireProgress, slot);
  Emit(Opcode::SavePos, slot);
  if (repeat) Emit(Opcode::Jump, loop);
  Patch(toBody, body->first);
  Patch(toAfter, Count());
}

// x*? and x??: the rest of the pattern first, one more x on failure.
void PatternCompiler::LazyLayout(const Mark& mark, bool repeat) {
  const std::size_t loop = Emit(Opcode::PushPos);
  const std::size_t toAfter = Emit(Opcode::Fork);
  Emit(Opcode::PopPos);
  position_ = mark.position;
  if (!ParseElement()) return;
  if (repeat) Emit(Opcode::Jump, loop);
  Patch(toAfter, Count());
}

std::size_t PatternCompiler::Emit(Opcode opcode, std::uint64_t operand) {
  const std::size_t index = Count();
  if (!Failed() && !program_.instructions.Append(opcode, operand)) Fail(PatternError::OutOfMemory);
  return index;
}

void PatternCompiler::Patch(std::size_t index, std::uint64_t operand) {
  if (!Failed()) program_.instructions.SetOperand(index, operand);
}

PatternCompiler::Mark PatternCompiler::Here() const {
  return Mark{Count(), program_.groupCount, program_.slotCount, position_};
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
