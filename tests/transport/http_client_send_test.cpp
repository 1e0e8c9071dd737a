// The exchange steps of HttpClient::Send over the fake platform.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "fake_fixture.h"
#include "transport/http_client.h"

namespace {

using transport::HttpClient;
using transporttest::FakePlatformTest;
using transporttest::kHttpUrl;
using transporttest::Wide;

const WideString kFormHeaders = WTEXT("Content-Length: 7\r\nContent-Type: application/x-www-form-urlencoded\r\n");
constexpr DWORD kCannotConnect = ERROR_WINHTTP_CANNOT_CONNECT;

void PrepareForm(HttpClient& client) {
  client.SetPostData("a=1&b=2", 7);
  client.SetExtraHeaders(kFormHeaders);
}

bool IsRedirectSwitch(const fake::CallRecord& option) { return option.option == WINHTTP_OPTION_DISABLE_FEATURE; }

// The bound on the wait for the head, which every attempt sets.
bool IsHeadBound(const fake::CallRecord& option) { return option.option == WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT; }

// The options set besides the switch that turns redirects off and the
// bound on the head.
std::vector<fake::CallRecord> OtherOptions() {
  std::vector<fake::CallRecord> options = fake::CallsOf(fake::Call::SetOption);
  options.erase(std::remove_if(options.begin(), options.end(),
                               [](const fake::CallRecord& option) { return IsRedirectSwitch(option) || IsHeadBound(option); }),
                options.end());
  return options;
}

struct VerbCase {
  const char* verb;
  bool sent;
  const char16_t* wireVerb;  // verb given to WinHttpOpenRequest when sent
};

void PrintTo(const VerbCase& c, std::ostream* out) {
  *out << transporttest::Readable(c.verb) << (c.sent ? " is sent" : " is refused");
}

class VerbTest : public FakePlatformTest, public ::testing::WithParamInterface<VerbCase> {};

TEST_P(VerbTest, OnlyGetAndPostInAnyCaseAreSent) {
  fake::QueueResponse(fake::HttpReply(200, "ok"));
  HttpClient client(kHttpUrl);
  bool sent = client.Send(Wide(GetParam().verb));
  EXPECT_EQ(sent, GetParam().sent);
  if (GetParam().sent) {
    std::vector<fake::CallRecord> opened = fake::CallsOf(fake::Call::OpenRequest);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].text, GetParam().wireVerb);
    EXPECT_EQ(client.GetResponseText(), u"ok");
  } else {
    EXPECT_EQ(client.LastError(), 87u);
    EXPECT_TRUE(fake::Journal().empty()) << "nothing may be opened for a refused verb";
  }
}

INSTANTIATE_TEST_SUITE_P(Verbs, VerbTest,
                         ::testing::Values(VerbCase{"post", true, u"POST"}, VerbCase{"POST", true, u"POST"},
                                           VerbCase{"gEt", true, u"GET"}, VerbCase{"PUT", false, nullptr},
                                           VerbCase{"", false, nullptr}, VerbCase{"POSTS", false, nullptr},
                                           VerbCase{"GE", false, nullptr}));

TEST_F(FakePlatformTest, EmptyUrlFailsWithPathNotFoundBeforeAnySession) {
  HttpClient client(WideString{});
  EXPECT_FALSE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.LastError(), 3u);
  EXPECT_TRUE(fake::Journal().empty());
}

