#include <gtest/gtest.h>

#include "fake_fixture.h"
#include "transport/form_post.h"

namespace {

struct ReplyCase {
  const char16_t* reply;
  std::int32_t expected;
};

void PrintTo(const ReplyCase& c, std::ostream* out) {
  *out << transporttest::Readable(c.reply) << " reads as " << c.expected;
}

class ReplyToIntTest : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(ReplyToIntTest, ReadsSignedDecimalWithClamping) {
  EXPECT_EQ(transport::ReplyToInt(GetParam().reply), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReplyToIntTest,
    ::testing::Values(ReplyCase{u"42", 42}, ReplyCase{u"  42abc", 42}, ReplyCase{u"\r\n\t\v\f 42 7", 42},
                      ReplyCase{u"-1", -1}, ReplyCase{u"+7", 7}, ReplyCase{u"", 0}, ReplyCase{u"abc", 0},
                      ReplyCase{u"<html>500</html>", 0}, ReplyCase{u"-", 0}, ReplyCase{u"+-3", 0},
                      ReplyCase{u"- 3", 0}, ReplyCase{u"007", 7}, ReplyCase{u"2147483647", 2147483647},
                      ReplyCase{u"2147483648", 2147483647}, ReplyCase{u"99999999999", 2147483647},
                      ReplyCase{u"-2147483648", -2147483647 - 1}, ReplyCase{u"-2147483649", -2147483647 - 1},
                      ReplyCase{u"-99999999999", -2147483647 - 1},
                      ReplyCase{u"184467440737095516160000", 2147483647}, ReplyCase{u"12\u0661", 12},
                      ReplyCase{u"\u00a042", 0}));

}  // namespace
