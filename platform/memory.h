// The allocator seam: every block the core owns comes from here, so tests
// can make any chosen allocation fail. Blocks come from the C allocator.
#pragma once

#include <cstddef>

namespace memory {

// Zero-filled block of `bytes` bytes (at least one), or nullptr when the
// allocator refuses or the failure gate says no.
void* AllocateZeroed(std::size_t bytes);

// A block of `bytes` bytes (at least one) with undefined contents, for
// buffers that are written before they are read; nullptr as above.
void* AllocateUninitialized(std::size_t bytes);

// Resizes a block from this seam to `bytes` (at least one), keeping its
// leading bytes; bytes beyond the old size are undefined. nullptr when the
// allocator refuses or the gate says no; the block then stays as it was.
void* Reallocate(void* block, std::size_t bytes);

// Releases a block from this seam; nullptr is ignored.
void Release(void* block);

// Test hook: asked before every allocation; returning false fails it.
// nullptr (the default) lets every allocation through.
using FailureGate = bool (*)();
void SetFailureGate(FailureGate gate);
bool GateAllows();

}  // namespace memory
