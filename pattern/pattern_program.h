// A compiled pattern: a flat list of instructions for the backtracking
// matcher, with the number of capture groups and slots it needs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pattern/owned_array.h"
#include "platform/seam.h"

namespace pattern {

// The numbers are part of the program format; the gaps are not opcodes.
// "Fail" means backtrack: pop an instruction index and go on there, the
// position unchanged. Unless said otherwise an instruction goes on with
// the next one.
enum class Opcode : std::int32_t {
  Pass = 0,              // nothing; also holds a class range's bound
  OpenGroup = 1,         // group's start := position
  CloseGroup = 2,        // group's end := position
  Char = 3,              // unit at the position is the operand: advance; else fail
  AnyChar = 4,           // not at the terminator: advance; else fail
  InRanges = 7,          // unit in a Pass pair before the operand: advance, go to the operand; else fail
  NotInRanges = 8,       // unit in no such pair: advance, go to the operand; else fail (never the terminator)
  Jump = 13,             // go to the operand
  PushPos = 14,          // push the position
  PopPos = 15,           // position := pop
  Fork = 16,             // push the next index; go to the operand
  Backtrack = 17,        // fail
  PushSlot = 20,         // push the slot's value
  PopSlot = 21,          // slot := pop
  SavePos = 22,          // slot := position
  SaveDepth = 23,        // slot := stack depth
  LoadPos = 24,          // position := slot
  LoadDepth = 25,        // stack depth := slot (drops the entries above)
  RequireProgress = 26,  // fail when the position equals the slot
  BackRef = 27,          // the group's text once more, ignoring ASCII case; else fail
  GiveUp = 28,           // stop: no match
  NextStart = 29,        // start a new attempt one unit further on, or stop at the end
  Accept = 30,           // stop: match
  PushGroup = 31,        // push the group's start, then its end
  PopGroup = 32,         // group's end := pop, then its start := pop
};

enum class PatternError : std::int32_t {
  Ok = 0,
  OutOfMemory = 1,
  UnclosedCapture = 2,
  UnclosedGroup = 3,
  BadClass = 4,
  BadAbbreviation = 5,
  EmptyClass = 6,
  BadBackReference = 7,
  ReversedRange = 8,
  EmptyRepeat = 9,
};

struct PatternInstruction {
  std::int32_t opcode;
  std::uint64_t operand;  // instruction index, group, slot or unit; 0 if unused
};

// What an opcode's operand names, so that code can be moved or copied.
enum class OperandKind { Index, Slot, Other };
OperandKind OperandKindOf(std::int32_t opcode);

// Whether `unit` (folded) lies in one of the pairs of bounds that the Pass
// instructions after the class test at `test`, up to `end`, hold.
inline bool InRangeList(const PatternInstruction* code, std::size_t test, std::size_t end, WideChar unit) {
  for (std::size_t pair = test + 1; pair + 1 < end; pair += 2) {
    if (code[pair].operand <= unit && unit <= code[pair + 1].operand) return true;
  }
  return false;
}

// Growable instruction array; every access by index is range-checked.
class InstructionList {
 public:
  std::size_t size() const { return count_; }
  // Room for `count` instructions, so that a compile need not grow the
  // array step by step; false when the allocator refuses.
  bool Reserve(std::size_t count) { return storage_.Reserve(count, count_); }
  // False when the array cannot grow.
  bool Append(Opcode opcode, std::uint64_t operand) {
    if (count_ == storage_.capacity() && !Grow(1)) return false;
    storage_[count_++] = PatternInstruction{static_cast<std::int32_t>(opcode), operand};
    return true;
  }
  // Moves the instructions from `at` on up by `count` places, leaving
  // `count` Pass instructions in the gap; false when the array cannot grow.
  bool InsertGap(std::size_t at, std::size_t count);
  // Drops `count` instructions from `at` on and moves the rest down.
  void Erase(std::size_t at, std::size_t count);
  // Appends a copy of the instructions from `first` up to `last`; false
  // when the array cannot grow.
  bool AppendCopy(std::size_t first, std::size_t last);
  // Adds `indexShift` to every instruction-index operand and `slotShift`
  // to every slot operand from `first` up to `last` (modulo 2^64, so a
  // shift may be negative).
  void Shift(std::size_t first, std::size_t last, std::uint64_t indexShift, std::uint64_t slotShift);
  // Drops the instructions from `count` on.
  void Truncate(std::size_t count);
  void Clear();
  // The whole array, for the matcher's step loop; size() entries.
  const PatternInstruction* data() const { return storage_.data(); }
  // Raise PatternFailure(E_INVALIDARG) for an index at or past the end.
  const PatternInstruction& At(std::size_t index) const {
    if (index >= count_) ThrowOutOfRange();
    return storage_[index];
  }
  void SetOperand(std::size_t index, std::uint64_t operand);
  void Set(std::size_t index, Opcode opcode, std::uint64_t operand);

 private:
  [[noreturn]] static void ThrowOutOfRange();
  bool Grow(std::size_t extra);

  OwnedArray<PatternInstruction> storage_;
  std::size_t count_ = 0;
};

class PatternProgram {
 public:
  // Replaces whatever the program held with the code for the
  // zero-terminated `pattern`. Anything but Ok leaves a program that must
  // not be run.
  PatternError Compile(const WideChar* pattern);

  std::int32_t parseError = 0;
  InstructionList instructions;
  std::int32_t groupCount = 0;
  std::int32_t slotCount = 0;
};

}  // namespace pattern
