#include <gtest/gtest.h>

#include "pattern/pattern_failure.h"
#include "pattern/pattern_search.h"
#include "pattern_test_support.h"

namespace {

using pattern::FindPatternGroups;
using pattern_test::W;

struct SearchCase {
  const char* pattern;
  const char* text;
  bool result;
  std::vector<const char*> captures;
};

void PrintTo(const SearchCase& c, std::ostream* out) {
  *out << pattern_test::Quoted(c.pattern) << " over " << pattern_test::Quoted(c.text) << ": "
       << (c.result ? "true," : "false,");
  for (const char* capture : c.captures) *out << " " << pattern_test::Quoted(capture);
}

class SearchTable : public ::testing::TestWithParam<SearchCase> {};

TEST_P(SearchTable, CollectsEachCaptureOnceInOrder) {
  const SearchCase& c = GetParam();
  std::vector<WideString> results = {W("left over")};
  EXPECT_EQ(FindPatternGroups(W(c.pattern).c_str(), W(c.text).c_str(), results), c.result);
  std::vector<WideString> expected;
  for (const char* capture : c.captures) expected.push_back(W(capture));
  EXPECT_EQ(results, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, SearchTable,
    ::testing::Values(
        SearchCase{"Content-Length: {[0-9]+}", "Content-Length: 120\r\n", true, {"120"}},
        SearchCase{"Content-Length: {[0-9]+}", "content-length: 42\r\n", true, {"42"}},
        SearchCase{"charset={[A-Za-z0-9\\-_]+}", "Content-Type: text/html; charset=UTF-8\r\n", true, {"UTF-8"}},
        SearchCase{"Location: {[0-9]+}", "Location: http://x/1\r\n", true, {}},
        SearchCase{"Location: {[0-9]+}", "Location: 12ab\r\n", true, {"12"}},
        SearchCase{"Set-Cookie:\\b*{.+?}\\n", "Set-Cookie: a=1\r\nSet-Cookie: b=2\r\n", true, {"a=1", "b=2"}},
        SearchCase{"Set-Cookie:\\b*{.+?}\\n", "Set-Cookie: A=1\r\nSet-Cookie: a=1\r\nSet-Cookie: B=2\r\n", true,
                   {"A=1", "B=2"}},
        // A header ending right after its blanks: `.` takes the carriage return.
        SearchCase{"Set-Cookie:\\b*{.+?}\\n", "Set-Cookie:  \r\nX: y\r\n", true, {"\r"}},
        SearchCase{"{<html>}", "<HTML><body>", true, {"<HTML>"}},
        SearchCase{"{</html>}", "<html><body>", true, {}},
        // Results are collected in the order of first occurrence.
        SearchCase{"{[a-z]+}", "b a B c A", true, {"b", "a", "c"}},
        // Only group 0 is collected; a match without it adds nothing.
        SearchCase{"{a}{b}", "abab", true, {"a"}}, SearchCase{"{a}|b", "bab", true, {"a"}},
        // Matches do not overlap; `^` anchors at each search start.
        SearchCase{"{aa}", "aaaaa", true, {"aa"}}, SearchCase{"^{a}", "aab", true, {"a"}},
        SearchCase{"^{.}", "abc", true, {"a", "b", "c"}},
        // Empty matches: collected, and the search goes one unit further on.
        SearchCase{"{x*}", "abc", true, {""}}, SearchCase{"{b*}", "abba", true, {"", "bb"}},
        // Only letters fold: @ and ` differ by the case bit and stay apart.
        SearchCase{"{[^,]+}", "a@b,a`b,A@B,[,{", true, {"a@b", "a`b", "[", "{"}},
        SearchCase{"{$}", "ab", true, {}},
        // A match ending at the end of the text ends the search.
        SearchCase{"{b}$", "abb", true, {"b"}},
        SearchCase{"{q}", "no such thing", true, {}},
        // Nothing to search, or a pattern that does not compile.
        SearchCase{"", "abc", false, {}}, SearchCase{"{a}", "", false, {}}, SearchCase{"{abc", "abc", false, {}},
        SearchCase{"(a*)*", "aaa", false, {}}),
    pattern_test::ByPattern());

TEST(Search, APatternWithoutACaptureGroupRaisesFailAfterItsFirstMatch) {
  std::vector<WideString> results;
  EXPECT_TRUE(FindPatternGroups(W("a").c_str(), W("bbb").c_str(), results));
  try {
    FindPatternGroups(W("a").c_str(), W("bab").c_str(), results);
    FAIL() << "no failure raised";
  } catch (const pattern::PatternFailure& failure) {
    EXPECT_EQ(failure.status(), E_FAIL);
  }
}

TEST(Search, NullArgumentsCountAsEmpty) {
  std::vector<WideString> results = {W("x")};
  EXPECT_FALSE(FindPatternGroups(nullptr, W("a").c_str(), results));
  EXPECT_TRUE(results.empty());
  EXPECT_FALSE(FindPatternGroups(W("{a}").c_str(), nullptr, results));
}

TEST(Search, ManyCookiesAreAllCollectedOnce) {
  WideString headers;
  std::vector<WideString> expected;
  // The second round repeats every value in upper case.
  for (int i = 0; i < 600; ++i) {
    const WideString value = W((i < 300 ? "c" : "C") + std::to_string(i % 300) + (i < 300 ? "=v" : "=V"));
    headers += W("Set-Cookie: ") + value + W("\r\n");
    if (i < 300) expected.push_back(value);
  }
  std::vector<WideString> results;
  ASSERT_TRUE(FindPatternGroups(W("Set-Cookie:\\b*{.+?}\\n").c_str(), headers.c_str(), results));
  EXPECT_EQ(results, expected);
}

}  // namespace
