// What a failed send falls back to, branch by branch. The fixture checks
// that every string the platform handed out was released exactly once.
#include <string>
#include <vector>

#include "fake_fixture.h"
#include "transport/http_client.h"

namespace {

using transport::HttpClient;
using transporttest::FakePlatformTest;
using transporttest::kHttpUrl;

constexpr DWORD kSendError = ERROR_WINHTTP_CANNOT_CONNECT;
const std::u16string kScriptUrl = u"http://wpad.test/proxy.pac";

std::vector<fake::CallRecord> ProxyOptions() {
  std::vector<fake::CallRecord> proxies;
  for (fake::CallRecord& option : fake::CallsOf(fake::Call::SetOption)) {
    if (option.option == WINHTTP_OPTION_PROXY) proxies.push_back(std::move(option));
  }
  return proxies;
}

bool RunPost() {
  HttpClient client(kHttpUrl);
  client.SetPostData("a=1", 3);
  return client.Send(WTEXT("POST"));
}

struct FallbackCase {
  const char* name;
  std::size_t failedSends;  // leading sends that fail
  fake::UserProxyConfig config;
  fake::Call failing;       // one more call that fails (Call::Open: none)
  DWORD failingError;
  bool sent;
  std::uint32_t lastError;
  std::size_t sends;
  std::size_t proxyOptions;      // WINHTTP_OPTION_PROXY calls
  std::size_t handedOut;         // strings the platform handed out
};

void PrintTo(const FallbackCase& c, std::ostream* out) {
  *out << c.name << " (" << c.failedSends << " failed sends, " << (c.sent ? "sent" : "not sent") << ")";
}

fake::UserProxyConfig ScriptConfig() {
  fake::UserProxyConfig config;
  config.autoDetect = TRUE;
  config.autoConfigUrl = kScriptUrl;
  return config;
}

fake::UserProxyConfig FixedConfig(bool withBypass) {
  fake::UserProxyConfig config;
  config.proxy = u"proxy.test:3128";
  if (withBypass) config.bypass = u"<local>;*.test";
  return config;
}

fake::UserProxyConfig AutoDetectOnly() {
  fake::UserProxyConfig config;
  config.autoDetect = TRUE;
  return config;
}

class FallbackTest : public FakePlatformTest, public ::testing::WithParamInterface<FallbackCase> {};

TEST_P(FallbackTest, BranchLeavesItsResult) {
  const FallbackCase& branch = GetParam();
  fake::FailCall(fake::Call::SendRequest, kSendError, 1, branch.failedSends);
  if (branch.failing != fake::Call::Open) fake::FailCall(branch.failing, branch.failingError);
  fake::SetUserProxyConfig(branch.config);
  fake::SetResolvedProxy({WINHTTP_ACCESS_TYPE_NAMED_PROXY, u"resolved.test:8080", u"*.local"});
  fake::QueueResponse(fake::HttpReply(200, "through"));
  HttpClient client(kHttpUrl);
  client.SetPostData("a=1", 3);
  EXPECT_EQ(client.Send(WTEXT("POST")), branch.sent);
  EXPECT_EQ(client.LastError(), branch.lastError);
  EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), branch.sends);
  EXPECT_EQ(ProxyOptions().size(), branch.proxyOptions);
  EXPECT_EQ(fake::HandedOutStrings().size(), branch.handedOut);
  if (branch.sent) {
    EXPECT_EQ(client.GetResponseText(), u"through");
  }
}

const std::size_t kAlways = 99;

INSTANTIATE_TEST_SUITE_P(
    Branches, FallbackTest,
    ::testing::Values(
        FallbackCase{"ConfigurationUnreadable", kAlways, {}, fake::Call::GetIEProxyConfig, 1168, false, 1168, 3, 0, 0},
        FallbackCase{"NothingConfigured", kAlways, {}, fake::Call::Open, 0, false, kSendError, 3, 0, 0},
        FallbackCase{"AutoDetectFlagAlone", kAlways, AutoDetectOnly(), fake::Call::Open, 0, false, kSendError, 3, 0, 0},
        FallbackCase{"ScriptResolutionFails", kAlways, ScriptConfig(), fake::Call::GetProxyForUrl,
                     ERROR_WINHTTP_AUTODETECTION_FAILED, false, ERROR_WINHTTP_AUTODETECTION_FAILED, 3, 0, 3},
        FallbackCase{"ScriptProxyCannotBeSet", kAlways, ScriptConfig(), fake::Call::SetOption, 12009, false,
                     kSendError, 3, 3, 9},
        FallbackCase{"ScriptResendFailsThenNextAttemptSends", 2, ScriptConfig(), fake::Call::Open, 0, true, kSendError,
                     3, 1, 3},
        FallbackCase{"ScriptResendSucceeds", 1, ScriptConfig(), fake::Call::Open, 0, true, kSendError, 2, 1, 3},
        FallbackCase{"FixedProxyUsedByNextAttempt", 1, FixedConfig(true), fake::Call::Open, 0, true, kSendError, 2, 1,
                     2},
        FallbackCase{"FixedProxyWithoutBypass", 1, FixedConfig(false), fake::Call::Open, 0, true, kSendError, 2, 1, 1},
        // Kept for the next attempt's request: the third attempt's is never used.
        FallbackCase{"FixedProxyCannotBeSet", kAlways, FixedConfig(true), fake::Call::SetOption, 12009, false,
                     kSendError, 3, 2, 6},
        FallbackCase{"FixedProxyOnTheThirdAttemptHasNoAttemptLeft", 3, FixedConfig(true), fake::Call::Open, 0, false,
                     kSendError, 3, 2, 6}),
    [](const auto& testCase) { return std::string(testCase.param.name); });

