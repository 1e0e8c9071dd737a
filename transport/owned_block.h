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

template <typename T>
bool FitsInBytes(std::size_t count) {
  return count <= std::numeric_limits<std::size_t>::max() / sizeof(T);
}

// `count` zero-filled elements, or null when they cannot be had.
template <typename T>
Block<T> AllocateBlock(std::size_t count) {
  if (!FitsInBytes<T>(count)) return Block<T>();
  return Block<T>(static_cast<T*>(memory::AllocateZeroed(count * sizeof(T))));
}

// `count` elements the owner writes before it reads them, or null.
template <typename T>
Block<T> AllocateUninitializedBlock(std::size_t count) {
  if (!FitsInBytes<T>(count)) return Block<T>();
  return Block<T>(static_cast<T*>(memory::AllocateUninitialized(count * sizeof(T))));
}

// Resizes `block` to `count` elements, keeping the leading ones; the rest
// are undefined. False when that cannot be had: `block` is then unchanged.
template <typename T>
bool ResizeBlock(Block<T>& block, std::size_t count) {
  if (!FitsInBytes<T>(count)) return false;
  void* resized = memory::Reallocate(block.get(), count * sizeof(T));
  if (resized == nullptr) return false;
  block.release();
  block.reset(static_cast<T*>(resized));
  return true;
}

}  // namespace transport