TEST_F(FakePlatformTest, SessionRequestAndTimeoutsCarryTheDefaults) {
  HttpClient client(WTEXT("http://service.test/admin/public/api/x"));
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  std::vector<fake::CallRecord> open = fake::CallsOf(fake::Call::Open);
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].text, u"WinHttpClient");
  EXPECT_EQ(open[0].accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_DEFAULT_PROXY));
  EXPECT_FALSE(open[0].hasProxyList);
  EXPECT_FALSE(open[0].hasBypassList);
  EXPECT_EQ(open[0].flags, 0u);
  std::vector<fake::CallRecord> timeouts = fake::CallsOf(fake::Call::SetTimeouts);
  ASSERT_EQ(timeouts.size(), 1u);
  EXPECT_EQ(std::vector<int>(timeouts[0].timeouts, timeouts[0].timeouts + 4), (std::vector<int>{0, 60000, 30000, 30000}));
  std::vector<fake::CallRecord> connect = fake::CallsOf(fake::Call::Connect);
  ASSERT_EQ(connect.size(), 1u);
  EXPECT_EQ(connect[0].text, u"service.test");
  EXPECT_EQ(connect[0].value, 80u);
  EXPECT_EQ(client.Host(), u"service.test");
  std::vector<fake::CallRecord> request = fake::CallsOf(fake::Call::OpenRequest);
  ASSERT_EQ(request.size(), 1u);
  EXPECT_EQ(request[0].path, u"/admin/public/api/x");
  EXPECT_EQ(request[0].flags, 0u);
  EXPECT_FALSE(request[0].nonDefaultArguments);
  std::vector<fake::CallRecord> send = fake::CallsOf(fake::Call::SendRequest);
  ASSERT_EQ(send.size(), 1u);
  EXPECT_FALSE(send[0].nonDefaultArguments) << "the body never goes with the send";
}

TEST_F(FakePlatformTest, DefaultSettingsSetOnlyTheRedirectSwitchAndHeadBoundAndNoCookieOnHttp) {
  HttpClient client(kHttpUrl);
  PrepareForm(client);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_TRUE(OtherOptions().empty());
  // One receive time-out for the whole head, the deadline being far: set
  // before the send (where Wine reads the TLS handshake under it) and
  // again before the wait for the head.
  std::vector<fake::CallRecord> bounds;
  for (fake::CallRecord& option : fake::CallsOf(fake::Call::SetOption)) {
    if (IsHeadBound(option)) bounds.push_back(std::move(option));
  }
  ASSERT_EQ(bounds.size(), 2u);
  for (const fake::CallRecord& bound : bounds) {
    EXPECT_EQ(bound.handle, fake::CallsOf(fake::Call::OpenRequest)[0].opened);
    ASSERT_EQ(bound.bytes.size(), sizeof(DWORD));
    DWORD headMs = 0;
    std::memcpy(&headMs, bound.bytes.data(), sizeof headMs);
    EXPECT_EQ(headMs, 30000u);
  }
  EXPECT_EQ(fake::CountOf(fake::Call::SetTimeouts), 1u) << "a timely attempt keeps its time-outs";
  for (const fake::CallRecord& add : fake::CallsOf(fake::Call::AddRequestHeaders)) {
    EXPECT_EQ(add.text.find(u"Cookie"), std::u16string::npos);
  }
  EXPECT_EQ(fake::CountOf(fake::Call::GetIEProxyConfig), 0u);
}

TEST_F(FakePlatformTest, SecondSendReusesTheSessionAndSetsTimeoutsAgain) {
  HttpClient client(kHttpUrl);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  ASSERT_TRUE(client.Send(WTEXT("GET")));
  EXPECT_EQ(fake::CountOf(fake::Call::Open), 1u);
  EXPECT_EQ(fake::CountOf(fake::Call::SetTimeouts), 2u);
  EXPECT_EQ(fake::CountOf(fake::Call::OpenRequest), 2u);
}

TEST_F(FakePlatformTest, ClientClosesRequestThenConnectionThenSessionLast) {
  {
    HttpClient client(kHttpUrl);
    ASSERT_TRUE(client.Send(WTEXT("POST")));
    EXPECT_EQ(fake::OpenHandleCount(), 1u) << "only the session outlives Send";
  }
  std::vector<fake::CallRecord> closes = fake::CallsOf(fake::Call::CloseHandle);
  HINTERNET session = fake::CallsOf(fake::Call::Open)[0].opened;
  HINTERNET connection = fake::CallsOf(fake::Call::Connect)[0].opened;
  HINTERNET request = fake::CallsOf(fake::Call::OpenRequest)[0].opened;
  ASSERT_EQ(closes.size(), 3u);
  EXPECT_EQ(closes[0].handle, request);
  EXPECT_EQ(closes[1].handle, connection);
  EXPECT_EQ(closes[2].handle, session);
}

struct FailureCase {
  const char* name;
  fake::Call call;
  DWORD error;
  std::size_t count;          // how many of those calls fail
  std::uint32_t lastError;    // what the client reports
  std::size_t sends;          // WinHttpSendRequest calls made
};

