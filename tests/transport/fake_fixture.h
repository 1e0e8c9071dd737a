// Common ground of the transport tests over the fake platform: a fresh
// script per test, the allocation gate opened again afterwards, and small
// text helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "fake_platform.h"
#include "platform/memory.h"
#include "platform/seam.h"

namespace transporttest {

inline WideString Wide(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

inline std::string Narrow(const WideString& text) {
  std::string narrow;
  for (WideChar c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

inline const WideString kHttpUrl = WTEXT("http://service.test/api/call");

// Counts allocations and fails the ones the test picks.
class AllocationGate {
 public:
  // Fails allocation number `failAt` (1-based) and only that one; 0 fails none.
  static void FailOnly(std::size_t failAt) {
    failAt_ = failAt;
    count_ = 0;
    memory::SetFailureGate(&Allow);
  }
  static void Open() { memory::SetFailureGate(nullptr); }
  static std::size_t Count() { return count_; }

 private:
  static bool Allow() { return ++count_ != failAt_; }
  static inline std::size_t failAt_ = 0;
  static inline std::size_t count_ = 0;
};

class FakePlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    AllocationGate::Open();
  }
  void TearDown() override {
    AllocationGate::Open();
    EXPECT_EQ(fake::OpenHandleCount(), 0u) << "a WinHTTP handle was left open";
    EXPECT_EQ(fake::BadCloseCount(), 0u) << "a handle was closed twice or never opened";
    for (const fake::HandedOutString& handed : fake::HandedOutStrings()) {
      EXPECT_EQ(handed.freeCount, 1u) << handed.label << " must be released exactly once";
    }
    EXPECT_EQ(fake::UnknownFreeCount(), 0u);
  }
};

}  // namespace transporttest
