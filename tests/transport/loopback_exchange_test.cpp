// The transport over the real Linux platform layer against loopback
// servers that stop by themselves.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include "loopback_server.h"
#include "transport/form_post.h"
#include "transport/http_client.h"

namespace {

using testsupport::ChunkedBody;
using testsupport::ClosedPort;
using testsupport::ForwardingProxy;
using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;
using transport::HttpClient;

WideString Wide(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

std::string Narrow(const WideString& text) {
  std::string narrow;
  for (WideChar c : text) narrow.push_back(static_cast<char>(c));
  return narrow;
}

// Sets (or clears) an environment variable for one test and puts the old
// value back afterwards.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  ~ScopedEnvironment() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// No proxy from the machine's own environment may take part.
class LoopbackTest : public ::testing::Test {
 protected:
  ScopedEnvironment httpProxy_{"http_proxy", nullptr};
  ScopedEnvironment httpProxyUpper_{"HTTP_PROXY", nullptr};
  ScopedEnvironment noProxy_{"no_proxy", nullptr};
  ScopedEnvironment noProxyUpper_{"NO_PROXY", nullptr};
};

struct ReplyCase {
  const char* name;
  std::string response;
  std::string status;
  std::string text;
};

void PrintTo(const ReplyCase& c, std::ostream* out) { *out << c.name << " (status " << c.status << ")"; }

class LoopbackReplyTest : public LoopbackTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(LoopbackReplyTest, AnyResponseThatArrivesIsTheReply) {
  ScriptedServer server({Step::Respond(GetParam().response)});
  HttpClient client(Wide(server.Url("/admin/public/api/mt5/sendSignal")));
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(Narrow(client.StatusCode()), GetParam().status);
  EXPECT_EQ(Narrow(client.GetResponseText()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, LoopbackReplyTest,
    ::testing::Values(
        ReplyCase{"ServerError", HttpResponse(500, {}, "internal trouble"), "500", "internal trouble"},
        ReplyCase{"Chunked",
                  HttpResponse(200, {{"Transfer-Encoding", "chunked"}}, ChunkedBody({"12", "34", std::string(9000, 'c')})),
                  "200", "1234" + std::string(9000, 'c')},
        ReplyCase{"CloseDelimited", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil the end", "200", "until the end"},
        ReplyCase{"Utf8", HttpResponse(200, {{"Content-Type", "text/plain; charset=utf-8"}}, "ok"), "200", "ok"}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

std::string Repeat(const std::string& unit, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += unit;
  return text;
}

WideString Repeat(const WideString& unit, std::size_t times) {
  WideString text;
  for (std::size_t i = 0; i < times; ++i) text += unit;
  return text;
}

const std::string kUtf8Type = "text/plain; charset=utf-8";

struct DecodedCase {
  const char* name;
  std::string contentType;  // empty: no Content-Type line
  std::string body;
  WideString text;
  bool closeDelimited = false;  // no Content-Length: the body ends with the connection
};

void PrintTo(const DecodedCase& c, std::ostream* out) {
  *out << c.name << (c.closeDelimited ? " (body ends with the connection)" : "");
}

class LoopbackDecodeTest : public LoopbackTest, public ::testing::WithParamInterface<DecodedCase> {};

// Bodies that arrive in many reads, grow the body buffer several times and
// are decoded through the layer's own code pages.
TEST_P(LoopbackDecodeTest, BodyIsDecodedWhole) {
  const DecodedCase& c = GetParam();
  std::string response;
  if (c.closeDelimited) {
    response = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + c.body;
  } else if (c.contentType.empty()) {
    response = HttpResponse(200, {}, c.body);
  } else {
    response = HttpResponse(200, {{"Content-Type", c.contentType}}, c.body);
  }
  ScriptedServer server({Step::Respond(response)});
  WideString reply;
  ASSERT_TRUE(transport::FormPost(Wide(server.Url("/x")), "a=1", reply));
  EXPECT_EQ(reply.size(), c.text.size());
  EXPECT_TRUE(reply == c.text) << "the decoded reply differs";
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, LoopbackDecodeTest,
    ::testing::Values(
        DecodedCase{"LargeAnsi", "", Repeat("0123456789abcdef\x80", 20000), Repeat(WideString(WTEXT("0123456789abcdef\u20ac")), 20000)},
        DecodedCase{"LargeUtf8", kUtf8Type, Repeat("x\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 ", 30000),
                    Repeat(WideString(WTEXT("x\u00e9\u20ac\U0001F600 ")), 30000)},
        DecodedCase{"LargeUntilClose", "", Repeat("until close ", 25000), Repeat(WideString(WTEXT("until close ")), 25000), true},
        DecodedCase{"ZeroEndsAnsiText", "", std::string(20000, 'a') + std::string(1, '\0') + "b", Repeat(WideString(WTEXT("a")), 20000)},
        DecodedCase{"ZeroEndsUtf8Text", kUtf8Type, std::string("\xC3\xA9z\0tail", 8), WTEXT("\u00e9z")},
        DecodedCase{"ZeroFirst", kUtf8Type, std::string("\0abc", 4), WTEXT("")},
        DecodedCase{"Empty", "", "", WTEXT("")}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(LoopbackTest, Utf8CharsetDecodesTheBody) {
  ScriptedServer server({Step::Respond(HttpResponse(200, {{"Content-Type", "text/plain; charset=UTF-8"}}, "\xC3\xA9"))});
  WideString reply;
  ASSERT_TRUE(transport::FormPost(Wide(server.Url("/x")), "a=1", reply));
  EXPECT_EQ(reply, WTEXT("\u00e9"));
}

TEST_F(LoopbackTest, BodyCutOffBeforeItsLengthIsNoReply) {
  ScriptedServer server({Step::SendThenReset("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part")});
  HttpClient client(Wide(server.Url("/x")));
  client.SetTimeouts(0, 2000, 2000, 2000);
  EXPECT_FALSE(client.Send(WTEXT("POST")));
}

TEST_F(LoopbackTest, ServerNotListeningFailsAfterThreeSends) {
  ClosedPort closed;
  HttpClient client(Wide("http://127.0.0.1:" + std::to_string(closed.Port()) + "/x"));
  EXPECT_FALSE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(ERROR_WINHTTP_CANNOT_CONNECT));
  EXPECT_TRUE(client.GetResponseText().empty());
}

TEST_F(LoopbackTest, StalledServerIsCutOffByTheTimeouts) {
  ScriptedServer server({Step::Hold()});
  HttpClient client(Wide(server.Url("/x")));
  client.SetTimeouts(0, 1000, 1000, 300);
  auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(client.Send(WTEXT("POST")));
  auto elapsed = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(ERROR_WINHTTP_TIMEOUT));
  EXPECT_LT(elapsed, std::chrono::seconds(5));
}

TEST_F(LoopbackTest, FormPostPutsExactlyItsRequestOnTheWire) {
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, "7"))});
  WideString reply;
  ASSERT_TRUE(transport::FormPost(Wide(server.Url("/admin/public/api/updateTS")), "a=1&b=2", reply));
  EXPECT_EQ(transport::ReplyToInt(reply), 7);
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string request = server.Requests()[0];
  EXPECT_EQ(request.rfind("POST /admin/public/api/updateTS HTTP/1.1\r\n", 0), 0u) << request;
  EXPECT_NE(request.find("\r\nContent-Length: 7\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("\r\nUser-Agent: WinHttpClient\r\n"), std::string::npos) << request;
  EXPECT_EQ(request.find("Cookie"), std::string::npos) << request;
  const std::string tail = "\r\n\r\na=1&b=2";
  ASSERT_GE(request.size(), tail.size());
  EXPECT_EQ(request.substr(request.size() - tail.size()), tail) << request;
}

TEST_F(LoopbackTest, RetryAfterLostResponseSendsTheHeaderLinesOnce) {
  ScriptedServer server({Step::SendThenReset(""), Step::Respond(HttpResponse(200, {}, "second"))});
  WideString reply;
  ASSERT_TRUE(transport::FormPost(Wide(server.Url("/x")), "a=1&b=2", reply));
  EXPECT_EQ(reply, WTEXT("second"));
  ASSERT_EQ(server.Requests().size(), 2u);
  const std::string retry = server.Requests()[1];
  EXPECT_NE(retry.find("\r\nContent-Length: 7\r\n"), std::string::npos) << retry;
  EXPECT_EQ(retry.find("7; 7"), std::string::npos) << retry;
  EXPECT_EQ(retry.find("urlencoded; "), std::string::npos) << retry;
}

TEST_F(LoopbackTest, RefusedTargetIsReachedThroughTheUsersProxy) {
  ClosedPort closed;
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, "via proxy"))});
  ForwardingProxy proxy(server.Port());
  std::string proxyAddress = "http://127.0.0.1:" + std::to_string(proxy.Port());
  ScopedEnvironment useProxy("http_proxy", proxyAddress.c_str());
  std::string target = "http://127.0.0.1:" + std::to_string(closed.Port()) + "/admin/public/api/checkLimits";
  WideString reply;
  ASSERT_TRUE(transport::FormPost(Wide(target), "a=1&b=2", reply));
  EXPECT_EQ(reply, WTEXT("via proxy"));
  ASSERT_EQ(proxy.RequestLines().size(), 1u);
  EXPECT_EQ(proxy.RequestLines()[0], "POST " + target + " HTTP/1.1");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_NE(server.Requests()[0].find("\r\nContent-Length: 7\r\n"), std::string::npos);
}

}  // namespace
