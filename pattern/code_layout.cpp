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

std::optional<GreedyLoop> GreedyLoopAt(const InstructionList& code, std::size_t fork) {
  using namespace greedy_loop;
  if (fork < kFork || !IsAt(code, fork, Opcode::Fork)) return std::nullopt;
  const std::size_t head = fork - kFork;
  if (!IsAt(code, head + kPushSlot, Opcode::PushSlot)) return std::nullopt;
  const std::uint64_t slot = code.At(head + kPushSlot).operand;
  const std::size_t body = head + kHeadLength;
  if (!IsAtWith(code, head + kSavePos, Opcode::SavePos, slot) || !IsAt(code, head + kPushPos, Opcode::PushPos) ||
      code.At(fork).operand != body || !IsAt(code, head + kPopPos, Opcode::PopPos) ||
      !IsAtWith(code, head + kPopSlot, Opcode::PopSlot, slot) || !IsAt(code, head + kJumpOut, Opcode::Jump)) {
    return std::nullopt;
  }
  // The Jump out lands right after the tail's Jump back.
  const std::size_t exit = static_cast<std::size_t>(code.At(head + kJumpOut).operand);
  if (exit < body + kJumpBack + 1) return std::nullopt;
  const std::size_t tail = exit - 1 - kJumpBack;
  if (!IsAtWith(code, tail + kRequireProgress, Opcode::RequireProgress, slot) ||
      !IsAtWith(code, tail + kSaveAgain, Opcode::SavePos, slot) || !IsAtWith(code, tail + kJumpBack, Opcode::Jump, head)) {
    return std::nullopt;
  }
  return GreedyLoop{head, body, tail, exit, slot};
}

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

std::size_t PastPlainGroupHeads(const InstructionList& code, std::size_t index) {
  using namespace plain_group;
  while (IsAtWith(code, index + kFork, Opcode::Fork, index + kHeadLength) &&
         IsAt(code, index + kBacktrack, Opcode::Backtrack)) {
    index += kHeadLength;
  }
  return index;
}

}  // namespace pattern
