#include "pattern/match_shortcuts.h"

#include "pattern/code_layout.h"
#include "pattern/pattern_matcher.h"
#include "pattern/pattern_search.h"
#include "pattern/text_fold.h"

namespace pattern {

MatchShortcuts::MatchShortcuts(const PatternProgram& program, const WideChar* text, std::size_t length,
                               bool withGuards)
    : program_(program), text_(text), length_(length), prefix_(program, text, length) {
  const std::size_t size = program.instructions.size();
  if (!withGuards || !ForkGuard::Applies(program) || !guards_.Reserve(size, 0)) return;
  for (std::size_t i = 0; i < size; ++i) guards_[i] = ForkGuard{};
}

// A guarded Fork first takes the whole iterations of its greedy loop, if
// it heads one; then, at a unit its target surely fails at, it passes
// over the target. Anything else runs the Fork plainly.
bool MatchShortcuts::Fork(PatternMatcher& machine, std::uint64_t target) {
  ForkGuard* const guard = GuardAt(machine.index_);
  if (guard == nullptr) return machine.Fork(target);
  if (guard->headsGreedyUnitLoop() && !TakeGreedyIterations(machine, *guard)) return false;
  if (guard->Skips(text_[machine.position_]) && PassOver(machine, *guard)) return true;
  return machine.Fork(target);
}

ForkGuard* MatchShortcuts::GuardAt(std::size_t fork) {
  if (guards_.capacity() == 0) return nullptr;
  ForkGuard& guard = guards_[fork];
  if (!guard.explored()) guard = ForkGuard::Explore(program_, fork);
  return &guard;
}

// Whole iterations of a greedy loop over one unit test, each leaving what
// its steps would: the Fork's entry and each plain group's, the position
// as the slot's old value and as the head's PushPos pushes it, the slot
// at it. The first may fail the progress check; none after it can.
bool MatchShortcuts::TakeGreedyIterations(PatternMatcher& machine, const ForkGuard& guard) const {
  MatchContext& context = machine.context_;
  std::size_t& iterationStart = context.SlotAt(guard.loopSlot());
  const auto passes = [&](std::size_t position) {
    const WideChar unit = text_[position];
    return unit < 128 ? !guard.Skips(unit) : TestPasses(guard.loopTest(), position);
  };
  while (iterationStart != machine.position_ + 1 && passes(machine.position_)) {
    if (!context.Push(machine.index_ + 1)) return false;
    for (std::size_t group = guard.loopBody(); group < guard.loopTest(); group += plain_group::kHeadLength) {
      if (!context.Push(group + plain_group::kBacktrack)) return false;
    }
    ++machine.position_;
    if (!context.Push(machine.position_) || !context.Push(machine.position_)) return false;
    iterationStart = machine.position_;
  }
  return true;
}

// At a unit the target surely fails at: the writes the target leaves, and
// on after the Fork. False when the Fork must still run plainly.
bool MatchShortcuts::PassOver(PatternMatcher& machine, const ForkGuard& guard) const {
  MatchContext& context = machine.context_;
  // A lazy loop's PushPos left the position on the stack; it moves along.
  const bool lazyLoop = guard.headsLazyUnitLoop() && context.depth_ > 0 && context.Top() == machine.position_;
  if (lazyLoop) machine.position_ = SkipLazyIterations(guard, machine.position_);
  for (std::size_t i = 0; i < guard.writeCount(); ++i) {
    const StatePlace& place = guard.write(i);
    switch (place.kind) {
      case StatePlace::Kind::Slot: context.SlotAt(place.number) = machine.position_; break;
      case StatePlace::Kind::GroupStart: context.GroupAt(place.number).start = machine.position_; break;
      case StatePlace::Kind::GroupEnd: context.GroupAt(place.number).end = machine.position_; break;
    }
  }
  if (guard.headsGreedyUnitLoop()) {  // the head's PopPos, PopSlot and Jump out
    machine.position_ = context.Pop();
    context.SlotAt(guard.loopSlot()) = context.Pop();
    machine.index_ = guard.loopExit();
    return true;
  }
  // The lazy iteration after the skipped ones is taken as well: PopPos,
  // the test, Jump and PushPos leave the next position on the stack, and
  // this Fork comes again, at a unit the walk found the guard does not
  // skip (if it does, the Fork runs plainly once more).
  const bool further = lazyLoop && TestPasses(guard.loopTest(), machine.position_);
  if (further) ++machine.position_;
  if (lazyLoop) context.stack_[context.depth_] = machine.position_;
  if (!further) ++machine.index_;
  return !further || guard.Skips(text_[machine.position_]);
}

// From a lazy loop's Fork that the guard skips at `position`: while the
// loop's test takes the unit there and the guard skips the next one too,
// a whole iteration would only move one unit on (the places the guard
// writes are written again each time), so they are taken at once.
std::size_t MatchShortcuts::SkipLazyIterations(const ForkGuard& guard, std::size_t position) const {
  const std::size_t test = guard.loopTest();
  if (program_.instructions.At(test).opcode == static_cast<std::int32_t>(Opcode::AnyChar)) {
    return length_ == kLengthUnknown ? guard.SkipsFrom(text_, position) : guard.SkipsUntil(text_, position, length_);
  }
  while (TestPasses(test, position) && guard.Skips(text_[position + 1])) ++position;
  return position;
}

// Whether the one-unit test at `test` takes the unit at `position`.
bool MatchShortcuts::TestPasses(std::size_t test, std::size_t position) const {
  const WideChar unit = text_[position];
  if (unit == 0) return false;
  const PatternInstruction& instruction = program_.instructions.At(test);
  const std::size_t end = static_cast<std::size_t>(instruction.operand);
  switch (static_cast<Opcode>(instruction.opcode)) {
    case Opcode::AnyChar: return true;
    case Opcode::Char: return FoldAscii(unit) == instruction.operand;
    case Opcode::InRanges: return InRangeList(program_.instructions.data(), test, end, FoldAscii(unit));
    default: return !InRangeList(program_.instructions.data(), test, end, FoldAscii(unit));
  }
}

}  // namespace pattern
