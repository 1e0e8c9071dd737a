// Helpers shared by the pattern engine's tests.
#pragma once

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

#include "allocation_hook.h"
#include "platform/seam.h"

namespace pattern_test {

inline WideString W(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

// `text` with quotes, and with control and other units escaped, so that a
// printed case stays on one line.
template <typename Unit>
std::string Quoted(const Unit* text) {
  std::string out = "\"";
  for (; *text != 0; ++text) {
    const auto unit = static_cast<std::uint32_t>(*text);
    if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\') {
      out.push_back(static_cast<char>(unit));
    } else {
      char escaped[16];
      std::snprintf(escaped, sizeof escaped, "\\x{%x}", static_cast<unsigned>(unit));
      out += escaped;
    }
  }
  return out + "\"";
}

// Names a table's rows by their place and the letters and digits of their
// pattern, so that the row of a failure can be told at a glance.
struct ByPattern {
  template <typename Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name = std::to_string(info.index) + "_";
    for (auto* unit = info.param.pattern; *unit != 0 && name.size() < 24; ++unit) {
      const auto c = static_cast<std::uint32_t>(*unit);
      if (c < 0x80 && std::isalnum(static_cast<int>(c))) name.push_back(static_cast<char>(c));
    }
    return name;
  }
};

// Fails the allocations from the `failAt`-th on (counting from 1) while it lives.
class AllocationFailer {
 public:
  explicit AllocationFailer(int failAt) { testalloc::AllocationHook::FailFrom(static_cast<std::size_t>(failAt)); }
  ~AllocationFailer() { testalloc::AllocationHook::Open(); }
  AllocationFailer(const AllocationFailer&) = delete;
  AllocationFailer& operator=(const AllocationFailer&) = delete;
  int seen() const { return static_cast<int>(testalloc::AllocationHook::Count()); }
};

}  // namespace pattern_test
