// The allocation hook under the name the fake platform's users know it by:
// counts the allocations that pass the allocator seam and fails the one a
// test picks, so every allocation of a call can be failed in turn.
#pragma once

#include "allocation_hook.h"

namespace fake {
using AllocationGate = testalloc::AllocationHook;
}  // namespace fake
