#include "pattern/pattern_program.h"

#include <cstring>

#include "pattern/pattern_compiler.h"
#include "pattern/pattern_failure.h"

namespace pattern {

OperandKind OperandKindOf(std::int32_t opcode) {
  switch (static_cast<Opcode>(opcode)) {
    case Opcode::InRanges: case Opcode::NotInRanges: case Opcode::Jump: case Opcode::Fork:
      return OperandKind::Index;
    case Opcode::PushSlot: case Opcode::PopSlot: case Opcode::SavePos: case Opcode::SaveDepth:
    case Opcode::LoadPos: case Opcode::LoadDepth: case Opcode::RequireProgress:
      return OperandKind::Slot;
    default: return OperandKind::Other;
  }
}

// By half the capacity, and by at least the `extra` instructions needed.
bool InstructionList::Grow(std::size_t extra) {
  const std::size_t capacity = storage_.capacity();
  const std::size_t grown = capacity + capacity / 2;
  const std::size_t needed = count_ + extra;
  if (needed < count_) return false;
  return storage_.Reserve(grown > needed ? grown : needed, count_);
}

bool InstructionList::InsertGap(std::size_t at, std::size_t count) {
  if (at > count_) throw PatternFailure(E_INVALIDARG);
  if (count_ + count > storage_.capacity() && !Grow(count)) return false;
  PatternInstruction* code = storage_.data();
  std::memmove(code + at + count, code + at, (count_ - at) * sizeof(PatternInstruction));
  for (std::size_t i = at; i < at + count; ++i) code[i] = PatternInstruction{static_cast<std::int32_t>(Opcode::Pass), 0};
  count_ += count;
  return true;
}

void InstructionList::Erase(std::size_t at, std::size_t count) {
  if (at > count_ || count > count_ - at) throw PatternFailure(E_INVALIDARG);
  PatternInstruction* code = storage_.data();
  std::memmove(code + at, code + at + count, (count_ - at - count) * sizeof(PatternInstruction));
  count_ -= count;
}

bool InstructionList::AppendCopy(std::size_t first, std::size_t last) {
  if (first > last || last > count_) throw PatternFailure(E_INVALIDARG);
  const std::size_t count = last - first;
  if (count_ + count > storage_.capacity() && !Grow(count)) return false;
  std::memcpy(storage_.data() + count_, storage_.data() + first, count * sizeof(PatternInstruction));
  count_ += count;
  return true;
}

void InstructionList::Shift(std::size_t first, std::size_t last, std::uint64_t indexShift,
                            std::uint64_t slotShift) {
  if (first > last || last > count_) throw PatternFailure(E_INVALIDARG);
  for (std::size_t i = first; i < last; ++i) {
    PatternInstruction& instruction = storage_[i];
    switch (OperandKindOf(instruction.opcode)) {
      case OperandKind::Index: instruction.operand += indexShift; break;
      case OperandKind::Slot: instruction.operand += slotShift; break;
      case OperandKind::Other: break;
    }
  }
}

void InstructionList::Truncate(std::size_t count) {
  if (count < count_) count_ = count;
}

void InstructionList::Clear() {
  storage_.Free();
  count_ = 0;
}

void InstructionList::ThrowOutOfRange() { throw PatternFailure(E_INVALIDARG); }

void InstructionList::SetOperand(std::size_t index, std::uint64_t operand) {
  if (index >= count_) throw PatternFailure(E_INVALIDARG);
  storage_[index].operand = operand;
}

void InstructionList::Set(std::size_t index, Opcode opcode, std::uint64_t operand) {
  if (index >= count_) throw PatternFailure(E_INVALIDARG);
  storage_[index] = PatternInstruction{static_cast<std::int32_t>(opcode), operand};
}

PatternError PatternProgram::Compile(const WideChar* pattern) {
  return PatternCompiler(*this).Run(pattern);
}

}  // namespace pattern
