// The fake must behave like the platform where tests lean on it: the header
// rules it takes from the Linux stand-in (its code pages and URL cracking
// come from there too, tested in tests/platform), and its journal of what
// went on the wire.
#include <gtest/gtest.h>

#include <string>

#include "fake_platform.h"

namespace {

constexpr DWORD kHeaderAlreadyExists = 12155;  // ERROR_WINHTTP_HEADER_ALREADY_EXISTS

// "Content-Length: 7" is added first; then `second` with `modifiers`.
struct HeaderCase {
  const char* name;
  std::u16string second;
  DWORD modifiers;
  BOOL added;
  DWORD error;            // when not added
  std::u16string onWire;  // the header block WinHttpSendRequest journals
};

void PrintTo(const HeaderCase& c, std::ostream* out) { *out << c.name; }

class FakeHeadersTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(FakeHeadersTest, ModifiersMergeLinesAsTheStandInDoes) {
  fake::Reset();
  const HeaderCase& c = GetParam();
  HINTERNET session = WinHttpOpen(u"t", 0, nullptr, nullptr, 0);
  HINTERNET connection = WinHttpConnect(session, u"h.test", 80, 0);
  HINTERNET request = WinHttpOpenRequest(connection, u"POST", u"/", nullptr, nullptr, nullptr, 0);
  const std::u16string first = u"Content-Length: 7\r\n";
  ASSERT_TRUE(WinHttpAddRequestHeaders(request, first.c_str(), static_cast<DWORD>(first.size()),
                                       WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON));
  ASSERT_EQ(WinHttpAddRequestHeaders(request, c.second.c_str(), static_cast<DWORD>(-1), c.modifiers), c.added);
  if (!c.added) {
    EXPECT_EQ(GetLastError(), c.error);
  }
  WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0);
  EXPECT_EQ(fake::CallsOf(fake::Call::SendRequest).at(0).text, c.onWire);
  EXPECT_FALSE(WinHttpReadData(request, nullptr, 0, nullptr)) << "no reading before a response";
  for (HINTERNET handle : {request, connection, session}) WinHttpCloseHandle(handle);
  EXPECT_EQ(fake::OpenHandleCount(), 0u);
  EXPECT_FALSE(WinHttpCloseHandle(request));
  EXPECT_EQ(fake::BadCloseCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Modifiers, FakeHeadersTest,
    ::testing::Values(
        HeaderCase{"SemicolonCoalesces", u"content-length: 8", WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON, TRUE, 0,
                   u"Content-Length: 7; 8\r\n"},
        HeaderCase{"AddIfNewRefusesAPresentName", u"Content-Length: 8", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW, FALSE,
                   kHeaderAlreadyExists, u"Content-Length: 7\r\n"},
        HeaderCase{"ReplaceOfAnAbsentNameIsRefused", u"X-Absent: 1", WINHTTP_ADDREQ_FLAG_REPLACE, FALSE,
                   ERROR_WINHTTP_HEADER_NOT_FOUND, u"Content-Length: 7\r\n"},
        HeaderCase{"ReplaceTakesThePresentName", u"content-length: 8", WINHTTP_ADDREQ_FLAG_REPLACE, TRUE, 0,
                   u"Content-Length: 8\r\n"}),
    [](const auto& named) { return std::string(named.param.name); });

}  // namespace
