// The tests' one allocation hook. It counts the allocations the calling
// thread makes through the core's allocator seam, and through operator new
// too in programs that link allocation_hook_new, and fails the one a test
// picks: the seam returns nothing, operator new throws std::bad_alloc. So
// every allocation of one call can be failed in turn, while other threads
// (the loopback servers) allocate undisturbed.
#pragma once

#include <cstddef>

namespace testalloc {

class AllocationHook {
 public:
  // Starts counting on this thread; allocation number `failAt` (from 1)
  // fails, and only that one; 0 fails none.
  static void FailOnly(std::size_t failAt);
  // The same, but every allocation from number `firstFailing` on fails.
  static void FailFrom(std::size_t firstFailing);
  // Stops counting; the counts stay readable until the next FailOnly.
  static void Open();

  static std::size_t Count();
  static bool Fired();
  // Distinct call stacks (a few frames deep) the counted allocations came from.
  static std::size_t DistinctSites();

  // Asked by every allocation that can be failed: false for the one to fail.
  static bool Allow();
};

}  // namespace testalloc
