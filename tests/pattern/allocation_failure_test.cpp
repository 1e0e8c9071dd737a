// Fails each allocation of the engine in turn: every call must end with a
// failure it reports (or, when the failed allocation was optional, with
// the right answer), never a crash; the sanitizer build catches leaks.
#include <gtest/gtest.h>

#include "pattern/pattern_failure.h"
#include "pattern/pattern_matcher.h"
#include "pattern/pattern_search.h"
#include "pattern_test_support.h"

namespace {

using pattern::PatternError;
using pattern_test::AllocationFailer;
using pattern_test::W;

const char* const kPatterns[] = {"charset={[A-Za-z0-9\\-_]+}", "Set-Cookie:\\b*{.+?}\\n", "{<html>}",
                                 "!{a}\\n*(b|c)?\\q"};
const char kHeaders[] = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n"
                        "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n";

// How many allocations a run takes when none fails.
template <typename Run>
int AllocationsOf(Run run) {
  AllocationFailer never(1 << 30);
  run();
  return never.seen();
}

class EachPattern : public ::testing::TestWithParam<const char*> {};

TEST_P(EachPattern, CompileReportsOutOfMemoryAtEachAllocation) {
  const WideString pattern = W(GetParam());
  pattern::PatternProgram reference;
  ASSERT_EQ(reference.Compile(pattern.c_str()), PatternError::Ok);
  const int total = AllocationsOf([&] { pattern::PatternProgram p; p.Compile(pattern.c_str()); });
  ASSERT_GT(total, 1);
  for (int k = 1; k <= total; ++k) {
    pattern::PatternProgram program;
    AllocationFailer fail(k);
    EXPECT_EQ(program.Compile(pattern.c_str()), PatternError::OutOfMemory) << "allocation " << k;
  }
}

TEST_P(EachPattern, SearchFailsCleanlyAtEachAllocation) {
  const WideString pattern = W(GetParam());
  const WideString text = W(kHeaders);
  std::vector<WideString> expected;
  ASSERT_TRUE(pattern::FindPatternGroups(pattern.c_str(), text.c_str(), expected));
  const int total = AllocationsOf([&] {
    std::vector<WideString> r;
    pattern::FindPatternGroups(pattern.c_str(), text.c_str(), r);
  });
  for (int k = 1; k <= total; ++k) {
    std::vector<WideString> results;
    AllocationFailer fail(k);
    try {
      // Compile failing gives false; a refused stack reservation only
      // makes the stack grow later; a stack or context that cannot grow
      // ends the walk early, with what was collected so far.
      if (pattern::FindPatternGroups(pattern.c_str(), text.c_str(), results)) {
        EXPECT_LE(results.size(), expected.size()) << "allocation " << k;
        for (std::size_t i = 0; i < results.size(); ++i) EXPECT_EQ(results[i], expected[i]);
      } else {
        EXPECT_TRUE(results.empty());
      }
    } catch (const pattern::PatternFailure& failure) {
      EXPECT_EQ(failure.status(), E_OUTOFMEMORY) << "allocation " << k;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Patterns, EachPattern, ::testing::ValuesIn(kPatterns));

TEST(AllocationFailure, MatchIsFalseWhenItsArraysCannotBeHad) {
  pattern::PatternProgram program;
  ASSERT_EQ(program.Compile(W("{a}x*").c_str()), PatternError::Ok);
  AllocationFailer failEverything(1);
  pattern::MatchContext context;
  EXPECT_FALSE(pattern::PatternMatcher::Match(program, W("a").c_str(), &context, nullptr));
}

}  // namespace
