#include "pattern/fork_guard.h"

#include <optional>

#include "pattern/code_layout.h"
#include "pattern/text_fold.h"
#include "platform/unit_words.h"

namespace pattern {
namespace {

// Bounds that keep an exploration small; beyond them the Fork is unguarded.
constexpr std::size_t kMaxSteps = 256;
constexpr std::size_t kMaxEntries = 32;
constexpr std::size_t kMaxPlaces = 8;

// The units 0 to 127 between `lower` and `upper` that fall in the 64-unit
// word `word`, as bits.
std::uint64_t BitsBetween(std::uint64_t lower, std::uint64_t upper, unsigned word) {
  const std::uint64_t base = 64u * word;
  if (lower > upper || upper < base || lower > base + 63) return 0;
  const std::uint64_t from = lower > base ? lower - base : 0;
  const std::uint64_t to = upper < base + 63 ? upper - base : 63;
  const std::uint64_t upTo = to == 63 ? ~std::uint64_t{0} : (std::uint64_t{1} << (to + 1)) - 1;
  return upTo & ~((std::uint64_t{1} << from) - 1);
}

// A..Z in the second word: the raw units that fold to a..z.
constexpr std::uint64_t kUpperLetters = ((std::uint64_t{1} << 26) - 1) << (WTEXT('A') - 64);

bool SamePlace(const StatePlace& a, const StatePlace& b) { return a.kind == b.kind && a.number == b.number; }

bool Is(const PatternInstruction& instruction, Opcode opcode) {
  return instruction.opcode == static_cast<std::int32_t>(opcode);
}

// Where the code goes on after the one-unit test at `test` passes; 0 when
// the instruction is no such test (the terminator's Char is none).
std::size_t AfterUnitTest(const InstructionList& code, std::size_t test) {
  const PatternInstruction& instruction = code.At(test);
  if (Is(instruction, Opcode::InRanges) || Is(instruction, Opcode::NotInRanges)) {
    const std::size_t end = static_cast<std::size_t>(instruction.operand);
    return end > test && end < code.size() ? end : 0;
  }
  const bool unitTest = Is(instruction, Opcode::AnyChar) || (Is(instruction, Opcode::Char) && instruction.operand != 0);
  return unitTest ? test + 1 : 0;
}

// A lazy loop over one unit test: its body is the test, then the Jump back.
std::optional<LazyLoop> LazyUnitLoopAt(const InstructionList& code, std::size_t fork) {
  const std::optional<LazyLoop> loop = LazyLoopAt(code, fork);
  if (!loop || AfterUnitTest(code, loop->body) != loop->jumpBack) return std::nullopt;
  return loop;
}

}  // namespace

// The symbolic machine: the position is one unknown that never changes
// (nothing is consumed), and every other value is either that position or
// what some place held when the exploration began.
class ForkExploration {
 public:
  explicit ForkExploration(const PatternProgram& program) : program_(program) {}

  ForkGuard Run(std::size_t fork) {
    index_ = static_cast<std::size_t>(program_.instructions.At(fork).operand);
    for (std::size_t step = 0; step < kMaxSteps; ++step) {
      switch (Step()) {
        case Next::Continue: break;
        case Next::Lost: return Unguarded();
        case Next::Done: return Finish();
      }
    }
    return Unguarded();
  }

 private:
  enum class Next { Continue, Done, Lost };
  struct Value {
    bool isPosition;
    StatePlace place;  // whose first value this is, when not the position
  };
  struct Entry {
    bool isIndex;
    std::size_t index;
    Value value;
  };
  struct Written {
    StatePlace place;
    Value value;
  };

  static ForkGuard Unguarded() {
    ForkGuard guard;
    guard.state_ = ForkGuard::State::Unguarded;
    return guard;
  }

