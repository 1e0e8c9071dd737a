#include "pattern/code_layout.h"

namespace pattern {
namespace {

bool IsAt(const InstructionList& code, std::size_t index, Opcode opcode) {
  return index < code.size() && code.At(index).opcode == static_cast<std::int32_t>(opcode);
}

bool IsAtWith(const InstructionList& code, std::size_t index, Opcode opcode, std::uint64_t operand) {
  return IsAt(code, index, opcode) && code.At(index).operand == operand;
}

}  // namespace

std::optional<LazyLoop> LazyLoopAt(const InstructionList& code, std::size_t fork) {
  using namespace lazy_loop;
  if (fork < kFork || !IsAt(code, fork, Opcode::Fork)) return std::nullopt;
  const std::size_t head = fork - kFork;
  const std::size_t exit = static_cast<std::size_t>(code.At(fork).operand);
  if (!IsAt(code, head + kPushPos, Opcode::PushPos) || !IsAt(code, head + kPopPos, Opcode::PopPos) ||
      exit < head + kHeadLength + 2 || !IsAtWith(code, exit - 1, Opcode::Jump, head)) {
    return std::nullopt;
  }
  return LazyLoop{head, head + kHeadLength, exit - 1};
}

}  // namespace pattern
