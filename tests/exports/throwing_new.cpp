#include "throwing_new.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> failAt{0};
std::atomic<std::size_t> counted{0};
std::atomic<bool> fired{false};

}  // namespace

namespace testalloc {

ThrowingNew::ThrowingNew(std::size_t nth) {
  counted = 0;
  fired = false;
  failAt = nth;
}

ThrowingNew::~ThrowingNew() { failAt = 0; }

bool ThrowingNew::Fired() const { return fired; }

}  // namespace testalloc

void* operator new(std::size_t bytes) {
  if (failAt != 0 && ++counted == failAt) {
    fired = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
  throw std::bad_alloc();
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
