// Servers that go quiet, driven through the client with short time-outs so
// that the bound of three attempts can be seen in a fraction of a second:
// the call must come back within it, with a time-out as its reason.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "accept_loop.h"
#include "loopback_server.h"
#include "transport/http_client.h"

namespace {

using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

constexpr int kConnectMs = 500;
constexpr int kSendMs = 500;
constexpr int kReceiveMs = 300;
constexpr int kSlackMs = 1500;

struct ClientOutcome {
  bool sent = false;
  std::uint32_t lastError = 0;
  WideString reply;
  long elapsedMs = 0;
};

ClientOutcome PostTo(std::uint16_t port) {
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/stall";
  transport::HttpClient client(WideString(url.begin(), url.end()));
  const std::string body = "a=1";
  client.SetPostData(body.data(), static_cast<std::uint32_t>(body.size()));
  client.SetExtraHeaders(WTEXT("Content-Length: 3\r\n"));
  client.SetTimeouts(0, kConnectMs, kSendMs, kReceiveMs);
  const auto start = std::chrono::steady_clock::now();
  ClientOutcome outcome;
  outcome.sent = client.Send(WTEXT("POST"));
  outcome.elapsedMs = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                            std::chrono::steady_clock::now() - start)
                                            .count());
  outcome.lastError = client.LastError();
  outcome.reply = client.GetResponseText();
  return outcome;
}

struct StallCase {
  const char* name;
  std::vector<Step> script;
  bool answered;  // a reply arrives in the end
  int minimumMs;  // what the silent attempts must have waited at least
  // Connections the server accepts, where it serves them at once.
  std::optional<std::size_t> connections;
};

class QuietServer : public ::testing::TestWithParam<StallCase> {};

TEST_P(QuietServer, CallReturnsWithinThreeReceiveTimeouts) {
  const StallCase& c = GetParam();
  ScriptedServer server(c.script);
  const ClientOutcome outcome = PostTo(server.Port());
  EXPECT_EQ(outcome.sent, c.answered);
  if (c.answered) {
    EXPECT_EQ(outcome.reply, WTEXT("42"));
  } else {
    EXPECT_EQ(outcome.lastError, static_cast<std::uint32_t>(ERROR_WINHTTP_TIMEOUT));
  }
  EXPECT_LE(outcome.elapsedMs, 3 * kReceiveMs + kSlackMs);
  EXPECT_GE(outcome.elapsedMs, c.minimumMs);
  if (c.connections) {
    EXPECT_EQ(server.ConnectionCount(), *c.connections);
  }
}

const std::string kFine = HttpResponse(200, {}, "42");
const std::string kLongBody = HttpResponse(200, {}, std::string(100, '4'));
// Everything up to ten bytes into the body, then silence.
const std::size_t kHeadAndTenBytes = kLongBody.size() - 90;

INSTANTIATE_TEST_SUITE_P(
    Servers, QuietServer,
    ::testing::Values(
        StallCase{"AcceptsAndNeverAnswers", {Step::Hold()}, false, 3 * kReceiveMs, 3},
        StallCase{"StallsAfterPartOfTheHead", {Step::Trickle(kFine, 10, 5000)}, false, 3 * kReceiveMs, {}},
        // A body cut short ends the exchange at once: no further attempt.
        StallCase{"StallsMidBody", {Step::Trickle(kLongBody, kHeadAndTenBytes, 5000)}, false, kReceiveMs, {}},
        // The time-outs bound each wait, not the exchange: a server that
        // keeps sending a little at a time holds the call past them.
        StallCase{"TricklesFasterThanTheTimeout", {Step::Trickle(kFine, 4, kReceiveMs / 4)}, true, 2 * kReceiveMs, 1},
        StallCase{"TwoSilentAttemptsThenAnswers", {Step::Hold(), Step::Hold(), Step::Respond(kFine)}, true,
                  2 * kReceiveMs, 3}),
    [](const auto& named) { return std::string(named.param.name); });

// A listener that the kernel completes connections for but nobody serves:
// the request goes out, no answer ever comes.
TEST(BlackholedServer, CallReturnsWithinThreeReceiveTimeouts) {
  testsupport::detail::StopFlag never{false};
  testsupport::detail::Socket listener = testsupport::detail::ListenOnLoopback(0);
  const ClientOutcome outcome = PostTo(testsupport::detail::LocalPort(listener.Fd()));
  EXPECT_FALSE(outcome.sent);
  EXPECT_EQ(outcome.lastError, static_cast<std::uint32_t>(ERROR_WINHTTP_TIMEOUT));
  EXPECT_LE(outcome.elapsedMs, 3 * kReceiveMs + kSlackMs);
  EXPECT_GE(outcome.elapsedMs, 3 * kReceiveMs - 50);
}

}  // namespace
