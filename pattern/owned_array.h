// A block of trivially copyable elements owned through the allocator seam,
// so that tests can fail any of the engine's allocations. New elements are
// not initialised: every user writes an element before reading it.
#pragma once

#include <cstddef>
#include <cstring>
#include <limits>
#include <type_traits>

#include "platform/memory.h"

namespace pattern {

template <typename T>
class OwnedArray {
  static_assert(std::is_trivially_copyable<T>::value, "moved with memcpy");

 public:
  OwnedArray() = default;
  ~OwnedArray() { memory::Release(data_); }
  OwnedArray(const OwnedArray&) = delete;
  OwnedArray& operator=(const OwnedArray&) = delete;

  // Makes room for at least `count` elements, keeping the first `keep`;
  // false (with the old block intact) when the allocator refuses.
  bool Reserve(std::size_t count, std::size_t keep) {
    if (count <= capacity_) return true;
    if (count > std::numeric_limits<std::size_t>::max() / sizeof(T)) return false;
    T* grown = static_cast<T*>(memory::AllocateUninitialized(count * sizeof(T)));
    if (grown == nullptr) return false;
    if (keep > capacity_) keep = capacity_;
    if (keep > 0) std::memcpy(grown, data_, keep * sizeof(T));
    memory::Release(data_);
    data_ = grown;
    capacity_ = count;
    return true;
  }

  void Free() {
    memory::Release(data_);
    data_ = nullptr;
    capacity_ = 0;
  }

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t capacity() const { return capacity_; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }

 private:
  T* data_ = nullptr;
  std::size_t capacity_ = 0;
};

}  // namespace pattern
