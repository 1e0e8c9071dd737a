#include "pattern/match_shortcuts.h"

#include "pattern/pattern_matcher.h"
#include "pattern/pattern_search.h"
#include "pattern/text_fold.h"

namespace pattern {

MatchShortcuts::MatchShortcuts(const PatternProgram& program, const WideChar* text, std::size_t length)
    : program_(program), text_(text), length_(length) {
  const std::size_t size = program.instructions.size();
  if (!ForkGuard::Applies(program) || !guards_.Reserve(size, 0)) return;
  for (std::size_t i = 0; i < size; ++i) guards_[i] = ForkGuard{};
}

// At a unit its target surely fails at, a guarded Fork passes over the
// target. Anything else runs the Fork plainly.
bool MatchShortcuts::Fork(PatternMatcher& machine, std::uint64_t target) {
  const ForkGuard* const guard = GuardAt(machine.index_);
  if (guard != nullptr && guard->Skips(text_[machine.position_]) && PassOver(machine, *guard)) return true;
  return machine.Fork(target);
}

ForkGuard* MatchShortcuts::GuardAt(std::size_t fork) {
  if (guards_.capacity() == 0) return nullptr;
  ForkGuard& guard = guards_[fork];
  if (!guard.explored()) guard = ForkGuard::Explore(program_, fork);
  return &guard;
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