void PrintTo(const FailureCase& c, std::ostream* out) {
  *out << c.name << " (" << fake::CallName(c.call) << " fails " << c.count << "x with " << c.error << ")";
}

class FailedStepTest : public FakePlatformTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailedStepTest, FailsCleanlyWithTheRecordedReason) {
  const FailureCase& failure = GetParam();
  fake::FailCall(failure.call, failure.error, 1, failure.count);
  fake::QueueResponse(fake::HttpReply(200, "reply"));
  {
    HttpClient client(kHttpUrl);
    PrepareForm(client);
    EXPECT_FALSE(client.Send(WTEXT("POST")));
    EXPECT_EQ(client.LastError(), failure.lastError);
    EXPECT_TRUE(client.GetResponseText().empty());
    EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), failure.sends);
  }
  // The fixture checks that every handle was closed.
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FailedStepTest,
    ::testing::Values(FailureCase{"Open", fake::Call::Open, 12001, 1, 12001, 0},
                      FailureCase{"CrackUrl", fake::Call::CrackUrl, 12005, 1, 0, 0},
                      FailureCase{"Connect", fake::Call::Connect, 12007, 1, 0, 0},
                      FailureCase{"OpenRequest", fake::Call::OpenRequest, 12001, 1, 0, 0},
                      FailureCase{"EverySend", fake::Call::SendRequest, kCannotConnect, 99, kCannotConnect, 3},
                      FailureCase{"EveryReceive", fake::Call::ReceiveResponse, 12002, 99, 12002, 3},
                      FailureCase{"EveryHeaderAdd", fake::Call::AddRequestHeaders, 12153, 99, 12153, 0}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FakePlatformTest, UncrackableUrlFailsWithoutConnecting) {
  HttpClient client(WTEXT("ftp://service.test/x"));
  EXPECT_FALSE(client.Send(WTEXT("POST")));
  EXPECT_EQ(fake::CountOf(fake::Call::Connect), 0u);
  EXPECT_TRUE(client.GetResponseText().empty());
}

TEST_F(FakePlatformTest, AnyStatusIsAReplyAndIsRecordedAsText) {
  fake::QueueResponse(fake::HttpReply(500, "server error page"));
  HttpClient client(kHttpUrl);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.StatusCode(), u"500");
  EXPECT_EQ(client.GetResponseText(), u"server error page");
}

// Nothing the first attempt's connection still holds can reach the retry:
// it goes out on a request of its own, which gets the lines once.
TEST_F(FakePlatformTest, RetryAfterLostResponseGoesOutOnAFreshRequest) {
  fake::FailCall(fake::Call::ReceiveResponse, ERROR_WINHTTP_CONNECTION_ERROR, 1, 1);
  fake::QueueResponse(fake::HttpReply(200, "42"));
  HttpClient client(kHttpUrl);
  PrepareForm(client);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  const std::vector<fake::CallRecord> opened = fake::CallsOf(fake::Call::OpenRequest);
  const std::vector<fake::CallRecord> adds = fake::CallsOf(fake::Call::AddRequestHeaders);
  const std::vector<fake::CallRecord> sends = fake::CallsOf(fake::Call::SendRequest);
  ASSERT_EQ(opened.size(), 2u);
  ASSERT_EQ(adds.size(), 2u);
  ASSERT_EQ(sends.size(), 2u);
  for (std::size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(adds[i].handle, opened[i].opened);
    EXPECT_EQ(adds[i].text, kFormHeaders);
    EXPECT_EQ(adds[i].flags, static_cast<DWORD>(WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON));
    EXPECT_EQ(sends[i].handle, opened[i].opened);
    EXPECT_EQ(sends[i].text, kFormHeaders) << "no \"7; 7\" on a retry";
  }
  EXPECT_EQ(fake::WrittenBytes(), "a=1&b=2a=1&b=2");
}

