// Counts the allocations of the calling thread, through the core's
// allocator seam and through operator new alike, and can make the k-th of
// them fail: the seam returns nothing, operator new throws std::bad_alloc.
// Other threads (the test servers) allocate undisturbed.
#pragma once

#include <cstddef>

namespace hardening::alloc {

// Starts counting on this thread; `failAt` 0 fails nothing.
void Arm(std::size_t failAt);
// Stops counting; the counts stay readable until the next Arm.
void Disarm();

// For other allocators to take part: counts one allocation of this thread
// and tells whether it may go ahead.
bool Admit();

std::size_t Counted();
bool Fired();
// Distinct call stacks (a few frames deep) the counted allocations came from.
std::size_t DistinctSites();

}  // namespace hardening::alloc
