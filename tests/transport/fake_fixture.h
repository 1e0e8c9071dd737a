// Common ground of the transport tests over the fake platform: a fresh
// script per test, the allocation gate opened again afterwards, and small
// text helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

#include "allocation_gate.h"
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

using fake::AllocationGate;

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
