// The caller program's line format: a fault here would make every Wine test
// pass the wrong bytes or misread what came back.
#include <gtest/gtest.h>

#include "call_line.h"

namespace dllcaller {
namespace {

struct ParseCase {
  const char* line;
  bool ok;
  const char* kinds;
};

TEST(CallLine, ParsesEveryArgumentKindAndRejectsMalformedOnes) {
  const ParseCase cases[] = {
      {"CheckLimits s:41 s: r", true, "ssr"},
      {"CheckAccount s: s: s: null i:-1 b:16:a5", true, "ssssib"},
      {"UpdateBalance s:35 d:-0.0000004 s: i:2147483647 b:8:00", true, "sdsib"},
      {"RecvSignal s: s: i:-2147483648 i:0 w:2e2e b:8:ff r", true, "ssiiwbr"},
      {"UpdateBalance s: d:nan s: i:0 b:8:00", true, "sdsib"},
      {"CheckLimits s:4 r", false, ""},           // odd hex
      {"CheckLimits s:zz r", false, ""},          // not hex
      {"CheckLimits i:2147483648 r", false, ""},  // beyond 32 bits
      {"CheckLimits i:12x r", false, ""},
      {"CheckLimits i: r", false, ""},
      {"CheckLimits d:1.5e r", false, ""},
      {"CheckLimits b:0:a5", false, ""},
      {"CheckLimits b:8:a", false, ""},
      {"CheckLimits b:8", false, ""},
      {"CheckLimits q:00", false, ""},
      {"", false, ""},
  };
  for (const ParseCase& c : cases) {
    CallLine call;
    std::string error;
    EXPECT_EQ(ParseCallLine(c.line, call, error), c.ok) << c.line << ": " << error;
    if (c.ok) {
      EXPECT_EQ(ArgKinds(call), c.kinds) << c.line;
    }
  }
}

TEST(CallLine, DecodesValuesExactly) {
  CallLine call;
  std::string error;
  ASSERT_TRUE(ParseCallLine("RecvSignal s:00ff0d0a null i:-7 d:0.1 w:2e b:3:a5 r", call, error)) << error;
  EXPECT_EQ(std::string(call.args[0].bytes.begin(), call.args[0].bytes.end()), std::string("\0\xff\r\n\0", 5));
  EXPECT_TRUE(call.args[1].isNull);
  EXPECT_EQ(call.args[2].integer, -7);
  EXPECT_EQ(call.args[3].real, 0.1);
  EXPECT_EQ(call.args[5].bytes, std::vector<char>(3, static_cast<char>(0xa5)));
  EXPECT_EQ(call.args[6].integer, kResultSentinel);
}

TEST(CallLine, ReportsOutArgumentsInOrder) {
  CallLine call;
  std::string error;
  ASSERT_TRUE(ParseCallLine("RecvSignal s:61 s: i:1 i:2 w:2e31 b:4:a5 r", call, error)) << error;
  call.args[4].bytes[0] = '-';
  call.args[5].bytes[1] = 0;
  call.args[6].integer = -1;
  EXPECT_EQ(FormatResult(call, 0, 12), "RecvSignal ret=0 ms=12 w=2d3100 b=a500a5a5 r=-1");
}

}  // namespace
}  // namespace dllcaller
