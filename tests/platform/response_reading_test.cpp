// Responses as a hostile or broken server may send them, read through the
// layer from a loopback server.
#include <gtest/gtest.h>

#include <chrono>

#include "loopback_server.h"
#include "winhttp_fixture.h"

namespace {

using namespace testsupport;
using namespace platformtest;

struct Outcome {
  DWORD exchangeError = ERROR_SUCCESS;
  DWORD bodyError = ERROR_SUCCESS;
  std::string body;
};

Outcome RunAgainst(const Step& step, int receiveMs = 2000, const std::u16string& verb = u"POST",
                   DWORD receiveResponseMs = 0) {
  ScriptedServer server({step});
  RequestOptions options;
  options.port = server.Port();
  options.receiveMs = receiveMs;
  options.verb = verb;
  options.receiveResponseMs = receiveResponseMs;
  OpenedRequest request(options);
  // As the client does: a 3xx must come back as the answer.
  DWORD redirectsOff = WINHTTP_DISABLE_REDIRECTS;
  EXPECT_TRUE(WinHttpSetOption(request.Handle(), WINHTTP_OPTION_DISABLE_FEATURE, &redirectsOff, sizeof redirectsOff));
  Outcome outcome;
  outcome.exchangeError = request.Exchange(u"Content-Length: 1\r\n", "x");
  if (outcome.exchangeError == ERROR_SUCCESS) outcome.body = ReadWholeBody(request.Handle(), outcome.bodyError);
  return outcome;
}

std::string Head(const std::string& fields) { return "HTTP/1.1 200 OK\r\n" + fields + "\r\n"; }

TEST(ResponseBody, IsDelimitedAsTheHeadSays) {
  struct Case {
    const char* name;
    std::string response;
    std::string body;
  } cases[] = {
      {"content length", Head("Content-Length: 5\r\n") + "hello", "hello"},
      {"content length stops early", Head("Content-Length: 2\r\n") + "okEXTRA", "ok"},
      {"repeated equal lengths", Head("Content-Length: 2, 2\r\n") + "ok", "ok"},
      {"chunked", Head("Transfer-Encoding: chunked\r\n") + ChunkedBody({"hello", " world"}), "hello world"},
      {"chunked over length", Head("Content-Length: 1\r\nTransfer-Encoding: chunked\r\n") + ChunkedBody({"abc"}), "abc"},
      {"chunked under length", Head("Transfer-Encoding: chunked\r\nContent-Length: 99\r\n") + ChunkedBody({"abc"}), "abc"},
      {"chunk extension and trailer", Head("Transfer-Encoding: Chunked\r\n") + "5 ;x=y\r\nhello\r\n0\r\nX-T: 1\r\n\r\n", "hello"},
      {"upper-case hex", Head("Transfer-Encoding: chunked\r\n") + "A\r\n0123456789\r\n0\r\n\r\n", "0123456789"},
      {"until close", Head("") + "until the end", "until the end"},
      {"interim responses skipped",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\nX: 1\r\n\r\n" + Head("Content-Length: 2\r\n") + "ok", "ok"},
      {"no content has no body", "HTTP/1.1 204 No Content\r\n\r\njunk", ""},
      {"no content announcing a length", "HTTP/1.1 204 No Content\r\nContent-Length: 4\r\n\r\njunk", ""},
      {"redirect is the answer", HttpResponse(302, {{"Location", "http://127.0.0.1:9/next"}}, "moved"), "moved"},
      {"permanent redirect is the answer", HttpResponse(308, {{"Location", "/next"}}, "moved"), "moved"},
      {"not modified has no body", "HTTP/1.1 304 Not Modified\r\nContent-Length: 4\r\n\r\njunk", ""},
      {"bare line feeds", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", "ok"},
      {"zero bytes inside", Head("Content-Length: 3\r\n") + std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunAgainst(Step::Respond(c.response));
    EXPECT_EQ(outcome.exchangeError, 0u) << c.name;
    EXPECT_EQ(outcome.bodyError, 0u) << c.name;
    EXPECT_EQ(outcome.body, c.body) << c.name;
  }
}

TEST(ResponseBody, LargeBodiesArriveWholeInBoundedPieces) {
  std::string big(300000, 'b');
  for (std::size_t i = 0; i < big.size(); i += 997) big[i] = static_cast<char>('a' + i % 26);
  for (const std::string& response :
       {HttpResponse(200, {}, big), Head("Transfer-Encoding: chunked\r\n") + ChunkedBody({big.substr(0, 100000), big.substr(100000)})}) {
    ScriptedServer server({Step::Respond(response)});
    RequestOptions options;
    options.port = server.Port();
    OpenedRequest request(options);
    ASSERT_EQ(request.Exchange(u"", ""), 0u);
    DWORD available = 0;
    ASSERT_TRUE(WinHttpQueryDataAvailable(request.Handle(), &available));
    EXPECT_GT(available, 0u);
    EXPECT_LE(available, 64u * 1024u);
    DWORD error = 0;
    EXPECT_EQ(ReadWholeBody(request.Handle(), error), big);
    EXPECT_EQ(error, 0u);
  }
}

TEST(ResponseBody, BrokenFramingFailsTheRead) {
  struct Case {
    const char* name;
    std::string response;
    DWORD error;
  } cases[] = {
      {"chunk size not hex", Head("Transfer-Encoding: chunked\r\n") + "zz\r\nhello\r\n0\r\n\r\n", ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"chunk size empty", Head("Transfer-Encoding: chunked\r\n") + "\r\nhello\r\n0\r\n\r\n", ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"chunk size negative", Head("Transfer-Encoding: chunked\r\n") + "-5\r\nhello\r\n0\r\n\r\n", ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"chunk size beyond 64 bits", Head("Transfer-Encoding: chunked\r\n") + "10000000000000000\r\nx\r\n", ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"chunk size line endless", Head("Transfer-Encoding: chunked\r\n") + std::string(8000, '0'), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"chunk data overruns", Head("Transfer-Encoding: chunked\r\n") + "2\r\nokX\r\n0\r\n\r\n", ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"chunk cut short", Head("Transfer-Encoding: chunked\r\n") + "5\r\nab", ERROR_WINHTTP_CONNECTION_ERROR},
      {"no last chunk", Head("Transfer-Encoding: chunked\r\n") + "2\r\nab\r\n", ERROR_WINHTTP_CONNECTION_ERROR},
      {"body cut short", Head("Content-Length: 10\r\n") + "abc", ERROR_WINHTTP_CONNECTION_ERROR},
  };
  for (const Case& c : cases) {
    Outcome outcome = RunAgainst(Step::Respond(c.response));
    EXPECT_EQ(outcome.exchangeError, 0u) << c.name;
    EXPECT_EQ(outcome.bodyError, c.error) << c.name;
  }
}

TEST(ResponseHead, MalformedHeadsFailTheReceive) {
  struct Case {
    const char* name;
    Step step;
    DWORD error;
  } cases[] = {
      {"not http", Step::Respond("HTP/1.1 200 OK\r\n\r\n"), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"two-digit status", Step::Respond("HTTP/1.1 20 OK\r\n\r\n"), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"status glued to reason", Step::Respond("HTTP/1.1 200OK\r\n\r\n"), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"negative length", Step::Respond(Head("Content-Length: -1\r\n")), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"non-numeric length", Step::Respond(Head("Content-Length: 12abc\r\n")), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"length beyond 64 bits", Step::Respond(Head("Content-Length: 99999999999999999999\r\n")), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"conflicting lengths", Step::Respond(Head("Content-Length: 3\r\nContent-Length: 4\r\n") + "abcd"), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"line without colon", Step::Respond(Head("Broken line\r\n")), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"head cut short", Step::Respond("HTTP/1.1 200 OK\r\nX: y"), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"closed without a reply", Step::Respond(""), ERROR_WINHTTP_CONNECTION_ERROR},
      {"reset after part of the head", Step::SendThenReset("HTTP/1.1 200 OK\r\n"), ERROR_WINHTTP_CONNECTION_ERROR},
      {"head over 64 KiB", Step::Respond(Head("X-Big: " + std::string(70000, 'a') + "\r\n")), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
      {"endless interim responses", Step::Respond([] {
         std::string many;
         for (int i = 0; i < 4000; ++i) many += "HTTP/1.1 100 Continue\r\n\r\n";
         return many + Head("Content-Length: 0\r\n");
       }()), ERROR_WINHTTP_INVALID_SERVER_RESPONSE},
  };
  for (const Case& c : cases) EXPECT_EQ(RunAgainst(c.step).exchangeError, c.error) << c.name;
}

TEST(ResponseHead, HeadJustUnderTheLimitIsAccepted) {
  Outcome outcome = RunAgainst(Step::Respond(Head("X-Big: " + std::string(60000, 'a') + "\r\nContent-Length: 2\r\n") + "ok"));
  EXPECT_EQ(outcome.exchangeError, 0u);
  EXPECT_EQ(outcome.body, "ok");
}

TEST(ResponseHead, ReplyToHeadHasNoBody) {
  Outcome outcome = RunAgainst(Step::Respond(Head("Content-Length: 5\r\n")), 2000, u"HEAD");
  EXPECT_EQ(outcome.exchangeError, 0u);
  EXPECT_EQ(outcome.body, "");
}

using Clock = std::chrono::steady_clock;
// How much earlier than its time-out a wait may seem to end: the clock's
// step and the server's pauses waking a little early.
constexpr long long kEarlyMs = 250;

long long ElapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

TEST(TimeOuts, SilentServerTimesOutWithinTheReceiveTimeOut) {
  auto started = Clock::now();
  Outcome outcome = RunAgainst(Step::Hold(), 300);
  long long elapsed = ElapsedMs(started);
  EXPECT_EQ(outcome.exchangeError, static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT));
  // Not much before the time-out (the clock's step and scheduling aside),
  // and generously after it on a loaded machine.
  EXPECT_GE(elapsed, 300 - kEarlyMs);
  EXPECT_LT(elapsed, 3000);
}

TEST(TimeOuts, StallInsideTheBodyTimesOutTheRead) {
  std::string head = Head("Content-Length: 4\r\n");
  auto started = Clock::now();
  Outcome outcome = RunAgainst(Step::Trickle(head + "ab" + "cd", head.size() + 2, 1500), 300);
  EXPECT_EQ(outcome.exchangeError, 0u);
  EXPECT_EQ(outcome.body, "ab");
  EXPECT_EQ(outcome.bodyError, static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT));
  // The body without "cd" shows the read ended before the pause did.
  EXPECT_LT(ElapsedMs(started), 3000);
}

TEST(TimeOuts, TrickleKeepsEachReadWithinTheTimeOut) {
  // 30 pieces 40 ms apart take longer than the time-out in total, but no
  // single wait does: the time-out applies per read.
  std::string response = HttpResponse(200, {}, std::string(20, 'z'));
  Outcome outcome = RunAgainst(Step::Trickle(response, response.size() / 30 + 1, 40), 300);
  EXPECT_EQ(outcome.exchangeError, 0u);
  EXPECT_EQ(outcome.bodyError, 0u);
  EXPECT_EQ(outcome.body, std::string(20, 'z'));
}

TEST(TimeOuts, ResponseTimeOutBoundsTheWholeHead) {
  // The receive-response time-out bounds the whole head, however many
  // reads it takes, and is checked as data comes in: a wait in progress
  // when it passes ends with the next data (or its own time-out), not
  // earlier. The body's reads keep their own.
  const std::string head = Head("Content-Length: 2\r\nX-Pad: " + std::string(100, 'p') + "\r\n");
  struct Case {
    const char* name;
    Step step;
    DWORD headMs;  // 0: not set
    bool answered;
    long long minimumMs;  // what the server's pace forces at least
    long long maximumMs;
  } cases[] = {
      // Steps of 10 ms: no read waits long, the whole takes ~1.5 s.
      // The head's bound, not a read's (300 ms), and well before the whole
      // head would be in.
      {"trickled head", Step::Trickle(head + "ok", 1, 10), 500, false, 500 - kEarlyMs / 2, 1400},
      {"trickled head, bound not set", Step::Trickle(head + "ok", 1, 10), 0, true, 0, 5000},
      // Half the head, then 800 ms of silence: the bound passes during a
      // wait, which goes on until the rest arrives.
      {"head stalls past the bound", Step::Trickle(head + "ok", head.size() / 2, 800), 300, false, 800 - kEarlyMs,
       3000},
  };
  for (const Case& c : cases) {
    const auto started = Clock::now();
    const Outcome outcome = RunAgainst(c.step, 2000, u"POST", c.headMs);
    const long long elapsed = ElapsedMs(started);
    if (c.answered) {
      EXPECT_EQ(outcome.exchangeError, 0u) << c.name;
      EXPECT_EQ(outcome.body, "ok") << c.name;
    } else {
      EXPECT_EQ(outcome.exchangeError, static_cast<DWORD>(ERROR_WINHTTP_TIMEOUT)) << c.name;
    }
    EXPECT_GE(elapsed, c.minimumMs) << c.name;
    EXPECT_LT(elapsed, c.maximumMs) << c.name;
  }
}

}  // namespace
