#include <gtest/gtest.h>

#include "pattern/pattern_failure.h"
#include "pattern/pattern_matcher.h"
#include "pattern_test_support.h"

namespace {

using pattern::kUnsetPosition;
using pattern::MatchContext;
using pattern::Opcode;
using pattern::PatternError;
using pattern::PatternMatcher;
using pattern::PatternProgram;
using pattern_test::W;

constexpr std::size_t U = kUnsetPosition;

struct MatchCase {
  const char16_t* pattern;
  const char16_t* text;
  bool found;
  std::size_t start, end;            // of the match
  std::size_t groupStart, groupEnd;  // of group 0, U when unset or absent
};

WideString Units(const char16_t* text) { return WideString(text, text + std::char_traits<char16_t>::length(text)); }

void PrintTo(const MatchCase& c, std::ostream* out) {
  *out << pattern_test::Quoted(c.pattern) << " over " << pattern_test::Quoted(c.text);
  if (c.found) *out << ": match " << c.start << ".." << c.end << ", group " << c.groupStart << ".." << c.groupEnd;
  else *out << ": no match";
}

class MatchTable : public ::testing::TestWithParam<MatchCase> {};

TEST_P(MatchTable, FindsTheFirstMatchInTrialOrder) {
  const MatchCase& c = GetParam();
  PatternProgram program;
  ASSERT_EQ(program.Compile(Units(c.pattern).c_str()), PatternError::Ok);
  MatchContext context;
  std::size_t end = 0;
  const WideString text = Units(c.text);
  ASSERT_EQ(PatternMatcher::Match(program, text.c_str(), &context, &end), c.found);
  if (!c.found) return;
  EXPECT_EQ(context.matchStart(), c.start);
  EXPECT_EQ(context.matchEnd(), c.end);
  EXPECT_EQ(end, c.end);
  if (context.groupCount() > 0) {
    EXPECT_EQ(context.group(0).start, c.groupStart);
    EXPECT_EQ(context.group(0).end, c.groupEnd);
  } else {
    EXPECT_EQ(c.groupStart, U);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Semantics, MatchTable,
    ::testing::Values(
        // Attempt starts, anchors and the end of the text.
        MatchCase{u"", u"", true, 0, 0, U, U}, MatchCase{u"$", u"", true, 0, 1, U, U},
        MatchCase{u".", u"", false, 0, 0, U, U}, MatchCase{u"$", u"a", false, 0, 0, U, U},
        MatchCase{u"b$", u"ab", true, 1, 3, U, U}, MatchCase{u"^b", u"ab", false, 0, 0, U, U},
        MatchCase{u"b", u"ab", true, 1, 2, U, U}, MatchCase{u"^", u"abc", true, 0, 0, U, U},
        MatchCase{u"a$b", u"xa$b", true, 1, 4, U, U},
        // ASCII case only.
        MatchCase{u"{abc}", u"xABCx", true, 1, 4, 1, 4}, MatchCase{u"{ABC}", u"abc", true, 0, 3, 0, 3},
        MatchCase{u"\u00e9", u"\u00c9", false, 0, 0, U, U}, MatchCase{u"[A-C]", u"xb", true, 1, 2, U, U},
        // Order of trial: greedy tries one more, lazy one fewer.
        MatchCase{u"{a*}", u"aaa", true, 0, 3, 0, 3}, MatchCase{u"{a*?}", u"aaa", true, 0, 0, 0, 0},
        MatchCase{u"{a*?}b", u"aab", true, 0, 3, 0, 2}, MatchCase{u"{a+}", u"aaa", true, 0, 3, 0, 3},
        MatchCase{u"{a+?}", u"aaa", true, 0, 1, 0, 1}, MatchCase{u"{a?}", u"aa", true, 0, 1, 0, 1},
        MatchCase{u"{a??}", u"aa", true, 0, 0, 0, 0}, MatchCase{u"{.*}x", u"axbx", true, 0, 4, 0, 3},
        MatchCase{u"{.*?}x", u"axbx", true, 0, 2, 0, 1},
        // Alternation joins single elements and restores the position.
        MatchCase{u"{a}|{b}", u"b", true, 0, 1, U, U}, MatchCase{u"ab|cd", u"abd", true, 0, 3, U, U},
        MatchCase{u"ab|cd", u"acd", true, 0, 3, U, U}, MatchCase{u"ab|cd", u"ab", false, 0, 0, U, U},
        MatchCase{u"ab|cd", u"cd", false, 0, 0, U, U}, MatchCase{u"{a|(ab)}c", u"abc", true, 0, 3, 0, 2},
        MatchCase{u"a|b|c", u"xc", true, 1, 2, U, U},
        // Escapes and classes.
        MatchCase{u"\\t", u"t", true, 0, 1, U, U}, MatchCase{u"\\t", u"\t", false, 0, 0, U, U},
        MatchCase{u"[\\t]", u"\t", true, 0, 1, U, U}, MatchCase{u"[^a-c]", u"abcd", true, 3, 4, U, U},
        MatchCase{u"[\\]\\-]", u"a-", true, 1, 2, U, U}, MatchCase{u"[^a]", u"a", false, 0, 0, U, U},
        MatchCase{u"*a", u"x*a", true, 1, 3, U, U}, MatchCase{u"a**", u"aa*", true, 0, 3, U, U},
        // Abbreviations.
        MatchCase{u"{\\w}", u"12abC3", true, 2, 5, 2, 5}, MatchCase{u"{\\z}", u"ab123c", true, 2, 5, 2, 5},
        MatchCase{u"{\\h+}", u"xx0fAg", true, 2, 5, 2, 5}, MatchCase{u"\\a\\c\\d", u"-1x2y3", true, 1, 4, U, U},
        MatchCase{u"{\\b+}", u"a \t b", true, 1, 4, 1, 4}, MatchCase{u"{\\q}", u"'a' \"b\"", true, 4, 7, 4, 7},
        MatchCase{u"\\q", u"'a'", false, 0, 0, U, U}, MatchCase{u"\\n", u"\r\n", true, 0, 1, U, U},
        MatchCase{u"\\n", u"\n", true, 0, 1, U, U}, MatchCase{u"x\\n", u"x\r\r\n", true, 0, 2, U, U},
        MatchCase{u"Set-Cookie:\\b*{.+?}\\n", u"Set-Cookie: lang=en; path=/\r\n", true, 0, 28, 12, 27},
        // Back-references compare without regard to ASCII case.
        MatchCase{u"{a}\\0", u"xaa", true, 1, 3, 1, 2}, MatchCase{u"{a}\\0", u"aA", true, 0, 2, 0, 1},
        MatchCase{u"{A}\\0", u"Aa", true, 0, 2, 0, 1}, MatchCase{u"{\u00e9}\\0", u"\u00e9\u00c9", false, 0, 0, U, U},
        MatchCase{u"{.}\\0", u"abcc", true, 2, 4, 2, 3},
        // A reference inside its own group has no text yet: it fails.
        MatchCase{u"{a\\0}", u"aa", false, 0, 0, U, U},
        // A group that never recorded either end has length 0.
        MatchCase{u"{x}|\\0y", u"y", true, 0, 1, U, U},
        // Look-ahead: consumes nothing, fails where its element matches.
        MatchCase{u"!a.", u"ab", true, 1, 2, U, U}, MatchCase{u"!a*b", u"b", true, 0, 1, U, U},
        // Kept on purpose: a group inside a look-ahead whose body matched keeps
        // the positions it recorded there.
        MatchCase{u"(!{a})?.", u"a", true, 0, 1, 0, 1},
        // Greedy loops over something that can succeed in place stop.
        MatchCase{u"(!a)*b", u"b", true, 0, 1, U, U}, MatchCase{u"{(a?)?}b", u"b", true, 0, 1, 0, 0}),
    pattern_test::ByPattern());

TEST(Match, ReportsTheEndOfTheTextAfterAnUnanchoredFailure) {
  PatternProgram program;
  ASSERT_EQ(program.Compile(W("z").c_str()), PatternError::Ok);
  MatchContext context;
  std::size_t end = 0;
  EXPECT_FALSE(PatternMatcher::Match(program, W("abc").c_str(), &context, &end));
  EXPECT_EQ(end, 3u);
}

TEST(Match, WithoutAContextIsFalseAndLeavesTheEndUnset) {
  PatternProgram program;
  ASSERT_EQ(program.Compile(W("a").c_str()), PatternError::Ok);
  std::size_t end = 0;
  EXPECT_FALSE(PatternMatcher::Match(program, W("a").c_str(), nullptr, &end));
  EXPECT_EQ(end, U);
}

TEST(Match, GrowsTheStackForLongTextsAndReusesTheContext) {
  PatternProgram program;
  ASSERT_EQ(program.Compile(W("{a*}b").c_str()), PatternError::Ok);
  MatchContext context;
  const WideString text = WideString(20000, WTEXT('a')) + W("b");
  ASSERT_TRUE(PatternMatcher::Match(program, text.c_str(), &context, nullptr));
  EXPECT_EQ(context.group(0).end, 20000u);
  const std::size_t capacity = context.stackCapacity();
  ASSERT_TRUE(PatternMatcher::Match(program, W("aab").c_str(), &context, nullptr));
  EXPECT_EQ(context.group(0).end, 2u);
  EXPECT_EQ(context.stackCapacity(), capacity);
}

TEST(Match, IsFalseWhenTheStackCannotGrow) {
  PatternProgram program;
  ASSERT_EQ(program.Compile(W("{a*}b").c_str()), PatternError::Ok);
  MatchContext context;
  ASSERT_TRUE(PatternMatcher::Match(program, W("ab").c_str(), &context, nullptr));
  const std::size_t capacity = context.stackCapacity();
  const WideString text = WideString(5000, WTEXT('a')) + W("b");
  pattern_test::AllocationFailer failEverything(1);
  EXPECT_FALSE(PatternMatcher::Match(program, text.c_str(), &context, nullptr));
  EXPECT_EQ(context.stackCapacity(), capacity);
}

// Programs that Compile never makes: the machine refuses them.
struct BadProgramCase {
  const char* name;
  std::vector<std::pair<Opcode, std::uint64_t>> code;
  std::int32_t groups, slots;
};

void PrintTo(const BadProgramCase& c, std::ostream* out) { *out << c.name; }

class BadProgram : public ::testing::TestWithParam<BadProgramCase> {};

TEST_P(BadProgram, RaisesInvalidArgument) {
  PatternProgram program;
  for (const auto& [opcode, operand] : GetParam().code) ASSERT_TRUE(program.instructions.Append(opcode, operand));
  program.groupCount = GetParam().groups;
  program.slotCount = GetParam().slots;
  MatchContext context;
  try {
    PatternMatcher::Match(program, W("abc").c_str(), &context, nullptr);
    FAIL() << "no failure raised";
  } catch (const pattern::PatternFailure& failure) {
    EXPECT_EQ(failure.status(), E_INVALIDARG);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Refused, BadProgram,
    ::testing::Values(BadProgramCase{"JumpOutside", {{Opcode::Jump, 99}}, 0, 0},
                      BadProgramCase{"RunsOffTheEnd", {{Opcode::Pass, 0}}, 0, 0},
                      BadProgramCase{"GroupOutside", {{Opcode::OpenGroup, 1}, {Opcode::Accept, 0}}, 1, 0},
                      BadProgramCase{"SlotOutside", {{Opcode::SavePos, 0}, {Opcode::Accept, 0}}, 0, 0},
                      BadProgramCase{"RangesPastTheEnd", {{Opcode::InRanges, 9}, {Opcode::Pass, 'a'}}, 0, 0},
                      BadProgramCase{"DepthAboveTheStack",
                                     {{Opcode::PushPos, 0}, {Opcode::SaveDepth, 0}, {Opcode::PopPos, 0},
                                      {Opcode::LoadDepth, 0}, {Opcode::Accept, 0}}, 0, 1},
                      BadProgramCase{"NoSuchOpcode", {{static_cast<Opcode>(5), 0}}, 0, 0}),
    [](const ::testing::TestParamInfo<BadProgramCase>& param) { return std::string(param.param.name); });

TEST(Match, PoppingAnEmptyStackYieldsZero) {
  // PopPos on an empty stack sets the position to 0, so `a` matches at 0
  // although the program first stepped over the `x`.
  PatternProgram program;
  for (const auto& [opcode, operand] : std::vector<std::pair<Opcode, std::uint64_t>>{
           {Opcode::Char, 'x'}, {Opcode::PopPos, 0}, {Opcode::Char, 'x'}, {Opcode::Accept, 0}}) {
    ASSERT_TRUE(program.instructions.Append(opcode, operand));
  }
  MatchContext context;
  std::size_t end = 0;
  ASSERT_TRUE(PatternMatcher::Match(program, W("xy").c_str(), &context, &end));
  EXPECT_EQ(end, 1u);
}

}  // namespace
