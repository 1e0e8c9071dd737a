// The code-page conversions, on the inputs the body decoding and the text
// replies meet.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/seam.h"

namespace {

struct DecodeCase {
  const char* name;
  UINT codePage;
  std::string bytes;
  std::u16string expected;
};

TEST(MultiByteToWideChar, DecodesEachCodePage) {
  const DecodeCase cases[] = {
      {"ascii", CP_UTF8, "abc", u"abc"},
      {"two-byte utf-8", CP_UTF8, "\xC3\xA9", u"\u00E9"},
      {"three-byte utf-8", CP_UTF8, "\xE2\x82\xAC", u"\u20AC"},
      {"four-byte to surrogate pair", CP_UTF8, "\xF0\x9F\x98\x80", u"\U0001F600"},
      {"stray continuation", CP_UTF8, "a\x80" "b", u"a\uFFFDb"},
      {"truncated sequence then ascii", CP_UTF8, "\xE2\x82z", u"\uFFFDz"},
      {"overlong", CP_UTF8, "\xC0\xAF", u"\uFFFD\uFFFD"},
      {"encoded surrogate", CP_UTF8, "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"beyond U+10FFFF", CP_UTF8, "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"cut at the end", CP_UTF8, "\xF0\x9F\x98", u"\uFFFD"},
      {"ansi keeps two bytes as two characters", CP_ACP, "\xC3\xA9", u"\u00C3\u00A9"},
      {"ansi euro sign", CP_ACP, "\x80", u"\u20AC"},
      {"ansi high quotes", CP_ACP, "\x93x\x94", u"\u201Cx\u201D"},
      {"ansi unassigned keeps its value", CP_ACP, "\x81\x8D", u"\u0081\u008D"},
      {"ansi zero byte is kept", CP_ACP, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
  };
  for (const DecodeCase& c : cases) {
    const int size = static_cast<int>(c.bytes.size());
    DWORD flags = c.codePage == CP_ACP ? MB_PRECOMPOSED : 0;
    int needed = MultiByteToWideChar(c.codePage, flags, c.bytes.data(), size, nullptr, 0);
    ASSERT_EQ(needed, static_cast<int>(c.expected.size())) << c.name;
    std::u16string out(static_cast<std::size_t>(needed) + 2, u'#');
    ASSERT_EQ(MultiByteToWideChar(c.codePage, flags, c.bytes.data(), size, out.data(), needed), needed) << c.name;
    EXPECT_EQ(out.substr(0, static_cast<std::size_t>(needed)), c.expected) << c.name;
    EXPECT_EQ(out.substr(static_cast<std::size_t>(needed)), u"##") << c.name << ": wrote past the count";
  }
}

TEST(MultiByteToWideChar, RefusesWhatItCannotDo) {
  char16_t out[4] = {};
  struct Case {
    const char* name;
    UINT codePage;
    const char* source;
    int sourceBytes;
    int destChars;
    DWORD error;
  } cases[] = {
      {"too small", CP_UTF8, "abcde", 5, 4, ERROR_INSUFFICIENT_BUFFER},
      {"terminator counted", CP_UTF8, "abcd", -1, 4, ERROR_INSUFFICIENT_BUFFER},
      {"no source", CP_UTF8, nullptr, 3, 4, ERROR_INVALID_PARAMETER},
      {"empty source", CP_UTF8, "a", 0, 4, ERROR_INVALID_PARAMETER},
      {"negative size", CP_UTF8, "a", -2, 4, ERROR_INVALID_PARAMETER},
      {"unknown code page", 932, "a", 1, 4, ERROR_INVALID_PARAMETER},
  };
  for (const Case& c : cases) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.codePage, 0, c.source, c.sourceBytes, out, c.destChars), 0) << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "abc", -1, nullptr, 0), 4);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0x8, "\xFF", 1, nullptr, 0), 0);  // strict decoding
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(WideCharToMultiByte, EncodesUtf8AndNeverWritesPastTheBuffer) {
  struct Case {
    const char* name;
    std::u16string text;
    int destBytes;
    int result;
    std::string written;  // what lands in the buffer, before its guard bytes
  } cases[] = {
      {"ascii", u"abc", 8, 3, "abc"},
      {"latin letter", u"\u00E9", 8, 2, "\xC3\xA9"},
      {"surrogate pair", u"\U0001F600", 8, 4, "\xF0\x9F\x98\x80"},
      {"lone high surrogate", std::u16string(1, u'\xD800'), 8, 3, "\xEF\xBF\xBD"},
      {"lone low surrogate", std::u16string(1, u'\xDC00') + u"a", 8, 4, "\xEF\xBF\xBD" "a"},
      {"too small keeps whole characters", u"a\u00E9\u00E9", 4, 0, "a\xC3\xA9"},
      {"too small for a pair", u"ab\U0001F600", 5, 0, "ab"},
  };
  for (const Case& c : cases) {
    char buffer[12];
    std::memset(buffer, '#', sizeof buffer);
    SetLastError(0);
    int result = WideCharToMultiByte(CP_UTF8, 0, c.text.data(), static_cast<int>(c.text.size()), buffer,
                                     c.destBytes, nullptr, nullptr);
    EXPECT_EQ(result, c.result) << c.name;
    if (result == 0) {
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) << c.name;
    }
    EXPECT_EQ(std::string(buffer, c.written.size()), c.written) << c.name;
    EXPECT_EQ(std::string(buffer + c.destBytes, sizeof buffer - static_cast<std::size_t>(c.destBytes)),
              std::string(sizeof buffer - static_cast<std::size_t>(c.destBytes), '#'))
        << c.name << ": wrote past destBytes";
  }
}

TEST(WideCharToMultiByte, SizeQueriesAndRefusals) {
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9x", -1, nullptr, 0, nullptr, nullptr), 4);
  char buffer[4];
  BOOL usedDefault = FALSE;
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"a", 1, buffer, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a", 1, buffer, 4, nullptr, &usedDefault), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, nullptr, 1, buffer, 4, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
