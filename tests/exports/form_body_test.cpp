// The form body builder: field order, byte-for-byte texts, "%d" integers
// and the locale-independent six-decimal rendering of doubles.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "exports/form_body.h"
#include "throwing_new.h"

namespace {

using exports::FormBody;

struct IntCase {
  std::int32_t value;
  const char* rendered;
};
void PrintTo(const IntCase& c, std::ostream* os) { *os << c.value; }


class IntRendering : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntRendering, WritesSignedDecimal) {
  FormBody body;
  body.Int("n=", GetParam().value);
  EXPECT_TRUE(body.Postable());
  EXPECT_EQ(body.Bytes(), std::string("n=") + GetParam().rendered);
}

INSTANTIATE_TEST_SUITE_P(Values, IntRendering,
                         ::testing::Values(IntCase{0, "0"}, IntCase{7, "7"}, IntCase{-5, "-5"},
                                           IntCase{2147483647, "2147483647"},
                                           IntCase{std::numeric_limits<std::int32_t>::min(), "-2147483648"}));

struct DoubleCase {
  double value;
  const char* rendered;
};
void PrintTo(const DoubleCase& c, std::ostream* os) { *os << c.rendered; }


class DoubleRendering : public ::testing::TestWithParam<DoubleCase> {};

TEST_P(DoubleRendering, WritesFixedPointWithSixDecimals) {
  FormBody body;
  body.Decimal("d=", GetParam().value);
  EXPECT_TRUE(body.Postable());
  EXPECT_EQ(body.Bytes(), std::string("d=") + GetParam().rendered);
}

INSTANTIATE_TEST_SUITE_P(Values, DoubleRendering,
                         ::testing::Values(DoubleCase{-0.0000004, "-0.000000"}, DoubleCase{2.5e-7, "0.000000"},
                                           DoubleCase{123.125, "123.125000"}, DoubleCase{0.1, "0.100000"},
                                           DoubleCase{1.19512, "1.195120"}, DoubleCase{1000.5, "1000.500000"},
                                           DoubleCase{0.0, "0.000000"}, DoubleCase{-12.3456789, "-12.345679"},
                                           DoubleCase{-7.25, "-7.250000"}, DoubleCase{0.0000015, "0.000002"}));

// Agrees with the C library's "%lf" in the "C" locale over the full range,
// including values whose rendering is far longer than 99 characters.
TEST(DoubleRendering, MatchesTheCLibraryForLongRenderings) {
  const double values[] = {1e300, -1e300, 1e91, std::numeric_limits<double>::max(),
                           -std::numeric_limits<double>::max(), std::numeric_limits<double>::denorm_min()};
  for (double value : values) {
    char expected[400];
    std::snprintf(expected, sizeof expected, "%lf", value);
    FormBody body;
    body.Decimal("", value);
    EXPECT_EQ(body.Bytes(), expected) << value;
  }
  FormBody body;
  body.Decimal("", 1e300);
  EXPECT_EQ(body.Bytes().size(), 301u + 7u);
  EXPECT_EQ(body.Bytes().substr(0, 4), "1000");
}

TEST(DoubleRendering, KeepsTheFullStopUnderACommaLocale) {
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "de_DE"};
  const char* chosen = nullptr;
  for (const char* name : names) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  if (chosen == nullptr) GTEST_SKIP() << "no de_DE locale installed (make one with localedef -i de_DE -f UTF-8 de_DE.UTF-8)";
  char printed[32];
  std::snprintf(printed, sizeof printed, "%lf", 1.5);
  const std::string cLibrary = printed;
  FormBody body;
  body.Decimal("a=", 1.5).Decimal("&b=", -1234.125);
  std::setlocale(LC_ALL, "C");
  ASSERT_EQ(cLibrary, "1,500000") << "locale " << chosen << " did not bring a decimal comma";
  EXPECT_EQ(body.Bytes(), "a=1.500000&b=-1234.125000");
}

TEST(DoubleRendering, NonFiniteValuesSpoilTheBody) {
  const double values[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity()};
  for (double value : values) {
    FormBody body;
    body.Text("a=", "x").Decimal("&d=", value).Text("&z=", "y");
    EXPECT_FALSE(body.Postable()) << value;
  }
}

TEST(FormBodyTexts, GoOutByteForByteInOrder) {
  const std::string every(
      "& = + % ?#\t\x7f\x80\x81\xa0\xc3\xa9\xfe\xff");
  FormBody body;
  body.Text("first=", every.c_str()).Text("&empty=", "").Text("&null=", nullptr).Int("&n=", -1);
  EXPECT_EQ(body.Bytes(), "first=" + every + "&empty=&null=&n=-1");
  EXPECT_TRUE(body.Postable());
}

TEST(FormBodyTexts, AllBytesAboveZeroSurvive) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
  FormBody body;
  body.Text("v=", all.c_str());
  EXPECT_EQ(body.Bytes(), "v=" + all);
}

// Running out of memory while building is reported, not thrown.
TEST(FormBodyMemory, AnyFailedAppendMakesTheBodyUnpostable) {
  const std::string longText(4096, 'x');
  for (std::size_t failAt = 1; failAt <= 8; ++failAt) {
    FormBody body;
    bool failedOne = false;
    {
      testalloc::ThrowingNew gate(failAt);
      body.Text("a=", longText.c_str()).Text("&b=", longText.c_str()).Decimal("&c=", 1.5).Int("&d=", 4);
      failedOne = gate.Fired();
    }
    EXPECT_EQ(body.Postable(), !failedOne) << "failing allocation " << failAt;
  }
}

}  // namespace
