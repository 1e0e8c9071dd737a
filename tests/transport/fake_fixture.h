// Common ground of the transport tests over the fake platform: a fresh
// script per test, the allocation gate opened again afterwards, and small
// text helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>

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

// Text fit for a test's printed parameter: printable ASCII as it stands,
// any other byte as \xNN and any other UTF-16 unit as \uXXXX; long text
// cut short.
template <typename Unit>
std::string Escaped(std::basic_string_view<Unit> text) {
  constexpr std::size_t kShown = 40;
  if (text.size() > kShown) return Escaped(text.substr(0, kShown)) + "...(" + std::to_string(text.size()) + " in all)";
  std::string out;
  for (Unit c : text) {
    const unsigned unit = static_cast<std::make_unsigned_t<Unit>>(c);
    if (unit >= 0x20 && unit < 0x7F) {
      out.push_back(static_cast<char>(unit));
      continue;
    }
    char escape[8];
    std::snprintf(escape, sizeof escape, sizeof(Unit) == 1 ? "\\x%02X" : "\\u%04X", unit);
    out += escape;
  }
  return out;
}
inline std::string Readable(std::string_view bytes) { return '"' + Escaped(bytes) + '"'; }
inline std::string Readable(std::u16string_view text) { return '"' + Escaped(text) + '"'; }

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