TEST_F(FakePlatformTest, ScriptIsResolvedWithTheFixedOptionsAndUsedAtOnce) {
  fake::FailCall(fake::Call::SendRequest, kSendError, 1, 1);
  fake::SetUserProxyConfig(ScriptConfig());
  fake::SetResolvedProxy({WINHTTP_ACCESS_TYPE_NAMED_PROXY, u"resolved.test:8080", std::nullopt});
  ASSERT_TRUE(RunPost());
  std::vector<fake::CallRecord> resolutions = fake::CallsOf(fake::Call::GetProxyForUrl);
  ASSERT_EQ(resolutions.size(), 1u);
  const fake::CallRecord& resolution = resolutions[0];
  EXPECT_EQ(resolution.text, kHttpUrl);
  EXPECT_EQ(resolution.autoProxyFlags, 3u);
  EXPECT_EQ(resolution.autoDetectFlags, 1u);
  EXPECT_EQ(resolution.autoConfigUrl, kScriptUrl);
  EXPECT_TRUE(resolution.reservedPointerNull);
  EXPECT_EQ(resolution.reservedNumber, 0u);
  EXPECT_EQ(resolution.autoLogonIfChallenged, TRUE);
  std::vector<fake::CallRecord> proxies = ProxyOptions();
  ASSERT_EQ(proxies.size(), 1u);
  EXPECT_EQ(proxies[0].text, u"resolved.test:8080");
  EXPECT_FALSE(proxies[0].hasBypassList);
  std::vector<fake::CallRecord> sends = fake::CallsOf(fake::Call::SendRequest);
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_FALSE(sends[1].nonDefaultArguments) << "the re-send repeats the first send's arguments";
  EXPECT_EQ(fake::WrittenBytes(), "a=1") << "the same attempt goes on with the upload";
}

TEST_F(FakePlatformTest, FixedProxyAndBypassAreSetOnTheRequest) {
  fake::FailCall(fake::Call::SendRequest, kSendError, 1, 1);
  fake::SetUserProxyConfig(FixedConfig(true));
  ASSERT_TRUE(RunPost());
  std::vector<fake::CallRecord> proxies = ProxyOptions();
  ASSERT_EQ(proxies.size(), 1u);
  EXPECT_EQ(proxies[0].accessType, static_cast<DWORD>(WINHTTP_ACCESS_TYPE_NAMED_PROXY));
  EXPECT_EQ(proxies[0].text, u"proxy.test:3128");
  EXPECT_EQ(proxies[0].bypass, u"<local>;*.test");
  EXPECT_EQ(proxies[0].handle, fake::CallsOf(fake::Call::SendRequest)[1].handle);
  EXPECT_EQ(fake::CountOf(fake::Call::GetProxyForUrl), 0u);
}

TEST_F(FakePlatformTest, ListsLongerThanTheOldBuffersArePassedWhole) {
  fake::FailCall(fake::Call::SendRequest, kSendError, 1, 1);
  fake::UserProxyConfig config;
  config.proxy = u"proxy.test:3128;" + std::u16string(700, u'p');
  config.bypass = u"<local>;" + std::u16string(1200, u'b');
  fake::SetUserProxyConfig(config);
  ASSERT_TRUE(RunPost());
  std::vector<fake::CallRecord> proxies = ProxyOptions();
  ASSERT_EQ(proxies.size(), 1u);
  EXPECT_EQ(proxies[0].text, *config.proxy);
  EXPECT_EQ(proxies[0].bypass, *config.bypass);
}

TEST_F(FakePlatformTest, LongResolvedProxyIsPassedWhole) {
  fake::FailCall(fake::Call::SendRequest, kSendError, 1, 1);
  fake::SetUserProxyConfig(ScriptConfig());
  std::u16string longProxy = u"resolved.test:8080;" + std::u16string(900, u'r');
  fake::SetResolvedProxy({WINHTTP_ACCESS_TYPE_NAMED_PROXY, longProxy, std::u16string(400, u'x')});
  ASSERT_TRUE(RunPost());
  std::vector<fake::CallRecord> proxies = ProxyOptions();
  ASSERT_EQ(proxies.size(), 1u);
  EXPECT_EQ(proxies[0].text, longProxy);
  EXPECT_EQ(proxies[0].bypass, std::u16string(400, u'x'));
}

}  // namespace
