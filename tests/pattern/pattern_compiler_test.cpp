#include <gtest/gtest.h>

#include "pattern/pattern_failure.h"
#include "pattern/pattern_program.h"
#include "pattern_test_support.h"

namespace {

using pattern::Opcode;
using pattern::PatternError;
using pattern::PatternProgram;
using pattern_test::Chars;
using pattern_test::Listing;
using pattern_test::ListingOf;
using pattern_test::operator+;
using pattern_test::W;

const Listing kFrame = {{Opcode::Fork, 2}, {Opcode::NextStart, 0}};
const Listing kAccept = {{Opcode::Accept, 0}};

// Greedy `+` over the class [0-9] whose first copy starts at `at`.
Listing DigitsPlus(std::uint64_t at) {
  return {{Opcode::InRanges, at + 3}, {Opcode::Pass, '0'}, {Opcode::Pass, '9'},
          {Opcode::PushSlot, 0}, {Opcode::SavePos, 0}, {Opcode::PushPos, 0}, {Opcode::Fork, at + 10},
          {Opcode::PopPos, 0}, {Opcode::PopSlot, 0}, {Opcode::Jump, at + 16},
          {Opcode::InRanges, at + 13}, {Opcode::Pass, '0'}, {Opcode::Pass, '9'},
          {Opcode::RequireProgress, 0}, {Opcode::SavePos, 0}, {Opcode::Jump, at + 3}};
}

// Capture group 0 opening at `at`, its body starting at `at + 5`.
Listing CaptureHead(std::uint64_t at) {
  return {{Opcode::PushGroup, 0}, {Opcode::OpenGroup, 0}, {Opcode::Fork, at + 5},
          {Opcode::PopGroup, 0}, {Opcode::Backtrack, 0}};
}

const Listing kCloseGroup0 = {{Opcode::CloseGroup, 0}};

struct ListingCase {
  const char* pattern;
  Listing expected;
  std::int32_t groups;
  std::int32_t slots;
};

class ClientPatternListing : public ::testing::TestWithParam<ListingCase> {};

TEST_P(ClientPatternListing, CompilesToTheExpectedProgram) {
  PatternProgram program;
  ASSERT_EQ(program.Compile(W(GetParam().pattern).c_str()), PatternError::Ok);
  EXPECT_EQ(ListingOf(program), GetParam().expected);
  EXPECT_EQ(program.groupCount, GetParam().groups);
  EXPECT_EQ(program.slotCount, GetParam().slots);
  EXPECT_FALSE(program.caseSensitive);
}

Listing CharsetClass(std::uint64_t at) {
  return {{Opcode::InRanges, at + 11}, {Opcode::Pass, 'a'}, {Opcode::Pass, 'z'}, {Opcode::Pass, 'a'},
          {Opcode::Pass, 'z'},        {Opcode::Pass, '0'}, {Opcode::Pass, '9'}, {Opcode::Pass, '-'},
          {Opcode::Pass, '-'},        {Opcode::Pass, '_'}, {Opcode::Pass, '_'}};
}

Listing CharsetPlus() {
  const Listing loop = {{Opcode::PushSlot, 0}, {Opcode::SavePos, 0}, {Opcode::PushPos, 0}, {Opcode::Fork, 33},
                        {Opcode::PopPos, 0},   {Opcode::PopSlot, 0}, {Opcode::Jump, 47}};
  const Listing tail = {{Opcode::RequireProgress, 0}, {Opcode::SavePos, 0}, {Opcode::Jump, 26}};
  return CharsetClass(15) + loop + CharsetClass(33) + tail;
}

Listing CookieListing() {
  const Listing blanks = {{Opcode::PushSlot, 0}, {Opcode::SavePos, 0}, {Opcode::PushPos, 0}, {Opcode::Fork, 20},
                          {Opcode::PopPos, 0},   {Opcode::PopSlot, 0}, {Opcode::Jump, 30},   {Opcode::Fork, 22},
                          {Opcode::Backtrack, 0}, {Opcode::InRanges, 27}, {Opcode::Pass, ' '}, {Opcode::Pass, ' '},
                          {Opcode::Pass, '\t'},  {Opcode::Pass, '\t'}, {Opcode::RequireProgress, 0},
                          {Opcode::SavePos, 0},  {Opcode::Jump, 13}};
  const Listing lazyAny = {{Opcode::AnyChar, 0}, {Opcode::PushPos, 0}, {Opcode::Fork, 41}, {Opcode::PopPos, 0},
                           {Opcode::AnyChar, 0}, {Opcode::Jump, 36}};
  const Listing lineEnd = {{Opcode::Fork, 44},    {Opcode::Backtrack, 0}, {Opcode::PushPos, 0}, {Opcode::Fork, 48},
                           {Opcode::PopPos, 0},   {Opcode::Jump, 50},     {Opcode::Char, '\r'}, {Opcode::Jump, 63},
                           {Opcode::Fork, 52},    {Opcode::Backtrack, 0}, {Opcode::PushSlot, 1}, {Opcode::SavePos, 1},
                           {Opcode::PushPos, 0},  {Opcode::Fork, 59},     {Opcode::PopPos, 0},  {Opcode::PopSlot, 1},
                           {Opcode::Jump, 62},    {Opcode::Char, '\r'},   {Opcode::RequireProgress, 1},
                           {Opcode::SavePos, 1},  {Opcode::Char, '\n'}};
  return kFrame + Chars("set-cookie:") + blanks + CaptureHead(30) + lazyAny + kCloseGroup0 + lineEnd + kAccept;
}

INSTANTIATE_TEST_SUITE_P(
    HeaderPatterns, ClientPatternListing,
    ::testing::Values(
        ListingCase{"charset={[A-Za-z0-9\\-_]+}", kFrame + Chars("charset=") + CaptureHead(10) + CharsetPlus() +
                                                       kCloseGroup0 + kAccept, 1, 1},
        ListingCase{"Content-Length: {[0-9]+}",
                    kFrame + Chars("content-length: ") + CaptureHead(18) + DigitsPlus(23) + kCloseGroup0 + kAccept, 1, 1},
        ListingCase{"Location: {[0-9]+}",
                    kFrame + Chars("location: ") + CaptureHead(12) + DigitsPlus(17) + kCloseGroup0 + kAccept, 1, 1},
        ListingCase{"Set-Cookie:\\b*{.+?}\\n", CookieListing(), 1, 2},
        ListingCase{"{<html>}", kFrame + CaptureHead(2) + Chars("<html>") + kCloseGroup0 + kAccept, 1, 0},
        ListingCase{"{</html>}", kFrame + CaptureHead(2) + Chars("</html>") + kCloseGroup0 + kAccept, 1, 0},
        // `^` alone: the anchored frame and nothing else.
        ListingCase{"^", {{Opcode::Fork, 2}, {Opcode::GiveUp, 0}, {Opcode::Accept, 0}}, 0, 0},
        // `$` is the end of the text only as the last unit.
        ListingCase{"a$b", kFrame + Chars("a$b") + kAccept, 0, 0},
        ListingCase{"a$", kFrame + Chars("a") + Listing{{Opcode::Char, 0}} + kAccept, 0, 0},
        // `\t` is the letter outside a class and a tab inside one.
        ListingCase{"\\t[\\t]", kFrame + Chars("t") + Listing{{Opcode::InRanges, 6}, {Opcode::Pass, 9}, {Opcode::Pass, 9}} +
                                    kAccept, 0, 0},
        // Quantifier characters elsewhere are literals; the longest quantifier wins.
        ListingCase{"*a", kFrame + Chars("*a") + kAccept, 0, 0},
        ListingCase{"a??", kFrame + Listing{{Opcode::PushPos, 0}, {Opcode::Fork, 6}, {Opcode::PopPos, 0},
                                             {Opcode::Char, 'a'}} + kAccept, 0, 0},
        // `|` joins single elements: b or c, between a and d.
        ListingCase{"ab|cd", kFrame + Chars("a") +
                                 Listing{{Opcode::PushPos, 0}, {Opcode::Fork, 7}, {Opcode::PopPos, 0},
                                         {Opcode::Jump, 9}, {Opcode::Char, 'b'}, {Opcode::Jump, 10},
                                         {Opcode::Char, 'c'}} + Chars("d") + kAccept, 0, 0},
        // A look-ahead takes two slots before its body is compiled.
        ListingCase{"!a", kFrame + Listing{{Opcode::SavePos, 0}, {Opcode::SaveDepth, 1}, {Opcode::Fork, 8},
                                            {Opcode::LoadPos, 0}, {Opcode::LoadDepth, 1}, {Opcode::Jump, 12},
                                            {Opcode::Char, 'a'}, {Opcode::LoadPos, 0}, {Opcode::LoadDepth, 1},
                                            {Opcode::Backtrack, 0}} + kAccept, 0, 2},
        // Lazy `+?`: the mandatory copy, then the lazy loop over a second one.
        ListingCase{"a+?", kFrame + Listing{{Opcode::Char, 'a'}, {Opcode::PushPos, 0}, {Opcode::Fork, 8},
                                             {Opcode::PopPos, 0}, {Opcode::Char, 'a'}, {Opcode::Jump, 3}} +
                               kAccept, 0, 0}));

struct EquivalenceCase {
  const char* pattern;
  const char* compilesLike;
};

class CompilesLike : public ::testing::TestWithParam<EquivalenceCase> {};

TEST_P(CompilesLike, GivesTheSameProgram) {
  PatternProgram program;
  PatternProgram reference;
  ASSERT_EQ(program.Compile(W(GetParam().pattern).c_str()), PatternError::Ok);
  ASSERT_EQ(reference.Compile(W(GetParam().compilesLike).c_str()), PatternError::Ok);
  EXPECT_EQ(ListingOf(program), ListingOf(reference));
  EXPECT_EQ(program.groupCount, reference.groupCount);
  EXPECT_EQ(program.slotCount, reference.slotCount);
}

INSTANTIATE_TEST_SUITE_P(
    Stops, CompilesLike,
    ::testing::Values(EquivalenceCase{"a)b", "a"}, EquivalenceCase{"a]b", "a"}, EquivalenceCase{"a}b", "a"},
                      EquivalenceCase{"xa|", "x"}, EquivalenceCase{"(a|)", "()"}, EquivalenceCase{"(ab|)", "(a)"},
                      EquivalenceCase{"x{a}|", "x"}, EquivalenceCase{"x!", "x"}, EquivalenceCase{"(a!)", "(a)"},
                      EquivalenceCase{"xa|!", "x"}, EquivalenceCase{"ABC", "abc"}, EquivalenceCase{"\\D", "\\d"},
                      EquivalenceCase{"\\q", "(\"[^\"]*\")"}, EquivalenceCase{"\\x", "x"}));

struct ErrorCase {
  const char* pattern;
  PatternError expected;
};

class CompileError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(CompileError, IsReported) {
  PatternProgram program;
  EXPECT_EQ(program.Compile(W(GetParam().pattern).c_str()), GetParam().expected);
  EXPECT_EQ(program.parseError, static_cast<std::int32_t>(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    EveryCode, CompileError,
    ::testing::Values(
        ErrorCase{"{abc", PatternError::UnclosedCapture}, ErrorCase{"{a)", PatternError::UnclosedCapture},
        ErrorCase{"(abc", PatternError::UnclosedGroup}, ErrorCase{"(a}", PatternError::UnclosedGroup},
        ErrorCase{"[a-]", PatternError::BadClass}, ErrorCase{"[a", PatternError::BadClass},
        ErrorCase{"[a-", PatternError::BadClass}, ErrorCase{"[\\", PatternError::BadClass},
        ErrorCase{"[ab\\", PatternError::BadClass}, ErrorCase{"a\\", PatternError::BadAbbreviation},
        ErrorCase{"\\", PatternError::BadAbbreviation}, ErrorCase{"[]", PatternError::EmptyClass},
        ErrorCase{"[^]", PatternError::EmptyClass}, ErrorCase{"[]a]", PatternError::EmptyClass},
        ErrorCase{"\\0{a}", PatternError::BadBackReference}, ErrorCase{"{a}\\1", PatternError::BadBackReference},
        ErrorCase{"{a}\\99999999999999999999", PatternError::BadBackReference},
        ErrorCase{"{a}\\4294967296", PatternError::BadBackReference},
        ErrorCase{"[z-a]", PatternError::ReversedRange}, ErrorCase{"[Z-a]", PatternError::ReversedRange},
        ErrorCase{"(a*)*", PatternError::EmptyRepeat}, ErrorCase{"(a*)*?", PatternError::EmptyRepeat},
        ErrorCase{"(a*)+", PatternError::EmptyRepeat}, ErrorCase{"(a+?)*", PatternError::EmptyRepeat},
        ErrorCase{"(a|b*)*", PatternError::EmptyRepeat}, ErrorCase{"()*", PatternError::EmptyRepeat},
        ErrorCase{"{}+", PatternError::EmptyRepeat},
        // Lazy loops have no progress check: nothing that can succeed in place.
        ErrorCase{"!a*?b", PatternError::EmptyRepeat}, ErrorCase{"(!a)+?", PatternError::EmptyRepeat},
        ErrorCase{"{a}\\0*?", PatternError::EmptyRepeat}, ErrorCase{"(a|!b)*?", PatternError::EmptyRepeat},
        // A greedy loop whose body can give back down to nothing once an
        // iteration is backtracked into would cycle with a growing stack.
        ErrorCase{"{x*}{\\0x*}*{\\0}{a}", PatternError::EmptyRepeat}, ErrorCase{"(!ax*)*", PatternError::EmptyRepeat},
        ErrorCase{"(!a|b)+", PatternError::EmptyRepeat}, ErrorCase{"(\\b|!a)*", PatternError::EmptyRepeat},
        // Accepted: options take anything, greedy loops are guarded.
        ErrorCase{"(a*)?", PatternError::Ok}, ErrorCase{"(a*)??", PatternError::Ok},
        ErrorCase{"(a+)*", PatternError::Ok}, ErrorCase{"!a*", PatternError::Ok},
        ErrorCase{"{a}\\0*", PatternError::Ok}, ErrorCase{"{a}\\0", PatternError::Ok},
        ErrorCase{"(!a.)*", PatternError::Ok}, ErrorCase{"(!ax*)?", PatternError::Ok},
        ErrorCase{"{a\\0}", PatternError::Ok}, ErrorCase{"[-a]", PatternError::Ok},
        ErrorCase{"[a-c-]", PatternError::Ok}, ErrorCase{"[a^]", PatternError::Ok},
        ErrorCase{"", PatternError::Ok}, ErrorCase{")", PatternError::Ok}));

struct NumberingCase {
  const char* pattern;
  std::int32_t groups;
  std::int32_t slots;
};

class Numbering : public ::testing::TestWithParam<NumberingCase> {};

TEST_P(Numbering, CountsOnlyWhatTheFinalProgramHolds) {
  PatternProgram program;
  ASSERT_EQ(program.Compile(W(GetParam().pattern).c_str()), PatternError::Ok);
  EXPECT_EQ(program.groupCount, GetParam().groups);
  EXPECT_EQ(program.slotCount, GetParam().slots);
}

INSTANTIATE_TEST_SUITE_P(
    GroupsAndSlots, Numbering,
    ::testing::Values(NumberingCase{"{a}+", 1, 1},     // both copies share the group
                      NumberingCase{"{a}*", 1, 1}, NumberingCase{"{a}{b}", 2, 0},
                      NumberingCase{"!a+", 0, 5},      // two copies of the look-ahead, one loop slot
                      NumberingCase{"x{a}|", 0, 0},
                      NumberingCase{"{a}|{b}", 2, 0}, NumberingCase{"a*b*", 0, 2}));

TEST(Compile, StartsFromAResetOnEveryCall) {
  PatternProgram program;
  EXPECT_TRUE(program.caseSensitive);
  ASSERT_EQ(program.Compile(W("{a}*").c_str()), PatternError::Ok);
  ASSERT_EQ(program.Compile(W("[").c_str()), PatternError::BadClass);
  ASSERT_EQ(program.Compile(W("b").c_str()), PatternError::Ok);
  EXPECT_EQ(ListingOf(program), kFrame + Chars("b") + kAccept);
  EXPECT_EQ(program.groupCount, 0);
  EXPECT_EQ(program.slotCount, 0);
  EXPECT_EQ(program.parseError, 0);
}

TEST(Compile, InstructionAccessOutsideTheProgramRaisesInvalidArgument) {
  PatternProgram program;
  ASSERT_EQ(program.Compile(W("a").c_str()), PatternError::Ok);
  try {
    program.instructions.At(program.instructions.size());
    FAIL() << "no failure raised";
  } catch (const pattern::PatternFailure& failure) {
    EXPECT_EQ(failure.status(), E_INVALIDARG);
  }
}

}  // namespace
