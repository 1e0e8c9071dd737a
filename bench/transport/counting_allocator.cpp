#include "counting_allocator.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>

extern "C" {
void* __libc_malloc(std::size_t bytes);
void* __libc_calloc(std::size_t count, std::size_t bytes);
void* __libc_realloc(void* block, std::size_t bytes);
void* __libc_memalign(std::size_t alignment, std::size_t bytes);
void __libc_free(void* block);
}

namespace alloccount {
namespace {

std::atomic<std::size_t> gLive{0}, gPeak{0}, gCallocLive{0}, gCallocPeak{0}, gCalls{0};

void RaisePeak(std::atomic<std::size_t>& peak, std::size_t value) {
  std::size_t seen = peak.load();
  while (value > seen && !peak.compare_exchange_weak(seen, value)) {
  }
}

void* Added(void* block) {
  if (block == nullptr) return nullptr;
  RaisePeak(gPeak, gLive += malloc_usable_size(block));
  ++gCalls;
  return block;
}

// The calloc blocks alive now: few at a time, so a short list will do.
// Guarded by a spin lock, since a mutex could itself allocate.
struct CallocBlocks {
  static const std::size_t kCapacity = 4096;
  void* blocks[kCapacity];
  std::size_t sizes[kCapacity];
  std::size_t count = 0;
  std::atomic_flag busy = ATOMIC_FLAG_INIT;
} gCallocBlocks;

class SpinLock {
 public:
  SpinLock() {
    while (gCallocBlocks.busy.test_and_set(std::memory_order_acquire)) {
    }
  }
  ~SpinLock() { gCallocBlocks.busy.clear(std::memory_order_release); }
};

void RememberCalloc(void* block) {
  const std::size_t size = malloc_usable_size(block);
  SpinLock lock;
  if (gCallocBlocks.count == CallocBlocks::kCapacity) return;  // counted as ordinary
  gCallocBlocks.blocks[gCallocBlocks.count] = block;
  gCallocBlocks.sizes[gCallocBlocks.count++] = size;
  RaisePeak(gCallocPeak, gCallocLive += size);
}

void ForgetCalloc(void* block) {
  SpinLock lock;
  for (std::size_t i = 0; i < gCallocBlocks.count; ++i) {
    if (gCallocBlocks.blocks[i] != block) continue;
    gCallocLive -= gCallocBlocks.sizes[i];
    --gCallocBlocks.count;
    gCallocBlocks.blocks[i] = gCallocBlocks.blocks[gCallocBlocks.count];
    gCallocBlocks.sizes[i] = gCallocBlocks.sizes[gCallocBlocks.count];
    return;
  }
}

void Removed(void* block) {
  if (block == nullptr) return;
  gLive -= malloc_usable_size(block);
  ForgetCalloc(block);
}

}  // namespace

Usage Current() {
  Usage usage;
  usage.live = gLive.load();
  usage.peak = gPeak.load();
  usage.callocLive = gCallocLive.load();
  usage.callocPeak = gCallocPeak.load();
  usage.calls = gCalls.load();
  return usage;
}

void ResetPeaks() {
  gPeak = gLive.load();
  gCallocPeak = gCallocLive.load();
  gCalls = 0;
}

}  // namespace alloccount

using alloccount::Added;
using alloccount::Removed;

// A realloc of a calloc block counts it as an ordinary block from then on.
extern "C" void* calloc(std::size_t count, std::size_t bytes) {
  void* block = Added(__libc_calloc(count, bytes));
  if (block != nullptr) alloccount::RememberCalloc(block);
  return block;
}

extern "C" void* malloc(std::size_t bytes) { return Added(__libc_malloc(bytes)); }

extern "C" void* realloc(void* block, std::size_t bytes) {
  Removed(block);
  void* moved = __libc_realloc(block, bytes);
  if (moved == nullptr && block != nullptr && bytes != 0) {
    Added(block);  // the old block stays
    return nullptr;
  }
  return Added(moved);
}

extern "C" void free(void* block) {
  Removed(block);
  __libc_free(block);
}

extern "C" void* memalign(std::size_t alignment, std::size_t bytes) {
  return Added(__libc_memalign(alignment, bytes));
}

extern "C" void* aligned_alloc(std::size_t alignment, std::size_t bytes) {
  return Added(__libc_memalign(alignment, bytes));
}

extern "C" int posix_memalign(void** out, std::size_t alignment, std::size_t bytes) {
  void* block = Added(__libc_memalign(alignment, bytes));
  if (block == nullptr) return ENOMEM;
  *out = block;
  return 0;
}
