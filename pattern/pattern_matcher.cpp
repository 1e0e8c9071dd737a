#include "pattern/pattern_matcher.h"

#include "pattern/pattern_failure.h"
#include "pattern/text_fold.h"
#include "platform/unit_words.h"

namespace pattern {

namespace {

// The literal run every attempt must begin with: an unanchored program
// (a Fork to 2 that leaves NextStart behind) whose code then goes on with
// Char instructions fails at once, without any other effect, wherever the
// text does not start with those units.
std::size_t LiteralPrefixLength(const PatternProgram& program) {
  const InstructionList& code = program.instructions;
  if (code.size() < 3 || code.At(0).opcode != static_cast<std::int32_t>(Opcode::Fork) || code.At(0).operand != 2 ||
      code.At(1).opcode != static_cast<std::int32_t>(Opcode::NextStart)) {
    return 0;
  }
  std::size_t length = 0;
  for (std::size_t i = 2; i < code.size(); ++i, ++length) {
    const PatternInstruction& instruction = code.At(i);
    if (instruction.opcode != static_cast<std::int32_t>(Opcode::Char) || instruction.operand == 0) break;
  }
  return length;
}

// A unit whose folded form may equal `operand`: the operand itself and, for
// a lower-case letter, its upper-case form.
WideChar OtherCaseOf(std::uint64_t operand) {
  const bool lowerLetter = operand >= WTEXT('a') && operand <= WTEXT('z');
  return static_cast<WideChar>(lowerLetter ? operand - (WTEXT('a') - WTEXT('A')) : operand);
}

[[noreturn, gnu::cold]] void Malformed() { throw PatternFailure(E_INVALIDARG); }

}  // namespace

PatternMatcher::PatternMatcher(const PatternProgram& program, const WideChar* text, MatchContext& context)
    : program_(program), text_(text), context_(context), guards_(context.ForkGuardsFor(program)) {
  if (context.keptFor_ == &program) {
    // Measured once for the program a search runs over and over.
    LiteralPrefix& kept = context.keptPrefix_;
    if (kept.length == kUnsetPosition) kept = MeasurePrefix(program);
    prefixLength_ = kept.length;
    if (kept.words != 0 && context.textEnd_ != nullptr) {
      prefixWords_ = &kept;
      textLength_ = static_cast<std::size_t>(context.textEnd_ - text);
    }
  } else {
    prefixLength_ = LiteralPrefixLength(program);
  }
  if (prefixLength_ == 0) return;
  prefix_ = &program.instructions.At(2);
  firstUnit_ = static_cast<WideChar>(prefix_[0].operand);
  firstUnitOtherCase_ = OtherCaseOf(prefix_[0].operand);
}

// A prefix of units that some text unit folds to (no upper-case letter,
// nothing past 16 bits) and of at most kMaxWords words is held as words.
LiteralPrefix PatternMatcher::MeasurePrefix(const PatternProgram& program) {
  LiteralPrefix prefix;
  prefix.length = LiteralPrefixLength(program);
  if (prefix.length == 0 || prefix.length > 4 * LiteralPrefix::kMaxWords) return prefix;
  for (std::size_t i = 0; i < prefix.length; ++i) {
    const std::uint64_t unit = program.instructions.At(2 + i).operand;
    if (unit > 0xFFFF || (unit >= WTEXT('A') && unit <= WTEXT('Z'))) return LiteralPrefix{prefix.length};
    const unsigned shift = 16 * (i % 4);
    const bool lowerLetter = unit >= WTEXT('a') && unit <= WTEXT('z');
    prefix.units[i / 4] |= unit << shift;
    prefix.caseBits[i / 4] |= (lowerLetter ? std::uint64_t{0x20} : 0) << shift;
    prefix.lanes[i / 4] |= std::uint64_t{0xFFFF} << shift;
  }
  prefix.words = (prefix.length + 3) / 4;
  return prefix;
}

bool PatternMatcher::Match(const PatternProgram& program, const WideChar* text, MatchContext* context,
                           std::size_t* matchEndOut) {
  if (matchEndOut != nullptr) *matchEndOut = kUnsetPosition;
  if (context == nullptr || text == nullptr) return false;
  return PatternMatcher(program, text, *context).MatchFrom(0, matchEndOut);
}

bool PatternMatcher::MatchFrom(std::size_t start, std::size_t* matchEndOut) {
  if (matchEndOut != nullptr) *matchEndOut = kUnsetPosition;
  if (!context_.Reset(program_.groupCount, program_.slotCount)) return false;
  const Outcome outcome = Run(start);
  if (matchEndOut != nullptr) *matchEndOut = context_.matchEnd_;
  return outcome == Outcome::Matched;
}

// The text is folded as it is read, so no copy of it is needed.
WideChar PatternMatcher::FoldedAt(std::size_t position) const { return FoldAscii(text_[position]); }

bool PatternMatcher::CanStartAt(std::size_t position) const {
  if (prefixWords_ != nullptr && position + 4 * prefixWords_->words <= textLength_) {
    for (std::size_t word = 0; word < prefixWords_->words; ++word) {
      const std::uint64_t units = unit_words::Load(text_ + position + 4 * word) | prefixWords_->caseBits[word];
      if ((units & prefixWords_->lanes[word]) != prefixWords_->units[word]) return false;
    }
    return true;
  }
  for (std::size_t i = 0; i < prefixLength_; ++i) {
    if (FoldedAt(position + i) != prefix_[i].operand) return false;
  }
  return true;
}

// The first position from `from` on where an attempt can succeed, or the
// terminator's. Skipping the attempts that would fail within the literal
// prefix changes no result.
std::size_t PatternMatcher::NextCandidate(std::size_t from) const {
  if (prefixLength_ == 0) return from;
  for (std::size_t at = from;; ++at) {
    const WideChar unit = text_[at];
    if (unit == 0) return at;
    if (MayBeginPrefix(unit) && CanStartAt(at)) return at;
  }
}

// The step loop keeps the machine's registers (instruction index, position
// and the stack's depth) in locals, so that they stay out of memory.
PatternMatcher::Outcome PatternMatcher::Run(std::size_t start) {
  const PatternInstruction* const code = program_.instructions.data();
  const std::size_t size = program_.instructions.size();
  GroupSpan* const groups = context_.groups_.data();
  std::size_t* const slots = context_.slots_.data();
  const std::uint64_t groupCount = static_cast<std::uint64_t>(context_.groupCount_);
  const std::uint64_t slotCount = static_cast<std::uint64_t>(context_.slotCount_);
  ForkGuard* const guards = guards_;
  std::size_t* stack = context_.stack_.data();
  std::size_t stackCapacity = context_.stack_.capacity();
  std::size_t depth = 0;
  std::size_t index = 0;
  std::size_t attemptStart = start;
  std::size_t position = start;

  const auto push = [&](std::size_t value) {
    if (depth + 1 >= stackCapacity) {
      context_.depth_ = depth;
      if (!context_.GrowStack()) return false;
      stack = context_.stack_.data();
      stackCapacity = context_.stack_.capacity();
    }
    stack[++depth] = value;
    return true;
  };
  const auto pop = [&]() -> std::size_t { return depth == 0 ? 0 : stack[depth--]; };
  // Every step that may reach instruction 0 ends here; a step that goes on
  // with the next instruction never does. Reaching 0 starts an attempt.
  const auto go = [&](std::size_t target) {
    index = target;
    if (target == 0) context_.matchStart_ = position;
  };
  const auto backtrack = [&]() { go(pop()); };
  const auto group = [&](std::uint64_t operand) -> GroupSpan& {
    if (operand >= groupCount) Malformed();
    return groups[operand];
  };
  const auto slot = [&](std::uint64_t operand) -> std::size_t& {
    if (operand >= slotCount) Malformed();
    return slots[operand];
  };
  const auto finish = [&](Outcome outcome) {
    context_.depth_ = depth;
    Finish(position);
    return outcome;
  };
  // An attempt at a place where the literal prefix is known to match:
  // the opening Fork leaves its NextStart on the stack and the prefix's
  // Char steps would all pass, so both are taken at once.
  const auto beginAttempt = [&]() {
    go(0);
    if (prefixLength_ == 0) return true;
    if (!push(1)) return false;
    index = 2 + prefixLength_;
    position += prefixLength_;
    return true;
  };
  // Whole iterations of a greedy loop over one unit test, each leaving
  // what its steps would: the Fork's and the groups' entries, the position
  // as the slot's old value and as PushPos pushes it, the slot at it.
  // The first may fail the progress check; none after it can.
  const auto takeGreedyIterations = [&](const ForkGuard& guard) {
    std::size_t& iterationStart = slot(guard.loopSlot());
    const std::size_t test = guard.loopTest();
    const auto passes = [&]() {
      const WideChar unit = text_[position];
      return unit < 128 ? !guard.Skips(unit) : TestPasses(test, position);
    };
    while (iterationStart != position + 1 && passes()) {
      if (!push(index + 1)) return false;
      for (std::size_t wrapper = guard.loopBody(); wrapper < test; wrapper += 2) {
        if (!push(wrapper + 1)) return false;
      }
      ++position;
      if (!push(position) || !push(position)) return false;
      iterationStart = position;
    }
    return true;
  };
  // The terminator is never an attempt start, except in an empty text,
  // which gets its one attempt at position 0.
  const auto nextStart = [&]() {
    if (text_[attemptStart] == 0 || text_[attemptStart + 1] == 0) {
      position = text_[attemptStart] == 0 ? attemptStart : attemptStart + 1;
      return false;
    }
    attemptStart = NextCandidate(attemptStart + 1);
    position = attemptStart;
    if (text_[attemptStart] == 0) return false;
    depth = 0;
    return beginAttempt();
  };

  const bool startsHere = prefixLength_ == 0 || (MayBeginPrefix(text_[start]) && CanStartAt(start));
  if (startsHere ? !beginAttempt() : !nextStart()) return finish(Outcome::NoMatch);
  for (;;) {
    if (index >= size) Malformed();
    const std::uint64_t operand = code[index].operand;
    switch (static_cast<Opcode>(code[index].opcode)) {
      case Opcode::Pass: ++index; break;
      case Opcode::OpenGroup: group(operand).start = position; ++index; break;
      case Opcode::CloseGroup: group(operand).end = position; ++index; break;
      case Opcode::Char:
        if (FoldedAt(position) != operand) {
          backtrack();
          break;
        }
        ++position;
        ++index;
        break;
      case Opcode::AnyChar:
        if (text_[position] == 0) {
          backtrack();
          break;
        }
        ++position;
        ++index;
        break;
      case Opcode::InRanges: case Opcode::NotInRanges: {
        const std::size_t end = static_cast<std::size_t>(operand);
        if (end <= index || end > size) Malformed();
        const bool wanted = code[index].opcode == static_cast<std::int32_t>(Opcode::InRanges);
        if (text_[position] == 0 || InRanges(index, end, position) != wanted) {
          backtrack();
          break;
        }
        ++position;
        index = end;
        break;
      }
      case Opcode::Jump:
        go(static_cast<std::size_t>(operand));
        // A jump to the end: the match is over without another step.
        if (index < size && code[index].opcode == static_cast<std::int32_t>(Opcode::Accept)) {
          return finish(Outcome::Matched);
        }
        break;
      case Opcode::PushPos:
        if (!push(position)) return finish(Outcome::NoMatch);
        ++index;
        break;
      case Opcode::PopPos: position = pop(); ++index; break;
      case Opcode::Fork:
        if (guards != nullptr) {
          ForkGuard& guard = guards[index];
          if (!guard.explored()) guard = ForkGuard::Explore(program_, index);
          // Iterations the unit here passes, then this Fork as it would
          // come again (the unit after them fails the loop's test).
          if (guard.headsGreedyUnitLoop() && !takeGreedyIterations(guard)) return finish(Outcome::NoMatch);
          if (guard.Skips(text_[position])) {
            // The loop's PushPos left the position on the stack; it moves along.
            const bool lazyLoop = guard.headsLazyUnitLoop() && depth > 0 && stack[depth] == position;
            if (lazyLoop) position = SkipLazyIterations(guard, index, position);
            for (std::size_t i = 0; i < guard.writeCount(); ++i) Write(guard.write(i), position, groups, slots);
            if (guard.headsGreedyUnitLoop()) {  // PopPos, PopSlot and the Jump out
              position = pop();
              slot(guard.loopSlot()) = pop();
              go(static_cast<std::size_t>(code[index + 3].operand));
              break;
            }
            // The iteration after the skipped ones is taken as well: PopPos,
            // the test, Jump and PushPos leave the next position on the
            // stack, and this Fork comes again, at a unit the walk found
            // the guard does not skip (if it did, the Fork runs once more).
            const bool further = lazyLoop && TestPasses(index + 2, position);
            if (further) ++position;
            if (lazyLoop) stack[depth] = position;
            if (!further) ++index;
            if (!further || guard.Skips(text_[position])) break;
          }
        }
        if (!push(index + 1)) return finish(Outcome::NoMatch);
        go(static_cast<std::size_t>(operand));
        break;
      case Opcode::Backtrack: backtrack(); break;
      case Opcode::PushSlot:
        if (!push(slot(operand))) return finish(Outcome::NoMatch);
        ++index;
        // The head of a greedy loop over one unit: its SavePos and PushPos
        // go with it, on to the loop's Fork.
        if (guards != nullptr && index + 2 < size && guards[index + 2].headsGreedyUnitLoop()) {
          slot(operand) = position;
          if (!push(position)) return finish(Outcome::NoMatch);
          index += 2;
        }
        break;
      case Opcode::PopSlot: {
        const std::size_t value = pop();
        slot(operand) = value;
        ++index;
        break;
      }
      case Opcode::SavePos: slot(operand) = position; ++index; break;
      case Opcode::SaveDepth: slot(operand) = depth; ++index; break;
      case Opcode::LoadPos: position = slot(operand); ++index; break;
      // Dropping entries is all a depth change may do; a saved depth above
      // the current one would expose stale storage.
      case Opcode::LoadDepth: {
        const std::size_t saved = slot(operand);
        if (saved > depth) Malformed();
        depth = saved;
        ++index;
        break;
      }
      case Opcode::RequireProgress:
        if (position == slot(operand)) {
          backtrack();
          break;
        }
        ++index;
        break;
      case Opcode::BackRef: {
        std::size_t length = 0;
        if (!BackRef(group(operand), position, length)) {
          backtrack();
          break;
        }
        position += length;
        ++index;
        break;
      }
      case Opcode::GiveUp: return finish(Outcome::NoMatch);
      case Opcode::NextStart:
        if (!nextStart()) return finish(Outcome::NoMatch);
        break;
      case Opcode::Accept: return finish(Outcome::Matched);
      case Opcode::PushGroup: {
        const GroupSpan span = group(operand);
        if (!push(span.start) || !push(span.end)) return finish(Outcome::NoMatch);
        ++index;
        break;
      }
      case Opcode::PopGroup: {
        GroupSpan& span = group(operand);
        span.end = pop();
        span.start = pop();
        ++index;
        break;
      }
      default: Malformed();
    }
  }
}

// From a lazy loop's Fork that the guard skips at `position`: while the
// loop's unit test takes the unit there and the guard skips the next one
// too, a whole iteration would only move one unit on (the places the
// guard writes are written again each time), so they are taken at once.
std::size_t PatternMatcher::SkipLazyIterations(const ForkGuard& guard, std::size_t fork, std::size_t position) const {
  const std::size_t test = fork + 2;
  const PatternInstruction& instruction = program_.instructions.At(test);
  if (instruction.opcode == static_cast<std::int32_t>(Opcode::AnyChar)) {
    const WideChar* const end = context_.textEnd_;
    return end == nullptr ? guard.SkipsFrom(text_, position)
                          : guard.SkipsUntil(text_, position, static_cast<std::size_t>(end - text_));
  }
  while (text_[position] != 0 && Passes(instruction, test, position) && guard.Skips(text_[position + 1])) ++position;
  return position;
}

// Whether the one-unit test at `index` takes the unit at `position`.
bool PatternMatcher::TestPasses(std::size_t index, std::size_t position) const {
  if (text_[position] == 0) return false;
  const PatternInstruction& test = program_.instructions.At(index);
  return test.opcode == static_cast<std::int32_t>(Opcode::AnyChar) || Passes(test, index, position);
}

// Whether the one-unit test at `index` takes the unit at `position` (not
// the terminator).
bool PatternMatcher::Passes(const PatternInstruction& test, std::size_t index, std::size_t position) const {
  switch (static_cast<Opcode>(test.opcode)) {
    case Opcode::AnyChar: return true;
    case Opcode::Char: return FoldedAt(position) == test.operand;
    case Opcode::InRanges: return InRanges(index, static_cast<std::size_t>(test.operand), position);
    default: return !InRanges(index, static_cast<std::size_t>(test.operand), position);
  }
}

// What a skipped Fork target would have left behind.
void PatternMatcher::Write(const StatePlace& place, std::size_t position, GroupSpan* groups, std::size_t* slots) {
  switch (place.kind) {
    case StatePlace::Kind::Slot: slots[place.number] = position; break;
    case StatePlace::Kind::GroupStart: groups[place.number].start = position; break;
    case StatePlace::Kind::GroupEnd: groups[place.number].end = position; break;
  }
}

// Whether the unit at `position` (not the terminator) lies in one of the
// pairs held by the Pass instructions between `index` and `end`.
bool PatternMatcher::InRanges(std::size_t index, std::size_t end, std::size_t position) const {
  const PatternInstruction* const code = program_.instructions.data();
  const WideChar unit = FoldedAt(position);
  for (std::size_t pair = index + 1; pair + 1 < end; pair += 2) {
    if (code[pair].operand <= unit && unit <= code[pair + 1].operand) return true;
  }
  return false;
}

// A group with only one end recorded, or with its end before its start
// (a reference inside its own group), has no defined text: no match.
bool PatternMatcher::BackRef(const GroupSpan& span, std::size_t position, std::size_t& length) const {
  const bool hasStart = span.start != kUnsetPosition;
  const bool hasEnd = span.end != kUnsetPosition;
  if (hasStart != hasEnd || (hasStart && span.end < span.start)) return false;
  length = hasStart ? span.end - span.start : 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (text_[position + i] == 0 || FoldedAt(position + i) != FoldedAt(span.start + i)) return false;
  }
  return true;
}

// Groups that recorded only one end are reported unset.
void PatternMatcher::Finish(std::size_t position) {
  context_.matchEnd_ = position;
  for (std::int32_t i = 0; i < context_.groupCount_; ++i) {
    GroupSpan& span = context_.groups_[static_cast<std::size_t>(i)];
    if (!span.IsSet()) span = GroupSpan{};
  }
}

}  // namespace pattern
