// The memory figures are only as good as this count.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "counting_allocator.h"

namespace {

const std::size_t kMiB = std::size_t{1} << 20;

// Called through volatile pointers, so the compiler can't drop an unused pair.
void* (*volatile gMalloc)(std::size_t) = std::malloc;
void* (*volatile gCalloc)(std::size_t, std::size_t) = std::calloc;
void (*volatile gFree)(void*) = std::free;

TEST(CountingAllocator, FollowsEveryKindOfBlockAndItsRelease) {
  const struct {
    const char* name;
    void* (*allocate)();
  } kinds[] = {
      {"malloc", [] { return std::malloc(kMiB); }},
      {"calloc", [] { return std::calloc(kMiB, 1); }},
      {"realloc", [] { return std::realloc(std::malloc(16), kMiB); }},
      {"aligned_alloc", [] { return std::aligned_alloc(64, kMiB); }},
      {"new[]", [] { return static_cast<void*>(new char[kMiB]); }},
  };
  for (const auto& kind : kinds) {
    alloccount::ResetPeaks();
    const std::size_t before = alloccount::Current().live;
    void* block = kind.allocate();
    ASSERT_NE(block, nullptr);
    EXPECT_GE(alloccount::Current().live - before, kMiB) << kind.name;
    if (std::string(kind.name) == "new[]") delete[] static_cast<char*>(block);
    else std::free(block);
    EXPECT_EQ(alloccount::Current().live, before) << kind.name;
    EXPECT_GE(alloccount::Current().peak - before, kMiB) << kind.name;
  }
}

TEST(CountingAllocator, CountsCallocBlocksApartAndResetsPeaks) {
  alloccount::ResetPeaks();
  const alloccount::Usage start = alloccount::Current();
  void* plain = gMalloc(kMiB);
  EXPECT_EQ(alloccount::Current().callocPeak, start.callocLive);
  void* zeroed = gCalloc(2 * kMiB, 1);
  EXPECT_GE(alloccount::Current().callocPeak - start.callocLive, 2 * kMiB);
  gFree(zeroed);
  EXPECT_EQ(alloccount::Current().callocLive, start.callocLive);
  alloccount::ResetPeaks();
  EXPECT_EQ(alloccount::Current().callocPeak, start.callocLive);
  EXPECT_EQ(alloccount::Current().calls, 0u);
  gFree(plain);
}

}  // namespace
