// The layouts the compiler emits for groups and loops, said once: the
// compiler builds its code from these offsets, and code that needs to
// recognise a loop in a program (the Fork guards, the tests) reads it
// here. No other
// file knows where an instruction of a layout lies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "pattern/pattern_program.h"

namespace pattern {

// Plain group (x): Fork to the body; Backtrack; the body.
namespace plain_group {
constexpr std::size_t kFork = 0;
constexpr std::size_t kBacktrack = 1;
constexpr std::size_t kHeadLength = 2;
}  // namespace plain_group

// Alternation x|y: the head, x, a Jump past y, then y.
namespace alternation {
constexpr std::size_t kPushPos = 0;
constexpr std::size_t kFork = 1;  // to x
constexpr std::size_t kPopPos = 2;
constexpr std::size_t kJumpToRight = 3;  // to y
constexpr std::size_t kHeadLength = 4;
}  // namespace alternation

// Greedy x* (and x?, which lacks the Jump back): the head, the body, then
// the tail.
namespace greedy_loop {
constexpr std::size_t kPushSlot = 0;
constexpr std::size_t kSavePos = 1;
constexpr std::size_t kPushPos = 2;
constexpr std::size_t kFork = 3;  // to the body
constexpr std::size_t kPopPos = 4;
constexpr std::size_t kPopSlot = 5;
constexpr std::size_t kJumpOut = 6;  // past the tail
constexpr std::size_t kHeadLength = 7;
// The tail: RequireProgress; SavePos; (x* only) Jump back to the head.
}  // namespace greedy_loop

// Lazy x*? (and x??, which lacks the Jump back): the head, the body, then
// the Jump back to the head.
namespace lazy_loop {
constexpr std::size_t kPushPos = 0;
constexpr std::size_t kFork = 1;  // past the loop
constexpr std::size_t kPopPos = 2;
constexpr std::size_t kHeadLength = 3;
}  // namespace lazy_loop

// A lazy x*? found in a program, by the index of its Fork.
struct LazyLoop {
  std::size_t head;      // the PushPos
  std::size_t body;      // the first instruction of x
  std::size_t jumpBack;  // the Jump after x
};
std::optional<LazyLoop> LazyLoopAt(const InstructionList& code, std::size_t fork);

}  // namespace pattern