TEST_F(FakePlatformTest, FailedHeaderAddFailsTheAttemptAndIsTriedAgain) {
  fake::FailCall(fake::Call::AddRequestHeaders, ERROR_NOT_ENOUGH_MEMORY, 1, 1);
  HttpClient client(kHttpUrl);
  PrepareForm(client);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(fake::CountOf(fake::Call::AddRequestHeaders), 2u);
  std::vector<fake::CallRecord> sends = fake::CallsOf(fake::Call::SendRequest);
  ASSERT_EQ(sends.size(), 1u) << "no body may go out before its Content-Length line";
  EXPECT_EQ(sends[0].text, kFormHeaders);
  EXPECT_EQ(client.LastError(), static_cast<std::uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
}

TEST_F(FakePlatformTest, OutgoingCookiesGoInOneCookieLineAddedOnce) {
  fake::FailCall(fake::Call::ReceiveResponse, 12002, 1, 1);
  HttpClient client(kHttpUrl);
  PrepareForm(client);
  client.SetOutgoingCookies(WTEXT("a=1; b=2"));
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  std::vector<fake::CallRecord> adds = fake::CallsOf(fake::Call::AddRequestHeaders);
  ASSERT_EQ(adds.size(), 4u) << "each attempt's request gets both lines";
  EXPECT_EQ(adds[1].text, u"Cookie: a=1; b=2");
  EXPECT_EQ(adds[3].text, u"Cookie: a=1; b=2");
  EXPECT_EQ(fake::CallsOf(fake::Call::SendRequest).back().text, kFormHeaders + u"Cookie: a=1; b=2\r\n");
}

TEST_F(FakePlatformTest, FailedUploadIsRecordedAndTheAttemptGoesOn) {
  fake::FailCall(fake::Call::WriteData, 12030, 1, 1);
  fake::QueueResponse(fake::HttpReply(400, "no body"));
  HttpClient client(kHttpUrl);
  PrepareForm(client);
  EXPECT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(client.LastError(), 12030u);
  EXPECT_EQ(client.GetResponseText(), u"no body");
}

struct SecureCase {
  const char16_t* url;
  bool verify;
  DWORD requestFlags;
  bool securityOption;
  DWORD port;
};

void PrintTo(const SecureCase& c, std::ostream* out) {
  *out << transporttest::Readable(c.url) << (c.verify ? " verifying" : " not verifying") << " certificates";
}

class SchemeTest : public FakePlatformTest, public ::testing::WithParamInterface<SecureCase> {};

TEST_P(SchemeTest, CertificateErrorsAreIgnoredOnlyOnHttpsWithoutVerification) {
  HttpClient client(GetParam().url);
  client.SetVerifyCertificates(GetParam().verify);
  ASSERT_TRUE(client.Send(WTEXT("GET")));
  EXPECT_EQ(fake::CallsOf(fake::Call::OpenRequest)[0].flags, GetParam().requestFlags);
  EXPECT_EQ(fake::CallsOf(fake::Call::Connect)[0].value, GetParam().port);
  std::vector<fake::CallRecord> options = OtherOptions();
  ASSERT_EQ(options.size(), GetParam().securityOption ? 1u : 0u);
  if (GetParam().securityOption) {
    EXPECT_EQ(options[0].option, static_cast<DWORD>(WINHTTP_OPTION_SECURITY_FLAGS));
    EXPECT_EQ(options[0].value, 4u);
    DWORD flags = 0;
    std::memcpy(&flags, options[0].bytes.data(), sizeof flags);
    EXPECT_EQ(flags, 0x3100u);
  }
}

INSTANTIATE_TEST_SUITE_P(Schemes, SchemeTest,
                         ::testing::Values(SecureCase{u"https://s.test/x", false, WINHTTP_FLAG_SECURE, true, 443},
                                           SecureCase{u"https://s.test:8443/x", true, WINHTTP_FLAG_SECURE, false, 8443},
                                           SecureCase{u"http://s.test:8080/x", false, 0, false, 8080}));

TEST_F(FakePlatformTest, OwnProxyOfAnyLengthIsSetWholeWithItsCredentials) {
  WideString proxy = WTEXT("proxy.test:3128;") + WideString(400, WTEXT('p'));
  HttpClient client(kHttpUrl);
  client.SetProxy(proxy, WTEXT("user"), WTEXT("secret"));
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  std::vector<fake::CallRecord> options = OtherOptions();
  ASSERT_EQ(options.size(), 3u);
  EXPECT_EQ(options[0].option, static_cast<DWORD>(WINHTTP_OPTION_PROXY));
  EXPECT_EQ(options[0].accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY));
  EXPECT_EQ(options[0].text, proxy);
  EXPECT_FALSE(options[0].hasBypassList);
  EXPECT_EQ(options[1].option, static_cast<DWORD>(WINHTTP_OPTION_PROXY_USERNAME));
  EXPECT_EQ(options[1].text, u"user");
  EXPECT_EQ(options[1].value, 8u);
  EXPECT_EQ(options[2].option, static_cast<DWORD>(WINHTTP_OPTION_PROXY_PASSWORD));
  EXPECT_EQ(options[2].text, u"secret");
  EXPECT_EQ(options[2].value, 12u);
}

