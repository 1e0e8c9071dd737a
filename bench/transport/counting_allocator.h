// Counts the process's heap: malloc, calloc, realloc, the aligned forms and
// free are replaced for the whole program (operator new lands in malloc).
// calloc is counted apart too: the allocator seam takes its zero-filled
// blocks from there, so it shows the core's owned buffers.
#pragma once

#include <cstddef>

namespace alloccount {

struct Usage {
  std::size_t live = 0;        // bytes allocated now
  std::size_t peak = 0;        // most bytes allocated at once since the last reset
  std::size_t callocLive = 0;  // the same two for calloc blocks only
  std::size_t callocPeak = 0;
  std::size_t calls = 0;       // allocations since the last reset
};

Usage Current();

// Starts a new measurement: peaks drop to what is allocated now.
void ResetPeaks();

}  // namespace alloccount
