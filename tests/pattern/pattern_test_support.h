// Helpers shared by the pattern engine's tests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pattern/pattern_program.h"

namespace pattern_test {

using Listing = std::vector<std::pair<pattern::Opcode, std::uint64_t>>;

inline WideString W(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

inline Listing ListingOf(const pattern::PatternProgram& program) {
  Listing listing;
  for (std::size_t i = 0; i < program.instructions.size(); ++i) {
    const pattern::PatternInstruction& instruction = program.instructions.At(i);
    listing.emplace_back(static_cast<pattern::Opcode>(instruction.opcode), instruction.operand);
  }
  return listing;
}

// One Char per unit of `literal`.
inline Listing Chars(const std::string& literal) {
  Listing listing;
  for (const char unit : literal) listing.emplace_back(pattern::Opcode::Char, static_cast<unsigned char>(unit));
  return listing;
}

inline Listing operator+(Listing left, const Listing& right) {
  left.insert(left.end(), right.begin(), right.end());
  return left;
}

// Fails the allocations from the `failAt`-th on (counting from 1) while armed.
class AllocationFailer {
 public:
  explicit AllocationFailer(int failAt);
  ~AllocationFailer();
  int seen() const;
};

}  // namespace pattern_test
