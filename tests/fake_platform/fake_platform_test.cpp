// The fake must behave like the platform where tests lean on it: code page
// conversions, URL cracking and header coalescing.
#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"

namespace {

struct DecodeCase {
  UINT codePage;
  DWORD flags;
  std::string bytes;
  std::u16string text;  // empty: the conversion fails
};

class MultiByteTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(MultiByteTest, ConvertsLikeKernel32) {
  fake::Reset();
  const DecodeCase& c = GetParam();
  int needed = MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), static_cast<int>(c.bytes.size()), nullptr, 0);
  ASSERT_EQ(needed, static_cast<int>(c.text.size()));
  if (needed == 0) return;
  std::u16string out(static_cast<std::size_t>(needed), u'\0');
  if (needed > 1) {
    EXPECT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), static_cast<int>(c.bytes.size()), out.data(),
                                  needed - 1),
              0)
        << "a destination one unit short must fail";
  }
  ASSERT_EQ(MultiByteToWideChar(c.codePage, c.flags, c.bytes.data(), static_cast<int>(c.bytes.size()), out.data(), needed),
            needed);
  EXPECT_EQ(out, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    CodePages, MultiByteTest,
    ::testing::Values(DecodeCase{CP_UTF8, 0, "\xC3\xA9", u"\u00e9"}, DecodeCase{CP_UTF8, 0, "\xF0\x9F\x98\x80", u"\U0001F600"},
                      DecodeCase{CP_UTF8, 0, "a\xC3", u"a\ufffd"}, DecodeCase{CP_UTF8, 0, "\xC0\x80", u"\ufffd\ufffd"},
                      DecodeCase{CP_UTF8, 0, "\xED\xA0\x80", u"\ufffd\ufffd\ufffd"},
                      DecodeCase{CP_UTF8, 8, "a\xFF", u""}, DecodeCase{CP_UTF8, MB_PRECOMPOSED, "a", u""},
                      DecodeCase{CP_ACP, MB_PRECOMPOSED, "\xC3\xA9\x80\x81", u"\u00c3\u00a9\u20ac\u0081"},
                      DecodeCase{CP_ACP, 0, std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
                      DecodeCase{437, 0, "a", u""}));

TEST(WideCharToMultiByteTest, EncodesUtf8AndSizesTheDestination) {
  fake::Reset();
  const char16_t text[] = u"\u00e9\U0001F600\xD800";
  int needed = WideCharToMultiByte(CP_UTF8, 0, text, 4, nullptr, 0, nullptr, nullptr);
  ASSERT_EQ(needed, 2 + 4 + 3);
  std::string out(static_cast<std::size_t>(needed), '\0');
  ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 4, out.data(), needed, nullptr, nullptr), needed);
  EXPECT_EQ(out, "\xC3\xA9\xF0\x9F\x98\x80\xEF\xBF\xBD");
  EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, text, 4, out.data(), needed - 1, nullptr, nullptr), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
}

struct CrackCase {
  const char16_t* url;
  bool cracked;
  INTERNET_SCHEME scheme;
  std::u16string host;
  INTERNET_PORT port;
  std::u16string path;
};

class CrackUrlTest : public ::testing::TestWithParam<CrackCase> {};

TEST_P(CrackUrlTest, SplitsIntoTheCallersBuffers) {
  fake::Reset();
  WCHAR host[16] = {};
  WCHAR path[32] = {};
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = 1;
  parts.lpszHostName = host;
  parts.dwHostNameLength = 16;
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = 32;
  std::u16string url = GetParam().url;
  ASSERT_EQ(WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) == TRUE, GetParam().cracked);
  if (!GetParam().cracked) return;
  EXPECT_EQ(parts.nScheme, GetParam().scheme);
  EXPECT_EQ(std::u16string(host), GetParam().host);
  EXPECT_EQ(parts.nPort, GetParam().port);
  EXPECT_EQ(std::u16string(path), GetParam().path);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, CrackUrlTest,
    ::testing::Values(CrackCase{u"http://h.test/a/b", true, INTERNET_SCHEME_HTTP, u"h.test", 80, u"/a/b"},
                      CrackCase{u"HTTPS://h.test:8443/x?y", true, INTERNET_SCHEME_HTTPS, u"h.test", 8443, u"/x?y"},
                      CrackCase{u"http://127.0.0.1:5", true, INTERNET_SCHEME_HTTP, u"127.0.0.1", 5, u""},
                      CrackCase{u"http://a-host-name-too-long.test/", false, 0, u"", 0, u""},
                      CrackCase{u"ftp://h.test/", false, 0, u"", 0, u""}, CrackCase{u"http://:80/", false, 0, u"", 0, u""},
                      CrackCase{u"http://h.test:99999/", false, 0, u"", 0, u""}));

TEST(FakeHeadersTest, CoalescingFlagsMergeLinesOnTheWire) {
  fake::Reset();
  HINTERNET session = WinHttpOpen(u"t", 0, nullptr, nullptr, 0);
  HINTERNET connection = WinHttpConnect(session, u"h.test", 80, 0);
  HINTERNET request = WinHttpOpenRequest(connection, u"POST", u"/", nullptr, nullptr, nullptr, 0);
  const std::u16string line = u"Content-Length: 7\r\n";
  ASSERT_TRUE(WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(line.size()),
                                       WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON));
  ASSERT_TRUE(WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(-1),
                                       WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON));
  EXPECT_FALSE(WinHttpAddRequestHeaders(request, line.c_str(), static_cast<DWORD>(line.size()),
                                        WINHTTP_ADDREQ_FLAG_ADD_IF_NEW));
  WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0);
  EXPECT_EQ(fake::CallsOf(fake::Call::SendRequest)[0].text, u"Content-Length: 7; 7\r\n");
  EXPECT_FALSE(WinHttpReadData(request, nullptr, 0, nullptr)) << "no reading before a response";
  for (HINTERNET handle : {request, connection, session}) WinHttpCloseHandle(handle);
  EXPECT_EQ(fake::OpenHandleCount(), 0u);
  EXPECT_FALSE(WinHttpCloseHandle(request));
  EXPECT_EQ(fake::BadCloseCount(), 1u);
}

}  // namespace
