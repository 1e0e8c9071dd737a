// What a host process would notice of a library misbehaving: file
// descriptors left open, heap blocks left allocated, resident memory.
#pragma once

#include <cstddef>
#include <optional>

namespace hardening {

// Entries of /proc/self/fd.
std::size_t OpenDescriptorCount();

// Resident set size in KiB, from /proc/self/statm.
std::size_t ResidentKiB();

// Bytes the C allocator has handed out and not got back; none when the
// allocator cannot tell: under a sanitizer (which checks leaks itself), or
// unless GLIBC_TUNABLES holds glibc.malloc.tcache_count=0.
std::optional<std::size_t> LiveHeapBytes();

// Both at once, to compare before and after a stretch of calls.
struct HealthSnapshot {
  std::size_t descriptors = 0;
  std::optional<std::size_t> heapBytes;
  static HealthSnapshot Take();
};

}  // namespace hardening
