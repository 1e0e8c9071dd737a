// The bound the public headers promise, against the one the code enforces:
// form posts at the exports' own time-outs, on the fake platform's clock,
// against servers that pace their bytes to hold a call as long as they
// can. A change of a time-out, of the attempts or of the deadline's rule
// moves the measured ends away from the documented figures.
#include <gtest/gtest.h>

#include <cstring>
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

// The platform reads a time-out of 0 as none: no wait may be given one.
void ExpectNoUnboundedWait() {
  for (const fake::CallRecord& call : fake::CallsOf(fake::Call::SetTimeouts)) {
    for (int i = 1; i < 4; ++i) EXPECT_NE(call.timeouts[i], 0) << "time-out " << i;
  }
  for (const fake::CallRecord& call : fake::CallsOf(fake::Call::SetOption)) {
    if (call.option != WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT || call.bytes.size() != sizeof(DWORD)) continue;
    DWORD bound = 0;
    std::memcpy(&bound, call.bytes.data(), sizeof bound);
    EXPECT_NE(bound, 0u) << "head bound";
  }
}

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
  ExpectNoUnboundedWait();

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
                    390 * kSecond},
        // A lookup of 120 s starts while one attempt's time-outs are left,
        // and no second one starts after it.
        PacedServer{"ProxyLookupOf120Seconds", {},
                    {{Call::SendRequest, 100 * kSecond}, {Call::GetProxyForUrl, 120 * kSecond}}, true, false,
                    390 * kSecond},
        // The second attempt's lookup would start with 10 s left: none
        // starts, and the third attempt's send gets those 10 s.
        PacedServer{"NoLookupWithLessThanAnAttemptLeft", {},
                    {{Call::SendRequest, 100 * kSecond}, {Call::GetProxyForUrl, 80 * kSecond}}, true, false,
                    370 * kSecond},
        // Nothing bounds the lookup itself: the call ends as soon as it
        // returns, 90 s of the first send and the lookup later.
        PacedServer{"ProxyLookupThatTakes1000Seconds", {},
                    {{Call::SendRequest, 100 * kSecond}, {Call::GetProxyForUrl, 1000 * kSecond}}, true, false,
                    1090 * kSecond},
        // The deadline passes after the third attempt's check, before its
        // send: the send starts no wait (a time-out of 0 would mean none).
        PacedServer{"DeadlinePassesBetweenTheCheckAndTheSend", {},
                    {{Call::OpenRequest, 70 * kSecond}, {Call::SendRequest, 100 * kSecond}}, false, false,
                    390 * kSecond},
        // The upload is one wait, bounded by the send time-out per packet
        // only: read slowly it outlasts the deadline, and the call then
        // ends without waiting for the head.
        PacedServer{"UploadReadSlowly", {}, {{Call::WriteData, 400 * kSecond}}, false, false, 400 * kSecond}),
    [](const auto& named) { return std::string(named.param.name); });

// A send that starts with less time left than one attempt's time-outs gets
// its waits shortened to what is left: here the third attempt's send, the
// second attempt having started no lookup with 60 s left.
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
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(timeouts[1].handle, requests[2].opened);
  const int expected[4] = {0, 60000, 30000, 30000};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(timeouts[1].timeouts[i], expected[i]) << i;
  EXPECT_EQ(fake::CountOf(Call::GetProxyForUrl), 1u);
  EXPECT_EQ(fake::CountOf(Call::SendRequest), 4u) << "the first attempt's send and re-send, then one send each";
}

}  // namespace
