// Test hook over the global operator new: while a ThrowingNew is alive,
// the n-th allocation on any thread throws std::bad_alloc.
#pragma once

#include <cstddef>

namespace testalloc {

class ThrowingNew {
 public:
  explicit ThrowingNew(std::size_t failAt);
  ~ThrowingNew();
  ThrowingNew(const ThrowingNew&) = delete;
  ThrowingNew& operator=(const ThrowingNew&) = delete;
  bool Fired() const;
};

}  // namespace testalloc