TEST_F(FakePlatformTest, ProxyPasswordWithoutUserIsNotSetAndFailuresAreRecorded) {
  fake::FailCall(fake::Call::SetOption, 12009, 2, 1);  // the first is the redirect switch
  HttpClient client(kHttpUrl);
  client.SetProxy(WTEXT("proxy.test:3128"), WideString{}, WTEXT("secret"));
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(OtherOptions().size(), 1u);
  EXPECT_EQ(client.LastError(), 12009u);
}

struct RedirectSwitchCase {
  const char* name;
  const char16_t* url;
  const char16_t* verb;
  bool switchFails;
};

void PrintTo(const RedirectSwitchCase& c, std::ostream* out) { *out << c.name; }

class RedirectSwitchTest : public FakePlatformTest, public ::testing::WithParamInterface<RedirectSwitchCase> {};

// A 3xx is the reply: the request is told not to follow it, and to keep
// no connection, before it goes out; a platform that will not be told
// still gives an answer.
TEST_P(RedirectSwitchTest, RedirectsAndKeepAliveAreSwitchedOffBeforeTheSend) {
  if (GetParam().switchFails) fake::FailCall(fake::Call::SetOption, ERROR_WINHTTP_INVALID_OPTION, 1, 1);
  fake::QueueResponse(fake::HttpReply(302, "moved", "Location: 17\r\n"));
  HttpClient client(GetParam().url);
  ASSERT_TRUE(client.Send(GetParam().verb));
  EXPECT_EQ(client.GetResponseText(), u"moved");
  EXPECT_EQ(client.StatusCode(), u"302");
  EXPECT_EQ(client.LastError(), 0u);
  std::vector<fake::CallRecord> journal = fake::Journal();
  auto isSwitch = [](const fake::CallRecord& call) { return call.call == fake::Call::SetOption && IsRedirectSwitch(call); };
  auto isSend = [](const fake::CallRecord& call) { return call.call == fake::Call::SendRequest; };
  ASSERT_EQ(std::count_if(journal.begin(), journal.end(), isSwitch), 1);
  auto redirectSwitch = std::find_if(journal.begin(), journal.end(), isSwitch);
  EXPECT_LT(redirectSwitch, std::find_if(journal.begin(), journal.end(), isSend));
  EXPECT_EQ(redirectSwitch->handle, fake::CallsOf(fake::Call::OpenRequest)[0].opened);
  DWORD disabled = 0;
  ASSERT_EQ(redirectSwitch->bytes.size(), sizeof disabled);
  std::memcpy(&disabled, redirectSwitch->bytes.data(), sizeof disabled);
  EXPECT_EQ(disabled, static_cast<DWORD>(WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE));
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RedirectSwitchTest,
    ::testing::Values(RedirectSwitchCase{"Post", u"http://s.test/x", u"POST", false},
                      RedirectSwitchCase{"Get", u"http://s.test/x", u"get", false},
                      RedirectSwitchCase{"Https", u"https://s.test/x", u"POST", false},
                      RedirectSwitchCase{"SwitchRefused", u"http://s.test/x", u"POST", true}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FakePlatformTest, UserAgentAndTimeoutSettingsReachThePlatform) {
  HttpClient client(kHttpUrl);
  client.SetUserAgent(WTEXT("Probe/1"));
  client.SetTimeouts(1, 2, 3, 4);
  ASSERT_TRUE(client.Send(WTEXT("POST")));
  EXPECT_EQ(fake::CallsOf(fake::Call::Open)[0].text, u"Probe/1");
  const fake::CallRecord timeouts = fake::CallsOf(fake::Call::SetTimeouts)[0];
  EXPECT_EQ(std::vector<int>(timeouts.timeouts, timeouts.timeouts + 4), (std::vector<int>{1, 2, 3, 4}));
}

}  // namespace
