#include "pattern/pattern_program.h"

#include "pattern/pattern_compiler.h"
#include "pattern/pattern_failure.h"

namespace pattern {

bool InstructionList::Append(Opcode opcode, std::uint64_t operand) {
  if (count_ == storage_.capacity()) {
    const std::size_t capacity = storage_.capacity();
    const std::size_t grown = capacity + capacity / 2;
    if (!storage_.Reserve(grown > count_ + 1 ? grown : count_ + 1, count_)) return false;
  }
  storage_[count_++] = PatternInstruction{static_cast<std::int32_t>(opcode), operand};
  return true;
}

void InstructionList::Truncate(std::size_t count) {
  if (count < count_) count_ = count;
}

void InstructionList::Clear() {
  storage_.Free();
  count_ = 0;
}

const PatternInstruction& InstructionList::At(std::size_t index) const {
  if (index >= count_) throw PatternFailure(E_INVALIDARG);
  return storage_[index];
}

void InstructionList::SetOperand(std::size_t index, std::uint64_t operand) {
  if (index >= count_) throw PatternFailure(E_INVALIDARG);
  storage_[index].operand = operand;
}

PatternError PatternProgram::Compile(const WideChar* pattern) {
  return PatternCompiler(*this).Run(pattern);
}

}  // namespace pattern
