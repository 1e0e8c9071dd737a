// The elements of the pattern language: groups, classes, escapes and
// look-aheads, each with its code layout.
#include <limits>

#include "pattern/abbreviations.h"
#include "pattern/code_layout.h"
#include "pattern/pattern_compiler.h"

namespace pattern {
namespace {

bool IsDigit(WideChar unit) { return unit >= WTEXT('0') && unit <= WTEXT('9'); }

}  // namespace

PatternCompiler::Parsed PatternCompiler::ParseElement() {
  if (Failed()) return {};
  const WideChar unit = Peek();
  switch (unit) {
    case 0: case WTEXT(')'): case WTEXT(']'): case WTEXT('}'): return {};
    case WTEXT('{'): return Capture();
    case WTEXT('('): return PlainGroup();
    case WTEXT('['): return CharacterClass();
    case WTEXT('\\'): return Escape();
    case WTEXT('!'): return LookAhead();
    case WTEXT('.'):
      ++position_;
      return Single(Opcode::AnyChar, 0);
    case WTEXT('$'):
      if (PeekNext() == 0) {
        ++position_;
        return Single(Opcode::Char, 0);  // matches the text's terminator
      }
      break;
    default: break;
  }
  ++position_;
  return Single(Opcode::Char, unit);
}

PatternCompiler::Parsed PatternCompiler::Single(Opcode opcode, std::uint64_t operand) {
  const std::size_t first = Emit(opcode, operand);
  return Finish(Element{first, false, false, true});
}

// {x}: the group's old span is saved, and put back when x fails.
PatternCompiler::Parsed PatternCompiler::Capture() {
  ++position_;
  const std::uint64_t group = static_cast<std::uint64_t>(program_.groupCount++);
  const std::size_t first = Emit(Opcode::PushGroup, group);
  Emit(Opcode::OpenGroup, group);
  const std::size_t toBody = Emit(Opcode::Fork);
  Emit(Opcode::PopGroup, group);
  Emit(Opcode::Backtrack);
  Patch(toBody, Count());
  const Body body = GroupBody();
  if (Failed()) return {};
  if (Peek() != WTEXT('}')) {
    Fail(PatternError::UnclosedCapture);
    return {};
  }
  ++position_;
  Emit(Opcode::CloseGroup, group);
  return Finish(Element{first, body.canBeEmpty, body.mayConsumeNothing, body.fixedLength});
}

PatternCompiler::Parsed PatternCompiler::PlainGroup() {
  ++position_;
  // The Fork and Backtrack of the plain group's head, in that order.
  static_assert(plain_group::kFork == 0 && plain_group::kBacktrack == 1 && plain_group::kHeadLength == 2);
  const std::size_t first = Emit(Opcode::Fork);
  Emit(Opcode::Backtrack);
  Patch(first, Count());
  const Body body = GroupBody();
  if (Failed()) return {};
  if (Peek() != WTEXT(')')) {
    Fail(PatternError::UnclosedGroup);
    return {};
  }
  ++position_;
  return Finish(Element{first, body.canBeEmpty, body.mayConsumeNothing, body.fixedLength});
}

// An empty body still gets one instruction; it counts as able to match
// the empty string.
PatternCompiler::Body PatternCompiler::GroupBody() {
  const Body body = Sequence();
  if (body.empty) Emit(Opcode::Pass);
  return body;
}

PatternCompiler::Parsed PatternCompiler::CharacterClass() {
  ++position_;
  bool negated = false;
  if (Peek() == WTEXT('^')) {
    negated = true;
    ++position_;
  }
  if (Peek() == WTEXT(']')) {
    ++position_;
    Fail(PatternError::EmptyClass);
    return {};
  }
  const std::size_t first = Emit(negated ? Opcode::NotInRanges : Opcode::InRanges);
  while (Peek() != WTEXT(']') && Peek() != 0) {
    if (!ClassItem()) return {};
  }
  Patch(first, Count());
  if (Peek() != WTEXT(']')) {
    Fail(PatternError::BadClass);
    return {};
  }
  ++position_;
  return Finish(Element{first, false, false, true});
}

// One member or range: two Pass instructions carrying its bounds.
bool PatternCompiler::ClassItem() {
  WideChar lower = 0;
  if (!ClassBound(lower)) return false;
  WideChar upper = lower;
  if (Peek() == WTEXT('-')) {
    ++position_;
    upper = Peek();
    if (upper == WTEXT(']') || upper == 0) {
      Fail(PatternError::BadClass);
      return false;
    }
    if (upper < lower) {
      Fail(PatternError::ReversedRange);
      return false;
    }
    ++position_;
  }
  Emit(Opcode::Pass, lower);
  Emit(Opcode::Pass, upper);
  return !Failed();
}

// A lower bound, with the class's one escape: `\t` is a tab, `\x` is x.
bool PatternCompiler::ClassBound(WideChar& bound) {
  bound = Peek();
  if (bound == WTEXT('\\')) {
    ++position_;
    bound = Peek();
    if (bound == 0) {
      Fail(PatternError::BadClass);
      return false;
    }
    if (bound == WTEXT('t')) bound = WTEXT('\t');
  }
  ++position_;
  return true;
}

PatternCompiler::Parsed PatternCompiler::Escape() {
  ++position_;
  const WideChar unit = Peek();
  if (unit == 0) {
    Fail(PatternError::BadAbbreviation);
    return {};
  }
  if (IsDigit(unit)) return BackReference();
  if (const WideChar* body = FindAbbreviation(unit)) return Abbreviation(body);
  ++position_;
  return Single(Opcode::Char, unit);
}

// Names a group opened before it; it may match the empty text.
PatternCompiler::Parsed PatternCompiler::BackReference() {
  constexpr std::uint64_t kTooLarge = std::numeric_limits<std::uint32_t>::max() + std::uint64_t{1};
  std::uint64_t number = 0;
  while (IsDigit(Peek())) {
    if (number < kTooLarge) number = number * 10 + static_cast<std::uint64_t>(Peek() - WTEXT('0'));
    ++position_;
  }
  if (number >= static_cast<std::uint64_t>(program_.groupCount)) {
    Fail(PatternError::BadBackReference);
    return {};
  }
  const std::size_t first = Emit(Opcode::BackRef, number);
  return Finish(Element{first, false, true, true});
}

// The body is compiled from its own text as one quantified element; what
// follows that element in the body is ignored.
PatternCompiler::Parsed PatternCompiler::Abbreviation(const WideChar* body) {
  const WideChar* outerSource = source_;
  const std::size_t keyPosition = position_;
  source_ = body;
  position_ = 0;
  const Parsed element = Quantified();
  source_ = outerSource;
  position_ = keyPosition + 1;
  if (!element && Error() != PatternError::OutOfMemory) {
    program_.parseError = static_cast<std::int32_t>(PatternError::BadAbbreviation);
  }
  return element;
}

// !e: succeeds, consuming nothing, where e fails. The slots keep the
// position and the stack depth to return to.
PatternCompiler::Parsed PatternCompiler::LookAhead() {
  ++position_;
  const std::uint64_t position = NewSlot();
  const std::uint64_t depth = NewSlot();
  const std::size_t first = Emit(Opcode::SavePos, position);
  Emit(Opcode::SaveDepth, depth);
  const std::size_t toBody = Emit(Opcode::Fork);
  Emit(Opcode::LoadPos, position);
  Emit(Opcode::LoadDepth, depth);
  const std::size_t toAfter = Emit(Opcode::Jump);
  const Parsed body = ParseElement();
  if (!body) return {};
  Emit(Opcode::LoadPos, position);
  Emit(Opcode::LoadDepth, depth);
  Emit(Opcode::Backtrack);
  Patch(toBody, body->first);
  Patch(toAfter, Count());
  return Finish(Element{first, body->canBeEmpty, true, true});
}

}  // namespace pattern
