#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "pattern/pattern_failure.h"
#include "pattern/pattern_program.h"
#include "pattern/program_listing.h"
#include "pattern_test_support.h"

namespace {

using pattern::PatternError;
using pattern::PatternProgram;
using pattern::ProgramListing;
using pattern_test::ByPattern;
using pattern_test::Quoted;
using pattern_test::W;

// Every block of listings.txt: a pattern, then the program it compiles to
// as the engine prints it.
TEST(Listings, EachPatternCompilesToThePrintedProgram) {
  std::ifstream in(KT_PATTERN_LISTINGS);
  ASSERT_TRUE(in) << KT_PATTERN_LISTINGS;
  std::string line, pattern, expected;
  int blocks = 0;
  const auto check = [&] {
    if (pattern.empty()) return;
    PatternProgram program;
    program.Compile(W(pattern).c_str());
    EXPECT_EQ(ProgramListing(program), expected) << "pattern " << pattern;
    ++blocks;
    pattern.clear();
    expected.clear();
  };
  while (std::getline(in, line)) {
    if (line.rfind("pattern ", 0) == 0) {
      check();
      pattern = line.substr(8);
    } else if (!line.empty() && line[0] != '#') {
      expected += line + "\n";
    }
  }
  check();
  EXPECT_GT(blocks, 10);
}

struct EquivalenceCase {
  const char* pattern;
  const char* compilesLike;
};

void PrintTo(const EquivalenceCase& c, std::ostream* out) {
  *out << Quoted(c.pattern) << " compiles like " << Quoted(c.compilesLike);
}

class CompilesLike : public ::testing::TestWithParam<EquivalenceCase> {};

TEST_P(CompilesLike, GivesTheSameProgram) {
  PatternProgram program;
  PatternProgram reference;
  ASSERT_EQ(program.Compile(W(GetParam().pattern).c_str()), PatternError::Ok);
  ASSERT_EQ(reference.Compile(W(GetParam().compilesLike).c_str()), PatternError::Ok);
  EXPECT_EQ(ProgramListing(program), ProgramListing(reference));
}

INSTANTIATE_TEST_SUITE_P(
    Stops, CompilesLike,
    ::testing::Values(EquivalenceCase{"a)b", "a"}, EquivalenceCase{"a]b", "a"}, EquivalenceCase{"a}b", "a"},
                      EquivalenceCase{"xa|", "x"}, EquivalenceCase{"(a|)", "()"}, EquivalenceCase{"(ab|)", "(a)"},
                      EquivalenceCase{"x{a}|", "x"}, EquivalenceCase{"x!", "x"}, EquivalenceCase{"(a!)", "(a)"},
                      EquivalenceCase{"xa|!", "x"}, EquivalenceCase{"ABC", "abc"}, EquivalenceCase{"\\D", "\\d"},
                      EquivalenceCase{"\\q", "(\"[^\"]*\")"}, EquivalenceCase{"\\x", "x"}),
    ByPattern());

struct ErrorCase {
  const char* pattern;
  PatternError expected;
};

void PrintTo(const ErrorCase& c, std::ostream* out) {
  *out << Quoted(c.pattern) << " gives " << pattern::ErrorName(static_cast<std::int32_t>(c.expected));
}

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
        ErrorCase{"", PatternError::Ok}, ErrorCase{")", PatternError::Ok}),
    ByPattern());

struct NumberingCase {
  const char* pattern;
  std::int32_t groups;
  std::int32_t slots;
};

void PrintTo(const NumberingCase& c, std::ostream* out) {
  *out << Quoted(c.pattern) << ": " << c.groups << " groups, " << c.slots << " slots";
}

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
                      NumberingCase{"{a}|{b}", 2, 0}, NumberingCase{"a*b*", 0, 2}),
    ByPattern());

TEST(Compile, StartsFromAResetOnEveryCall) {
  PatternProgram program;
  ASSERT_EQ(program.Compile(W("{a}*").c_str()), PatternError::Ok);
  ASSERT_EQ(program.Compile(W("[").c_str()), PatternError::BadClass);
  ASSERT_EQ(program.Compile(W("b").c_str()), PatternError::Ok);
  PatternProgram fresh;
  fresh.Compile(W("b").c_str());
  EXPECT_EQ(ProgramListing(program), ProgramListing(fresh));
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
