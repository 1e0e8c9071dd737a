// The Fork guards: which units a Fork's target surely fails at, what it
// leaves behind then, and that searches give the same results with the
// guards as a machine that explores every target.
#include <gtest/gtest.h>

#include "pattern/code_layout.h"
#include "pattern/fork_guard.h"
#include "pattern/match_context.h"
#include "pattern/pattern_matcher.h"
#include "pattern/pattern_search.h"
#include "pattern_test_support.h"
#include "reference_search.h"

namespace {

using pattern::ForkGuard;
using pattern::PatternError;
using pattern::PatternProgram;
using pattern::StatePlace;
using pattern_test::W;

struct GuardCase {
  const char* name;
  const char* pattern;
  bool lazy;               // the Fork of the program's first lazy loop, else of its first greedy one
  bool guarded;
  const char* skipped;     // units at which the target surely fails
  const char* notSkipped;  // units at which it may not
  std::size_t writes;
  bool lazyUnitLoop;  // a lazy loop over one unit test: skipped iterations are taken at once
};

// Found as the compiler describes its loops, wherever the code puts them:
// a greedy loop's head begins with the program's first PushSlot.
std::size_t FirstLoopFork(const PatternProgram& program, bool lazy) {
  const pattern::InstructionList& code = program.instructions;
  for (std::size_t i = 1; i < code.size(); ++i) {
    if (lazy && pattern::LazyLoopAt(code, i).has_value()) return i;
    if (!lazy && code.At(i).opcode == static_cast<std::int32_t>(pattern::Opcode::PushSlot)) {
      return i + pattern::greedy_loop::kFork;
    }
  }
  return 0;
}

void PrintTo(const GuardCase& c, std::ostream* out) {
  *out << pattern_test::Quoted(c.pattern) << (c.lazy ? ", lazy loop" : ", greedy loop")
       << (c.guarded ? ", guarded" : ", unguarded");
}

class ForkGuardTable : public ::testing::TestWithParam<GuardCase> {};

TEST_P(ForkGuardTable, SkipsOnlyUnitsNoTestAccepts) {
  const GuardCase& c = GetParam();
  PatternProgram program;
  ASSERT_EQ(program.Compile(W(c.pattern).c_str()), PatternError::Ok);
  const std::size_t fork = FirstLoopFork(program, c.lazy);
  ASSERT_NE(fork, 0u);
  const ForkGuard guard = ForkGuard::Explore(program, fork);
  EXPECT_TRUE(guard.explored());
  for (const char* unit = c.skipped; *unit != 0; ++unit) {
    EXPECT_EQ(guard.Skips(static_cast<WideChar>(*unit)), c.guarded) << "unit " << int(*unit);
  }
  for (const char* unit = c.notSkipped; *unit != 0; ++unit) {
    EXPECT_FALSE(guard.Skips(static_cast<WideChar>(*unit))) << "unit " << int(*unit);
  }
  if (c.guarded) {
    EXPECT_EQ(guard.writeCount(), c.writes);
  }
  EXPECT_EQ(guard.headsLazyUnitLoop(), c.lazyUnitLoop);
}

INSTANTIATE_TEST_SUITE_P(
    Programs, ForkGuardTable,
    ::testing::Values(
        // The lazy loop of the cookie pattern: its continuation closes the
        // group, then needs a carriage return or a line feed.
        GuardCase{"CookieContinuation", "Set-Cookie:\\b*{.+?}\\n", true, true, "a;= xX\t", "\r\n", 1, true},
        // A class, folded: both cases of a letter pass, and so does a digit.
        GuardCase{"ClassLoop", "x[a-c0-9]*", false, true, "dD-_ ", "aAcC05", 0, false},
        // A literal in a plain group: only its two cases can pass.
        GuardCase{"Literal", "x(q)*", false, true, "xyzR", "qQ", 0, false},
        // Non-ASCII members make every non-ASCII unit a possible pass.
        GuardCase{"NonAsciiClass", "x[\xc3]*", false, true, "ab", "\xc3", 0, false},
        // `.` accepts everything but the terminator.
        GuardCase{"AnyUnit", "x.*", false, true, "\0", "ab\r", 0, false},
        // A negated class passes what is not in it.
        GuardCase{"NegatedClass", "x[^a]*", false, true, "aA", "bz\r", 0, false},
        // A lazy loop over a class: its continuation closes the group, then needs an x.
        GuardCase{"LazyClass", "{[a-c]*?}x", true, true, "abz\r", "xX", 1, true},
        // A lazy loop over two units is guarded, but its iterations are not one unit each.
        GuardCase{"LazyPair", "{(ab)*?}c", true, true, "xyab", "cC", 1, false},
        // A look-ahead moves the position back: beyond what is followed.
        GuardCase{"LookAhead", "x(!ab)*", false, false, "", "abcx", 0, false},
        // A back-reference consumes what a group holds: not followed.
        GuardCase{"BackReference", "{a}\\0*", false, false, "", "ab", 0, false}),
    [](const ::testing::TestParamInfo<GuardCase>& param) { return std::string(param.param.name); });

TEST(ForkGuards, SearchesFindWhatAFreshMachineFinds) {
  // Lazy loops over `.`, a literal and a class take skipped iterations at
  // once; guarded Forks of greedy loops and alternations pass over their
  // targets.
  const char* const patterns[] = {"Set-Cookie:\\b*{.+?}\\n", "{[a-c]+}x", "{(ab)|(a)}", "{\\w}\\b*=",
                                  "{x?y*?}z", "{a}(b|\\n)*", "{[a-c]*?}x", "{.b*?}\\n", "{.+?}[;,!]",
                                  "{[a-c]*c}x", "{.*}\\n", "{(b)*b}x"};
  const char* const texts[] = {"Set-Cookie: a=1\r\nset-cookie:\tb=2; x\r\nSet-Cookie:\r\n", "abcx bx cabxx",
                               "abaab", "key = v\r\nName=x", "xyyz yz z", "ab\r\nbbx\na", "adbx",
                               // Line ends at every offset of a four-unit step, non-ASCII, a cut last line.
                               "Set-Cookie: a\r\nSet-Cookie: ab\nSet-Cookie: abc\r\nSet-Cookie: abcd\r\n"
                               "Set-Cookie: abcde\rx\nSet-Cookie: \xc3\xa9t\xe9\r\nSet-Cookie: no end",
                               "abcdefgh;ijklmnop,qrstuvwx!yz",
                               // Near misses of a literal prefix, each unit in a word checked.
                               "Set-CoXkie: zz\r\nSet-Cookie; yy\r\nsEt-Cookie: ok\r\n",
                               // Control units other than the line ends inside long values.
                               "Set-Cookie: abc\tdefghijk\x01lmnopqrstuvwxyz\tx\r\nSet-Cookie: \x0b\x0c\x0e" "12345678\r\n"};
  for (const char* p : patterns) {
    for (const char* t : texts) {
      std::vector<WideString> searched;
      ASSERT_TRUE(pattern::FindPatternGroups(W(p).c_str(), W(t).c_str(), searched));
      PatternProgram program;
      ASSERT_EQ(program.Compile(W(p).c_str()), PatternError::Ok);
      const std::vector<WideString> once = pattern_reference::PlainSearch(program, W(t));
      EXPECT_EQ(searched, once) << p << " over " << t;
      // Told where the text ends, the search reads ahead and finds the same.
      const WideString text = W(t);
      std::vector<pattern::CaptureSpan> spans;
      ASSERT_TRUE(pattern::FindPatternSpans(W(p).c_str(), text.c_str(), spans, pattern::kNoLimit, text.size()));
      std::vector<WideString> spanned;
      for (const pattern::CaptureSpan& span : spans) spanned.emplace_back(text.c_str() + span.start, text.c_str() + span.end);
      EXPECT_EQ(spanned, once) << p << " over " << t << ", length given";
    }
  }
}

}  // namespace
