#include "pattern/pattern_program.h"

#include "pattern/pattern_compiler.h"
#include "pattern/pattern_failure.h"

namespace pattern {

// By half the capacity, and by at least the one instruction needed.
bool InstructionList::Grow() {
  const std::size_t capacity = storage_.capacity();
  const std::size_t grown = capacity + capacity / 2;
  return storage_.Reserve(grown > count_ + 1 ? grown : count_ + 1, count_);
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

PatternError PatternProgram::Compile(const WideChar* pattern) {
  return PatternCompiler(*this).Run(pattern);
}

}  // namespace pattern
