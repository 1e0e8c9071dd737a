// The allocator seam: every block the core owns comes from here, so tests
// can make any chosen allocation fail. Blocks come from the C allocator.
#pragma once

#include <cstddef>

namespace memory {

// Zero-filled block of `bytes` bytes (at least one), or nullptr when the
// allocator refuses or the failure gate says no.
void* AllocateZeroed(std::size_t bytes);

// Releases a block from AllocateZeroed; nullptr is ignored.
void Release(void* block);

// Test hook: asked before every allocation; returning false fails it.
// nullptr (the default) lets every allocation through.
using FailureGate = bool (*)();
void SetFailureGate(FailureGate gate);
bool GateAllows();

}  // namespace memory
