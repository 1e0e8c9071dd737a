// Splitting URLs into the buffers the client hands over.
#include <gtest/gtest.h>

#include <string>

#include "platform/seam.h"
#include "winhttp_fixture.h"

namespace {

using platformtest::Narrow;

struct Cracked {
  BOOL ok = FALSE;
  DWORD error = 0;
  INTERNET_SCHEME scheme = 0;
  INTERNET_PORT port = 0;
  std::string host, path;
};

// Asks as the client does: scheme number only, host and path into buffers.
Cracked Crack(const std::u16string& url, DWORD hostRoom = 260, DWORD pathRoom = 1300) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  std::u16string host(hostRoom + 1, u'#'), path(pathRoom + 1, u'#');
  parts.dwSchemeLength = 1;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = hostRoom;
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = pathRoom;
  Cracked result;
  result.ok = WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts);
  result.error = result.ok ? 0 : GetLastError();
  if (host[hostRoom] != u'#' || path[pathRoom] != u'#') ADD_FAILURE() << "wrote past a buffer";
  if (result.ok) {
    result.scheme = parts.nScheme;
    result.port = parts.nPort;
    result.host = Narrow(host.substr(0, parts.dwHostNameLength));
    result.path = Narrow(path.substr(0, parts.dwUrlPathLength));
  }
  return result;
}

TEST(CrackUrl, SplitsTheUrlsTheClientMeets) {
  struct Case {
    std::u16string url;
    INTERNET_SCHEME scheme;
    INTERNET_PORT port;
    std::string host, path;
  } cases[] = {
      {u"http://127.0.0.1/admin/public/api/mt5/sendSignal", 1, 80, "127.0.0.1", "/admin/public/api/mt5/sendSignal"},
      {u"http://localhost:8080/client/api_copytrade.php", 1, 8080, "localhost", "/client/api_copytrade.php"},
      {u"https://example.test/x", 2, 443, "example.test", "/x"},
      {u"HTTP://Host.Test", 1, 80, "Host.Test", "/"},
      {u"http://h/p?a=1&b=2", 1, 80, "h", "/p?a=1&b=2"},
      {u"http://h?q", 1, 80, "h", "?q"},
      {u"http://[::1]:9000/v6", 1, 9000, "[::1]", "/v6"},
      {u"http://user:secret@h:81/p", 1, 81, "h", "/p"},
      {u"http://h:/p", 1, 80, "h", "/p"},
  };
  for (const Case& c : cases) {
    Cracked cracked = Crack(c.url);
    ASSERT_TRUE(cracked.ok) << Narrow(c.url) << " error " << cracked.error;
    EXPECT_EQ(cracked.scheme, c.scheme) << Narrow(c.url);
    EXPECT_EQ(cracked.port, c.port) << Narrow(c.url);
    EXPECT_EQ(cracked.host, c.host) << Narrow(c.url);
    EXPECT_EQ(cracked.path, c.path) << Narrow(c.url);
  }
}

TEST(CrackUrl, RefusesWhatItCannotSplit) {
  struct Case {
    std::u16string url;
    DWORD hostRoom;
    DWORD error;
  } cases[] = {
      {u"ftp://h/x", 260, ERROR_WINHTTP_UNRECOGNIZED_SCHEME},
      {u"127.0.0.1/x", 260, ERROR_WINHTTP_UNRECOGNIZED_SCHEME},
      {u"http:/h/x", 260, ERROR_WINHTTP_UNRECOGNIZED_SCHEME},
      {u"http:///x", 260, ERROR_WINHTTP_INVALID_URL},
      {u"http://h:99999/x", 260, ERROR_WINHTTP_INVALID_URL},
      {u"http://h:8a/x", 260, ERROR_WINHTTP_INVALID_URL},
      {u"http://[::1/x", 260, ERROR_WINHTTP_INVALID_URL},
      {u"http://abcdef/x", 6, ERROR_INSUFFICIENT_BUFFER},  // no room for the terminator
      {u"http://" + std::u16string(300, u'a') + u"/x", 260, ERROR_INSUFFICIENT_BUFFER},
  };
  for (const Case& c : cases) {
    Cracked cracked = Crack(c.url, c.hostRoom);
    EXPECT_FALSE(cracked.ok) << Narrow(c.url);
    EXPECT_EQ(cracked.error, c.error) << Narrow(c.url);
  }
  EXPECT_TRUE(Crack(u"http://abcde/x", 6).ok);
}

TEST(CrackUrl, ExtraInfoAskedForLeavesThePathWithoutTheQuery) {
  const std::u16string url = u"http://h/p?q=1";
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwUrlPathLength = 1;   // pointer into the URL
  parts.dwExtraInfoLength = 1;
  ASSERT_TRUE(WinHttpCrackUrl(url.c_str(), 0, 0, &parts));
  EXPECT_EQ(std::u16string(parts.lpszUrlPath, parts.dwUrlPathLength), u"/p");
  EXPECT_EQ(std::u16string(parts.lpszExtraInfo, parts.dwExtraInfoLength), u"?q=1");
  parts.dwStructSize = 8;
  EXPECT_FALSE(WinHttpCrackUrl(url.c_str(), 0, 0, &parts));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

}  // namespace