  Next Step() {
    const InstructionList& code = program_.instructions;
    if (index_ == 0 || index_ >= code.size()) return Next::Lost;  // 0 would start an attempt
    const PatternInstruction& instruction = code.At(index_);
    const std::uint64_t operand = instruction.operand;
    StatePlace place{};
    switch (static_cast<Opcode>(instruction.opcode)) {
      case Opcode::Pass: break;
      case Opcode::OpenGroup:
        if (!Place(StatePlace::Kind::GroupStart, operand, place) || !Write(place, Position())) return Next::Lost;
        break;
      case Opcode::CloseGroup:
        if (!Place(StatePlace::Kind::GroupEnd, operand, place) || !Write(place, Position())) return Next::Lost;
        break;
      case Opcode::Char: AcceptChar(operand); return Fail();
      case Opcode::AnyChar: AcceptAllBut0(); return Fail();
      case Opcode::InRanges: case Opcode::NotInRanges: return AcceptClass(instruction) ? Fail() : Next::Lost;
      case Opcode::Jump: index_ = static_cast<std::size_t>(operand); return Next::Continue;
      case Opcode::PushPos: if (!Push(Entry{false, 0, Position()})) return Next::Lost; break;
      case Opcode::PopPos: {
        Value value{};
        if (!PopValue(value) || !value.isPosition) return Next::Lost;
        break;
      }
      case Opcode::Fork:
        if (!Push(Entry{true, index_ + 1, {}})) return Next::Lost;
        index_ = static_cast<std::size_t>(operand);
        return Next::Continue;
      case Opcode::Backtrack: return Fail();
      case Opcode::PushSlot:
        if (!Place(StatePlace::Kind::Slot, operand, place) || !Push(Entry{false, 0, Current(place)})) return Next::Lost;
        break;
      case Opcode::PopSlot: {
        Value value{};
        if (!Place(StatePlace::Kind::Slot, operand, place) || !PopValue(value) || !Write(place, value)) return Next::Lost;
        break;
      }
      case Opcode::SavePos:
        if (!Place(StatePlace::Kind::Slot, operand, place) || !Write(place, Position())) return Next::Lost;
        break;
      case Opcode::RequireProgress:
        // Only a slot that holds the position for sure fails for sure.
        if (!Place(StatePlace::Kind::Slot, operand, place) || !Current(place).isPosition) return Next::Lost;
        return Fail();
      case Opcode::PushGroup: return PushGroup(operand) ? Advance() : Next::Lost;
      case Opcode::PopGroup: return PopGroup(operand) ? Advance() : Next::Lost;
      default: return Next::Lost;  // looks around, ends, or moves the position
    }
    return Advance();
  }

  Next Advance() {
    ++index_;
    return Next::Continue;
  }

  // A test failed: back to the last pushed index, or, when none is left,
  // to the Fork's own entry, which ends the exploration.
  Next Fail() {
    if (depth_ == 0) return Next::Done;
    const Entry& top = stack_[--depth_];
    if (!top.isIndex) return Next::Lost;
    index_ = top.index;
    return Next::Continue;
  }

  ForkGuard Finish() {
    ForkGuard guard;
    guard.state_ = ForkGuard::State::Guarded;
    guard.accepted_[0] = accepted_[0];
    guard.accepted_[1] = accepted_[1];
    guard.nonAsciiMayPass_ = nonAsciiMayPass_;
    guard.highestStop_ = HighestAccepted();
    for (std::size_t i = 0; i < writtenCount_; ++i) {
      const Written& written = written_[i];
      if (!written.value.isPosition) {
        if (SamePlace(written.value.place, written.place)) continue;  // put back as it was
        return Unguarded();
      }
      if (guard.writeCount_ == ForkGuard::kMaxWrites) return Unguarded();
      guard.writes_[guard.writeCount_++] = written.place;
    }
    return guard;
  }

  // The highest unit below 128 that some test accepts; 0 when none.
  WideChar HighestAccepted() const {
    if (accepted_[1] != 0) return static_cast<WideChar>(127 - __builtin_clzll(accepted_[1]));
    return accepted_[0] > 1 ? static_cast<WideChar>(63 - __builtin_clzll(accepted_[0])) : 0;
  }

  // The raw units that fold to `unit`.
  void AcceptChar(std::uint64_t unit) {
    if (unit >= 128) {
      nonAsciiMayPass_ = true;
      return;
    }
    const WideChar folded = static_cast<WideChar>(unit);
    if (FoldAscii(folded) == folded) AcceptRaw(folded);
    if (OtherAsciiCase(folded) != folded) AcceptRaw(OtherAsciiCase(folded));
  }

  void AcceptRaw(WideChar unit) { accepted_[unit >> 6] |= std::uint64_t{1} << (unit & 63); }

  void AcceptAllBut0() {
    accepted_[0] |= ~std::uint64_t{1};
    accepted_[1] = ~std::uint64_t{0};
    nonAsciiMayPass_ = true;
  }

  // The raw units whose folded form lies in (or, negated, outside) the
  // class's pairs; never the terminator.
  bool AcceptClass(const PatternInstruction& instruction) {
    const InstructionList& code = program_.instructions;
    const std::uint64_t end = instruction.operand;
    if (end <= index_ || end > code.size()) return false;
    std::uint64_t folded[2] = {0, 0};
    bool reachesNonAscii = false;
    for (std::size_t pair = index_ + 1; pair + 1 < end; pair += 2) {
      const std::uint64_t lower = code.At(pair).operand;
      const std::uint64_t upper = code.At(pair + 1).operand;
      folded[0] |= BitsBetween(lower, upper, 0);
      folded[1] |= BitsBetween(lower, upper, 1);
      reachesNonAscii = reachesNonAscii || (upper >= 128 && lower <= upper);
    }
    std::uint64_t raw[2] = {folded[0], (folded[1] & ~kUpperLetters) | ((folded[1] >> kAsciiCaseBit) & kUpperLetters)};
    if (instruction.opcode == static_cast<std::int32_t>(Opcode::NotInRanges)) {
      raw[0] = ~raw[0];
      raw[1] = ~raw[1];
      reachesNonAscii = true;
    }
    accepted_[0] |= raw[0] & ~std::uint64_t{1};
    accepted_[1] |= raw[1];
    nonAsciiMayPass_ = nonAsciiMayPass_ || reachesNonAscii;
    return true;
  }

