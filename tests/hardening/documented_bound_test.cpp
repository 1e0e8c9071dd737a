// The public headers promise callers how long a call may block. The
// promise must name the numbers the client really uses, so that a change
// of either shows up here.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "transport/http_client.h"

namespace {

// The comment text of a header as one line: comment stars and line breaks
// become single blanks.
std::string CommentText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream whole;
  whole << file.rdbuf();
  std::string text;
  for (char c : whole.str()) {
    const bool blank = c == ' ' || c == '\n' || c == '*';
    if (!blank) text.push_back(c);
    else if (!text.empty() && text.back() != ' ') text.push_back(' ');
  }
  return text;
}

class DocumentedBound : public ::testing::TestWithParam<const char*> {};

TEST_P(DocumentedBound, NamesTheAttemptsAndTimeOutsTheClientUses) {
  const std::string header = CommentText(std::string(KT_PUBLIC_HEADERS) + "/" + GetParam());
  ASSERT_FALSE(header.empty());
  static_assert(transport::kMaxAttempts == 3, "the headers say three attempts");
  EXPECT_NE(header.find("at most three attempts"), std::string::npos);
  EXPECT_NE(header.find("60 s to connect"), std::string::npos);
  EXPECT_NE(header.find("30 s for each send"), std::string::npos);
  EXPECT_NE(header.find("30 s for each receive"), std::string::npos);
  EXPECT_NE(header.find("3 x 120 s = 6 minutes"), std::string::npos);
  // The time-outs bound each wait; a trickling server is not cut off.
  EXPECT_NE(header.find("bound each wait, not the whole exchange"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Headers, DocumentedBound, ::testing::Values("kestrane.h", "falloway.h"),
                         [](const auto& named) { return std::string(named.param).substr(0, 8); });

}  // namespace
