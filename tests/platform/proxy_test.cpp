// The user's proxy settings from the environment, bypass rules, and
// requests sent through a loopback proxy.
#include <gtest/gtest.h>

#include <cstdlib>

#include "loopback_server.h"
#include "platform/linux/proxy_rules.h"
#include "winhttp_fixture.h"

namespace {

using namespace testsupport;
using namespace platformtest;

// Sets the four proxy variables for one test and clears them afterwards.
class ProxyEnvironment {
 public:
  ProxyEnvironment(const char* httpProxy, const char* noProxy) {
    Clear();
    if (httpProxy) setenv("http_proxy", httpProxy, 1);
    if (noProxy) setenv("NO_PROXY", noProxy, 1);
  }
  ~ProxyEnvironment() { Clear(); }

 private:
  static void Clear() {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "no_proxy", "NO_PROXY"}) unsetenv(name);
  }
};

std::string Text(LPWSTR text) { return text == nullptr ? "<null>" : Narrow(text); }

TEST(UserProxyConfig, ComesFromTheEnvironment) {
  struct Case {
    const char* httpProxy;
    const char* noProxy;
    std::string proxy, bypass;
  } cases[] = {
      {nullptr, nullptr, "<null>", "<null>"},
      {"http://127.0.0.1:3128/", nullptr, "127.0.0.1:3128", "<null>"},
      {"proxy.test:8080", "localhost, .corp.test,10.*", "proxy.test:8080", "localhost;.corp.test;10.*"},
      {"http://user:pw@proxy.test:81", "", "proxy.test:81", "<null>"},
  };
  for (const Case& c : cases) {
    ProxyEnvironment environment(c.httpProxy, c.noProxy);
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config;
    ASSERT_TRUE(WinHttpGetIEProxyConfigForCurrentUser(&config));
    EXPECT_FALSE(config.fAutoDetect);
    EXPECT_EQ(config.lpszAutoConfigUrl, nullptr);
    EXPECT_EQ(Text(config.lpszProxy), c.proxy);
    EXPECT_EQ(Text(config.lpszProxyBypass), c.bypass);
    EXPECT_EQ(GlobalFree(config.lpszProxy), nullptr);
    GlobalFree(config.lpszProxyBypass);
  }
}

TEST(UserProxyConfig, AutoDetectionIsNotAvailable) {
  HINTERNET session = WinHttpOpen(u"a", 0, nullptr, nullptr, 0);
  WINHTTP_AUTOPROXY_OPTIONS options{};
  WINHTTP_PROXY_INFO info{};
  EXPECT_FALSE(WinHttpGetProxyForUrl(session, u"http://h/", &options, &info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_AUTODETECTION_FAILED));
  EXPECT_EQ(info.lpszProxy, nullptr);
  WinHttpCloseHandle(session);
}