  bool PushGroup(std::uint64_t group) {
    StatePlace start{}, end{};
    return Place(StatePlace::Kind::GroupStart, group, start) && Place(StatePlace::Kind::GroupEnd, group, end) &&
           Push(Entry{false, 0, Current(start)}) && Push(Entry{false, 0, Current(end)});
  }

  bool PopGroup(std::uint64_t group) {
    StatePlace start{}, end{};
    Value endValue{}, startValue{};
    return Place(StatePlace::Kind::GroupStart, group, start) && Place(StatePlace::Kind::GroupEnd, group, end) &&
           PopValue(endValue) && Write(end, endValue) && PopValue(startValue) && Write(start, startValue);
  }

  // False for a slot or group outside the program, which the machine
  // refuses at run time.
  bool Place(StatePlace::Kind kind, std::uint64_t number, StatePlace& place) const {
    const std::int32_t count = kind == StatePlace::Kind::Slot ? program_.slotCount : program_.groupCount;
    if (count <= 0 || number >= static_cast<std::uint64_t>(count)) return false;
    place = StatePlace{kind, static_cast<std::uint32_t>(number)};
    return true;
  }

  static Value Position() { return Value{true, {}}; }

  Value Current(const StatePlace& place) const {
    for (std::size_t i = 0; i < writtenCount_; ++i) {
      if (SamePlace(written_[i].place, place)) return written_[i].value;
    }
    return Value{false, place};
  }

  bool Write(const StatePlace& place, const Value& value) {
    for (std::size_t i = 0; i < writtenCount_; ++i) {
      if (SamePlace(written_[i].place, place)) {
        written_[i].value = value;
        return true;
      }
    }
    if (writtenCount_ == kMaxPlaces) return false;
    written_[writtenCount_++] = Written{place, value};
    return true;
  }

  bool Push(const Entry& entry) {
    if (depth_ == kMaxEntries) return false;
    stack_[depth_++] = entry;
    return true;
  }

  // Popping the Fork's own entry as a value is beyond what is followed.
  bool PopValue(Value& value) {
    if (depth_ == 0 || stack_[depth_ - 1].isIndex) return false;
    value = stack_[--depth_].value;
    return true;
  }

  const PatternProgram& program_;
  std::size_t index_ = 0;
  std::uint64_t accepted_[2] = {0, 0};
  bool nonAsciiMayPass_ = false;
  Entry stack_[kMaxEntries] = {};
  std::size_t depth_ = 0;
  Written written_[kMaxPlaces] = {};
  std::size_t writtenCount_ = 0;
};

bool ForkGuard::Applies(const PatternProgram& program) {
  const InstructionList& code = program.instructions;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const PatternInstruction& instruction = code.At(i);
    if (instruction.opcode == static_cast<std::int32_t>(Opcode::Char) && instruction.operand == 0) return false;
  }
  return true;
}

ForkGuard ForkGuard::Explore(const PatternProgram& program, std::size_t fork) {
  ForkGuard guard = ForkExploration(program).Run(fork);
  if (guard.state_ != State::Guarded) return guard;
  if (const std::optional<LazyLoop> lazy = LazyUnitLoopAt(program.instructions, fork)) {
    guard.lazyUnitLoop_ = true;
    guard.loopTest_ = lazy->body;
  }
  return guard;
}

std::size_t ForkGuard::SkipsUntil(const WideChar* text, std::size_t position, std::size_t end) const {
  if (nonAsciiMayPass_) return SkipsFrom(text, position);
  if (position >= end) return position;
  // Some unit of a word lies at or below the highest stop when one borrows
  // into its own clear high bit (the stop is below 0x8000); the lowest
  // such unit surely does, as no borrow reaches it. Sixteen units above the
  // stop are passed over at once, and the walk goes on after a unit that
  // is not above it but is skipped all the same.
  const std::uint64_t upTo = unit_words::kLowBits * (highestStop_ + 1u);
  const auto lowUnits = [upTo](const WideChar* units) {
    const std::uint64_t word = unit_words::Load(units);
    return (word - upTo) & ~word & unit_words::kHighBits;
  };
  const WideChar* unit = text + position + 1;
  const WideChar* const last = text + end;
  while (last - unit >= 16) {
    const std::uint64_t low[4] = {lowUnits(unit), lowUnits(unit + 4), lowUnits(unit + 8), lowUnits(unit + 12)};
    if ((low[0] | low[1] | low[2] | low[3]) == 0) {
      unit += 16;
      continue;
    }
    std::size_t word = 0;
    while (low[word] == 0) ++word;
    unit += 4 * word + __builtin_ctzll(low[word]) / 16;
    if (!Skips(*unit)) return static_cast<std::size_t>(unit - text) - 1;
    ++unit;
  }
  for (; unit != last; ++unit) {
    if (!Skips(*unit)) return static_cast<std::size_t>(unit - text) - 1;
  }
  return AfterSkip(text, end - 1);
}

}  // namespace pattern
