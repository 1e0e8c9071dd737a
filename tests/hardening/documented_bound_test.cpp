// The bound the public headers promise, against the one the code enforces:
// form posts at the exports' own time-outs, on the fake platform's clock,
// against servers that pace their bytes to hold a call as long as they
// can. A change of a time-out, of the attempts or of the deadline's rule
// moves the measured ends away from the documented figures.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fake_platform.h"
#include "transport/form_post.h"

namespace {

constexpr DWORD kSecond = 1000;

// The comment text of a header as one line: comment stars and line breaks
// become single blanks.
std::string CommentText(const std::string& path) {
  std::ifstream file(path);
  std::stringstream whole;
  whole << file.rdbuf();
  std::string text;
  for (char c : whole.str()) {
    const bool blank = c == ' ' || c == '\n' || c == '*';
    if (!blank) text.push_back(c);
    else if (!text.empty() && text.back() != ' ') text.push_back(' ');
  }
  return text;
}

// The number of seconds in "<lead> N s", or -1.
long SecondsAfter(const std::string& text, const std::string& lead) {
  const std::size_t at = text.find(lead + " ");
  if (at == std::string::npos) return -1;
  return std::stol(text.substr(at + lead.size() + 1));
}

struct Documented {
  long deadlineMs;
  long boundMs;
};

Documented DocumentedIn(const char* header) {
  const std::string text = CommentText(std::string(KT_PUBLIC_HEADERS) + "/" + header);
  return {SecondsAfter(text, "a deadline of") * 1000, SecondsAfter(text, "at the latest") * 1000};
}

fake::Response BodyInPieces(std::size_t bytes) {
  return fake::HttpReply(200, std::string(bytes, '7'), "", 1);
}

struct PacedServer {
  const char* name;
  std::vector<fake::Response> responses;
  std::vector<std::pair<fake::Call, DWORD>> durations;
  bool autoConfigScript;  // the user's proxy settings name a configuration script
  bool answered;
  // Where the call ends between the documented deadline and bound, or
  // (when set) at this moment exactly.
  std::optional<long> endsAtMs;
};
void PrintTo(const PacedServer& server, std::ostream* out) { *out << server.name; }

class DocumentedBound : public ::testing::TestWithParam<PacedServer> {};

TEST_P(DocumentedBound, CallAtTheExportDefaultsEndsWithinTheDocumentedBound) {
  const PacedServer& server = GetParam();
  fake::Reset();
  for (const fake::Response& response : server.responses) fake::QueueResponse(response);
  for (const auto& [call, ms] : server.durations) fake::SetCallDuration(call, ms);
  if (server.autoConfigScript) fake::SetUserProxyConfig({FALSE, u"http://wpad.test/proxy.pac", {}, {}});
  fake::SetResolvedProxy({WINHTTP_ACCESS_TYPE_NAMED_PROXY, u"proxy.test:8080", {}});

  const ULONGLONG start = fake::ClockMs();
  WideString reply;
  const bool sent = transport::FormPost(WTEXT("http://service.test/api/call"), "a=1", reply);
  const long elapsedMs = static_cast<long>(fake::ClockMs() - start);
  EXPECT_EQ(sent, server.answered);
  EXPECT_EQ(fake::OpenHandleCount(), 0u);

  for (const char* header : {"kestrane.h", "falloway.h"}) {
    const Documented documented = DocumentedIn(header);
    ASSERT_GT(documented.deadlineMs, 0) << header << " names no deadline";
    ASSERT_GT(documented.boundMs, documented.deadlineMs) << header << " names no bound";
    if (server.endsAtMs) {
      EXPECT_EQ(elapsedMs, *server.endsAtMs) << header;
    } else {
      EXPECT_GE(elapsedMs, documented.deadlineMs) << header;
      EXPECT_LE(elapsedMs, documented.boundMs) << header;
    }
  }
}

using fake::Call;

INSTANTIATE_TEST_SUITE_P(
    Servers, DocumentedBound,
    ::testing::Values(
        // Each piece of the body comes just inside the receive time-out.
        PacedServer{"BodyByteEvery25Seconds", {BodyInPieces(100)}, {{Call::QueryDataAvailable, 25 * kSecond}}, false,
                    false, {}},
        // The head never completes: each wait for it ends after one
        // receive time-out.
        PacedServer{"HeadThatNeverEnds", {}, {{Call::ReceiveResponse, 100000 * kSecond}}, false, false,
                    3 * 30 * kSecond},
        // The last piece arrives while the deadline passes: the whole reply
        // is kept, and asking for more of it waits no longer.
        PacedServer{"ReplyCompleteAsTheDeadlinePasses", {BodyInPieces(15)}, {{Call::QueryDataAvailable, 24 * kSecond}},
                    false, true, 360 * kSecond},
        // Every send runs into its connect and send time-outs, and so does
        // the fallback's re-send through the configuration script's proxy.
        PacedServer{"SendsAndResendsTimeOut", {}, {{Call::SendRequest, 100 * kSecond}}, true, false,
                    360 * kSecond},
        // The same with a script proxy that takes 30 s to find: the last
        // re-send starts with 30 s left and is given no more than that.
        PacedServer{"SlowProxyDiscoveryAndResends", {},
                    {{Call::SendRequest, 100 * kSecond}, {Call::GetProxyForUrl, 30 * kSecond}}, true, false,
                    390 * kSecond}),
    [](const auto& named) { return std::string(named.param.name); });

// A send that starts with less time left than one attempt's time-outs gets
// its waits shortened to what is left: here the second attempt's re-send.
TEST(LateSend, WaitsAreShortenedToTheTimeLeft) {
  fake::Reset();
  fake::SetCallDuration(Call::SendRequest, 100 * kSecond);
  fake::SetCallDuration(Call::GetProxyForUrl, 30 * kSecond);
  fake::SetUserProxyConfig({FALSE, u"http://wpad.test/proxy.pac", {}, {}});
  fake::SetResolvedProxy({WINHTTP_ACCESS_TYPE_NAMED_PROXY, u"proxy.test:8080", {}});
  WideString reply;
  EXPECT_FALSE(transport::FormPost(WTEXT("http://service.test/api/call"), "a=1", reply));
  const std::vector<fake::CallRecord> timeouts = fake::CallsOf(Call::SetTimeouts);
  const std::vector<fake::CallRecord> requests = fake::CallsOf(Call::OpenRequest);
  ASSERT_EQ(timeouts.size(), 2u);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(timeouts[1].handle, requests[0].opened);
  const int expected[4] = {0, 30000, 30000, 30000};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(timeouts[1].timeouts[i], expected[i]) << i;
  EXPECT_EQ(fake::CountOf(Call::SendRequest), 4u) << "two attempts, each with its re-send; the third is out of time";
}

}  // namespace
