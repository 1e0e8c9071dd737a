// Counts the allocations that pass the allocator seam and fails the one a
// test picks, so every allocation of a call can be failed in turn.
#pragma once

#include <cstddef>

#include "platform/memory.h"

namespace fake {

class AllocationGate {
 public:
  // Fails allocation number `failAt` (1-based) and only that one; 0 fails none.
  static void FailOnly(std::size_t failAt) {
    failAt_ = failAt;
    count_ = 0;
    memory::SetFailureGate(&Allow);
  }
  static void Open() { memory::SetFailureGate(nullptr); }
  static std::size_t Count() { return count_; }

 private:
  static bool Allow() { return ++count_ != failAt_; }
  static inline std::size_t failAt_ = 0;
  static inline std::size_t count_ = 0;
};

}  // namespace fake
