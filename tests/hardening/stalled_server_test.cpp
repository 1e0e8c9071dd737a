// Servers that go quiet or answer a little at a time, driven through the
// client with short time-outs so that its bounds show within seconds: each
// time-out bounds one wait, and the deadline of three attempts' worth of
// time-outs bounds the whole call, however the server paces its bytes.
// The same table runs in-process over the Linux layer and, built for
// Windows, under Wine.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "accept_loop.h"
#include "post_under_test.h"
#include "loopback_server.h"

namespace hardening {
namespace {

using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

constexpr ClientTimeouts kTimeouts{400, 400, 300};
constexpr long kReceiveMs = kTimeouts.receiveMs;
// Three attempts, each as long as its three time-outs.
constexpr long kDeadlineMs = 3 * (kTimeouts.connectMs + kTimeouts.sendMs + kTimeouts.receiveMs);
// Generous for a loaded 2-core machine, yet short of the deadline, so that
// a silent server's three attempts still show each ended by its time-out.
constexpr long kSlackMs = 2000;
// How much earlier than the server's pace forces a call may seem to end:
// the client's clock ticks in steps of up to 16 ms (on Windows; Wine's is
// coarser still), and the server's pauses between pieces may each wake a
// little early on a loaded machine.
constexpr long kEarlyMs = 250;
constexpr int kTrickleDelayMs = 100;  // well inside the receive time-out
constexpr std::uint32_t kDeadlinePassed = 12002;
constexpr std::uint32_t kCannotConnect = 12029;
// A platform's own time-out on a wait: ERROR_WINHTTP_TIMEOUT in WinHTTP and
// the Linux layer, WSAETIMEDOUT (10060) under Wine.
constexpr std::uint32_t kWaitTimedOut = 0;
// A TLS handshake that ran into its time-out: ERROR_WINHTTP_TIMEOUT in the
// Linux layer, ERROR_WINHTTP_SECURE_CHANNEL_ERROR (12157) under Wine.
constexpr std::uint32_t kHandshakeTimedOut = 1;

// The build's signal server port: this suite's own.
std::uint16_t TestPort() {
  const std::string host = KT_TEST_SIGNAL_SERVER_HOST;
  return static_cast<std::uint16_t>(std::stoi(host.substr(host.rfind(':') + 1)));
}

enum class Target {
  Scripted,  // a ScriptedServer runs the case's script
  Refusing,  // nothing listens: connecting is refused
  Unserved,  // the kernel completes connections that nobody accepts
};

struct StallCase {
  const char* name;
  Target target;
  std::vector<Step> script;
  bool answered;         // a reply arrives in the end
  std::uint32_t error;   // lastError when none does (kWaitTimedOut: the platform's)
  long minimumMs;        // what the server's pace forces at least
  long maximumMs;        // the bound the call must keep
  std::optional<std::size_t> connections;
  // Where the platform bounds each read of the head but not the whole head,
  // the call ends once the slow head is in, after this long, the deadline
  // having passed meanwhile.
  std::optional<long> wholeHeadMs;
  // Where the platform does not read a chunked body's trailer, the call
  // ends once the last chunk is in, without waiting for it.
  bool trailerOnly = false;
  bool secure = false;  // https to the server
};

std::uint32_t ExpectedError(std::uint32_t error) {
  if (error == kWaitTimedOut) return kPlatformWaitTimeoutError;
  return error == kHandshakeTimedOut ? kPlatformHandshakeTimeoutError : error;
}

void PrintTo(const StallCase& c, std::ostream* out) {
  *out << c.name << " (" << (c.answered ? "answered" : "unanswered") << " within " << c.maximumMs << " ms)";
}

const std::string kFine = HttpResponse(200, {}, "42");
const std::string kLongBody = HttpResponse(200, {}, std::string(100, '4'));
// Everything up to ten bytes into the body, then silence.
const std::size_t kHeadAndTenBytes = kLongBody.size() - 90;
// A head that takes longer than the deadline and one receive time-out.
const std::string kSlowHead = HttpResponse(200, {{"X-Pad", std::string(20, 'p')}}, "42");
const long kSlowHeadMs = static_cast<long>(kSlowHead.size() - 3) * kTrickleDelayMs;
// "42" and blanks: ten body bytes, 900 ms at the trickle's pace.
const std::string kPaddedReply = HttpResponse(200, {}, "42        ");
const std::size_t kPaddedReplyHead = kPaddedReply.size() - 10;
const std::string kSlowBody = HttpResponse(200, {}, std::string(60, '4'));
const std::size_t kSlowBodyHead = kSlowBody.size() - 60;
// Stages that one platform call reads, each read inside the receive
// time-out, the whole longer than the deadline: a chunk-size line (its
// extension trickled), a trailer, a TLS handshake record.
const std::string kChunkedHead = HttpResponse(200, {{"Transfer-Encoding", "chunked"}}, "");
const std::string kChunkSizeLine = "2;" + std::string(40, 'x') + "\r\n";
const std::string kSlowChunkLine = kChunkedHead + kChunkSizeLine + "42\r\n0\r\n\r\n";
// Until the first body byte is in.
const long kSlowChunkLineMs = static_cast<long>(kChunkSizeLine.size() + 1) * kTrickleDelayMs;
const std::string kTrailer = "X-Trailer: " + std::string(30, 't') + "\r\n\r\n";
const std::string kSlowTrailer = kChunkedHead + "2\r\n42\r\n0\r\n" + kTrailer;
const long kSlowTrailerMs = static_cast<long>(kTrailer.size()) * kTrickleDelayMs;
// A handshake record header announcing 40 bytes, which never make a valid
// handshake message.
const std::string kSlowHandshake = std::string("\x16\x03\x03\x00\x28", 5) + std::string(40, '\x01');
const long kSlowHandshakeMs = static_cast<long>(kSlowHandshake.size() - 1) * kTrickleDelayMs;

class QuietServer : public ::testing::TestWithParam<StallCase> {};

TEST_P(QuietServer, CallEndsWithinItsBound) {
  const StallCase& c = GetParam();
  std::unique_ptr<ScriptedServer> server;
  testsupport::detail::Socket unserved;
  if (c.target == Target::Scripted) server = std::make_unique<ScriptedServer>(c.script, TestPort());
  if (c.target == Target::Unserved) unserved = testsupport::detail::ListenOnLoopback(TestPort());

  const ClientOutcome outcome = PostUnderTest(TestPort(), kTimeouts, c.secure);
  ASSERT_TRUE(outcome.failure.empty()) << outcome.failure;
  EXPECT_EQ(outcome.sent, c.answered);
  const bool headOnly = c.wholeHeadMs && !kPlatformBoundsWholeHead;
  const bool trailerSkipped = c.trailerOnly && !kPlatformReadsTrailer;
  if (c.answered) {
    EXPECT_EQ(outcome.reply.substr(0, 2), "42");
  } else if (headOnly) {
    EXPECT_EQ(outcome.lastError, kDeadlinePassed);
  } else {
    EXPECT_EQ(outcome.lastError, ExpectedError(c.error));
  }
  // Where nothing forces a wait, no lower bound proves anything.
  const long minimumMs = headOnly ? *c.wholeHeadMs : (trailerSkipped ? 0 : c.minimumMs);
  if (minimumMs > 0) {
    EXPECT_GE(outcome.elapsedMs, minimumMs - kEarlyMs);
  }
  EXPECT_LE(outcome.elapsedMs, headOnly ? *c.wholeHeadMs + kSlackMs : (trailerSkipped ? kSlackMs : c.maximumMs));
  if (server && c.connections) {
    EXPECT_EQ(server->ConnectionCount(), *c.connections);
  }
  RecordProperty("elapsed_ms", static_cast<int>(outcome.elapsedMs));
}

INSTANTIATE_TEST_SUITE_P(
    Servers, QuietServer,
    ::testing::Values(
        StallCase{"AcceptsAndNeverAnswers", Target::Scripted, {Step::Hold()}, false, kWaitTimedOut, 3 * kReceiveMs,
                  3 * kReceiveMs + kSlackMs, 3, {}},
        // Connections are served one at a time: the later two wait unaccepted.
        StallCase{"StallsAfterPartOfTheHead", Target::Scripted, {Step::Trickle(kFine, 10, 5000)}, false, kWaitTimedOut,
                  3 * kReceiveMs, 3 * kReceiveMs + kSlackMs, 1, {}},
        // A body cut short ends the exchange at once: no further attempt.
        StallCase{"StallsMidBody", Target::Scripted, {Step::Trickle(kLongBody, kHeadAndTenBytes, 5000)}, false,
                  kWaitTimedOut, kReceiveMs, kReceiveMs + kSlackMs, 1, {}},
        // Every read of the body short, the whole well inside the deadline.
        StallCase{"TricklesTheBodyFasterThanTheTimeout", Target::Scripted,
                  {Step::Trickle(kPaddedReply, 1, kTrickleDelayMs, kPaddedReplyHead)}, true, 0, 2 * kReceiveMs,
                  kDeadlineMs, 1, {}},
        // Each attempt has a connection of its own: the first one's answer,
        // come after it gave up, is never taken for a later one's. (How many
        // attempts it takes depends on the machine's pace: not counted.)
        StallCase{"AnswersAfterTheAttemptGaveUp", Target::Scripted,
                  {Step::RespondLate(HttpResponse(200, {}, "13"), kReceiveMs * 3 / 2), Step::Respond(kFine)}, true,
                  0, kReceiveMs, 3 * kReceiveMs + kSlackMs, {}, {}},
        StallCase{"TwoSilentAttemptsThenAnswers", Target::Scripted,
                  {Step::Hold(), Step::Hold(), Step::Respond(kFine)}, true, 0, 2 * kReceiveMs,
                  2 * kReceiveMs + kSlackMs, 3, {}},
        // No read waits long, yet the head takes longer than the deadline:
        // each attempt waits one receive time-out for the whole head.
        StallCase{"TricklesTheHead", Target::Scripted, {Step::Trickle(kSlowHead, 1, kTrickleDelayMs)}, false,
                  kWaitTimedOut, 3 * kReceiveMs, 3 * kReceiveMs + kSlackMs, {}, kSlowHeadMs},
        // The read in progress when the deadline passes may take one more
        // receive time-out, no further read starts.
        StallCase{"TricklesTheBodyPastTheDeadline", Target::Scripted,
                  {Step::Trickle(kSlowBody, 1, kTrickleDelayMs, kSlowBodyHead)}, false, kDeadlinePassed, kDeadlineMs,
                  kDeadlineMs + kReceiveMs + kSlackMs, 1, {}},
        StallCase{"RefusesThreeTimes", Target::Refusing, {}, false, kCannotConnect, 0, kSlackMs, {}, {}},
        // The request goes out into the listener's backlog; no answer comes.
        StallCase{"NeverAcceptsTheConnection", Target::Unserved, {}, false, kWaitTimedOut, 3 * kReceiveMs,
                  3 * kReceiveMs + kSlackMs, {}, {}},
        // A chunk-size line is read within one wait for body bytes, each
        // read inside the receive time-out: the call ends once it is in,
        // the deadline having passed meanwhile.
        StallCase{"TricklesAChunkSizeLine", Target::Scripted,
                  {Step::Trickle(kSlowChunkLine, 1, kTrickleDelayMs, kChunkedHead.size())}, false, kDeadlinePassed,
                  kSlowChunkLineMs, kSlowChunkLineMs + kSlackMs, 1, {}},
        // The trailer is read by the wait that finds the end of the body;
        // the reply, whole by then, is kept.
        StallCase{"TricklesTheTrailer", Target::Scripted,
                  {Step::Trickle(kSlowTrailer, 1, kTrickleDelayMs, kSlowTrailer.size() - kTrailer.size())}, true, 0,
                  kSlowTrailerMs, kSlowTrailerMs + kSlackMs, 1, {}, true},
        // The handshake is one send: each read inside the receive time-out,
        // the whole unbounded; the next attempt finds the deadline passed.
        StallCase{"TricklesTheTlsHandshake", Target::Scripted, {Step::TrickleFirst(kSlowHandshake, 1, kTrickleDelayMs)},
                  false, kDeadlinePassed, kSlowHandshakeMs, kSlowHandshakeMs + kSlackMs, 1, {}, false, true},
        // A server that never answers the hello: each attempt's handshake
        // ends after one receive time-out.
        StallCase{"NeverAnswersTheTlsHello", Target::Scripted, {Step::Hold()}, false, kHandshakeTimedOut,
                  3 * kReceiveMs, 3 * kReceiveMs + kSlackMs, {}, {}, false, true}),
    [](const auto& named) { return std::string(named.param.name); });

}  // namespace
}  // namespace hardening