TEST(ProxyRules, BypassEntriesMatchAsDocumented) {
  struct Case {
    const char* host;
    const char* bypass;
    bool bypassed;
  } cases[] = {
      {"intranet", "<local>", true},
      {"intra.net", "<local>", false},
      {"a.corp.test", ".corp.test", true},
      {"corp.test", ".corp.test", false},
      {"Host.Corp.Test", "*.corp.test", true},
      {"10.1.2.3", "192.168.*;10.*", true},
      {"127.0.0.1", "localhost 127.0.0.1", true},
      {"127.0.0.1", "localhost,127.0.0.2", false},
      {"anything", "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(winhttp_linux::IsBypassed(c.host, c.bypass), c.bypassed) << c.host << " / " << c.bypass;
}

TEST(ProxyRules, ProxyListsYieldTheHttpProxy) {
  struct Case {
    const char* list;
    bool ok;
    std::string host;
    unsigned short port;
  } cases[] = {
      {"127.0.0.1:3128", true, "127.0.0.1", 3128},
      {"http://proxy.test:81/", true, "proxy.test", 81},
      {"proxy.test", true, "proxy.test", 80},
      {"https=s.test:1;http=h.test:2", true, "h.test", 2},
      {"first.test:1;second.test:2", true, "first.test", 1},
      {"h:0", false, "", 0},
      {"h:99999", false, "", 0},
      {"", false, "", 0},
  };
  for (const Case& c : cases) {
    std::string host;
    unsigned short port = 0;
    EXPECT_EQ(winhttp_linux::ParseProxyServer(c.list, host, port), c.ok) << c.list;
    if (c.ok) {
      EXPECT_EQ(host, c.host) << c.list;
      EXPECT_EQ(port, c.port) << c.list;
    }
  }
}

// The target refuses direct connections; only the proxy can reach the reply.
TEST(ThroughProxy, RequestGoesOutInAbsoluteFormUnlessBypassed) {
  ScriptedServer origin({Step::Respond(HttpResponse(200, {}, "via proxy"))});
  ForwardingProxy proxy(origin.Port());
  ClosedPort target;
  const std::u16string proxyAddress = Widen("127.0.0.1:" + std::to_string(proxy.Port()));
  struct Case {
    std::u16string bypass;
    DWORD expected;
  } cases[] = {{u"", ERROR_SUCCESS}, {u"<local>;10.*", ERROR_SUCCESS}, {u"127.0.0.1", ERROR_WINHTTP_CANNOT_CONNECT}};
  for (const Case& c : cases) {
    RequestOptions options;
    options.port = target.Port();
    OpenedRequest request(options);
    WINHTTP_PROXY_INFO info{WINHTTP_ACCESS_TYPE_NAMED_PROXY, const_cast<LPWSTR>(proxyAddress.c_str()),
                            c.bypass.empty() ? nullptr : const_cast<LPWSTR>(c.bypass.c_str())};
    ASSERT_TRUE(WinHttpSetOption(request.Handle(), WINHTTP_OPTION_PROXY, &info, sizeof info));
    ASSERT_EQ(request.Exchange(u"Content-Length: 3\r\n", "a=1"), c.expected) << Narrow(c.bypass);
    if (c.expected != ERROR_SUCCESS) continue;
    DWORD error = 0;
    EXPECT_EQ(ReadWholeBody(request.Handle(), error), "via proxy");
    const std::string absolute = "http://127.0.0.1:" + std::to_string(target.Port()) + "/p";
    EXPECT_EQ(proxy.RequestLines().back(), "POST " + absolute + " HTTP/1.1");
    EXPECT_NE(proxy.Requests().back().find("\r\nHost: 127.0.0.1:" + std::to_string(target.Port()) + "\r\n"),
              std::string::npos);
    EXPECT_EQ(proxy.Requests().back().substr(proxy.Requests().back().size() - 3), "a=1");
  }
  EXPECT_EQ(proxy.ConnectionCount(), 2u);
}

TEST(ThroughProxy, DefaultPortIsLeftOutOfHostAndTarget) {
  ScriptedServer origin({Step::Respond(HttpResponse(200, {}, ""))});
  ForwardingProxy proxy(origin.Port());
  const std::u16string proxyAddress = Widen("127.0.0.1:" + std::to_string(proxy.Port()));
  // A session-wide proxy, given when the session is opened.
  HINTERNET session = WinHttpOpen(u"", WINHTTP_ACCESS_TYPE_NAMED_PROXY, proxyAddress.c_str(), nullptr, 0);
  WinHttpSetTimeouts(session, 0, 2000, 2000, 2000);
  HINTERNET connection = WinHttpConnect(session, u"127.0.0.1", INTERNET_DEFAULT_HTTP_PORT, 0);
  HINTERNET request = WinHttpOpenRequest(connection, u"GET", u"/x", nullptr, nullptr, nullptr, 0);
  ASSERT_TRUE(WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0));
  ASSERT_TRUE(WinHttpReceiveResponse(request, nullptr));
  EXPECT_EQ(proxy.Requests().at(0), "GET http://127.0.0.1/x HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
  for (HINTERNET handle : {request, connection, session}) WinHttpCloseHandle(handle);
}

TEST(ProxyOptions, AreValidatedAndStored) {
  RequestOptions options;
  options.port = 9;
  OpenedRequest request(options);
  WINHTTP_PROXY_INFO noServer{WINHTTP_ACCESS_TYPE_NAMED_PROXY, nullptr, nullptr};
  EXPECT_FALSE(WinHttpSetOption(request.Handle(), WINHTTP_OPTION_PROXY, &noServer, sizeof noServer));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_FALSE(WinHttpSetOption(request.Handle(), WINHTTP_OPTION_PROXY, &noServer, 8));
  DWORD flags = 0x3100;
  EXPECT_TRUE(WinHttpSetOption(request.Handle(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags));
  const std::u16string user = u"user";
  EXPECT_TRUE(WinHttpSetOption(request.Handle(), WINHTTP_OPTION_PROXY_USERNAME,
                               const_cast<char16_t*>(user.c_str()), static_cast<DWORD>(user.size() * 2)));
  EXPECT_TRUE(WinHttpSetOption(request.Handle(), WINHTTP_OPTION_PROXY_PASSWORD,
                               const_cast<char16_t*>(user.c_str()), static_cast<DWORD>(user.size() * 2)));
}

}  // namespace
