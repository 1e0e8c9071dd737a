// Blocks owned by the client, from the allocator seam, released on every
// path by their owner's destructor.
#pragma once

#include <cstddef>
#include <limits>
#include <memory>

#include "platform/memory.h"

namespace transport {

struct BlockRelease {
  void operator()(void* block) const { memory::Release(block); }
};

template <typename T>
using Block = std::unique_ptr<T[], BlockRelease>;

// `count` zero-filled elements, or null when they cannot be had.
template <typename T>
Block<T> AllocateBlock(std::size_t count) {
  if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return Block<T>();
  return Block<T>(static_cast<T*>(memory::AllocateZeroed(count * sizeof(T))));
}

}  // namespace transport
