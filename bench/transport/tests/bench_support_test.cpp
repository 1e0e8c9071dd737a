// The bench's own instruments: if these are wrong, every figure is.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "raw_client.h"
#include "request_capture.h"
#include "sampler.h"
#include "server/reply_catalog.h"
#include "server_process.h"
#include "stats.h"
#include "utf16_units.h"

namespace {

TEST(Percentile, NearestRankOverUnsortedValues) {
  const std::vector<double> values = {7, 1, 10, 4, 2, 9, 3, 8, 6, 5};
  const struct {
    double p;
    double expected;
  } cases[] = {{0, 1}, {25, 3}, {50, 5}, {90, 9}, {99, 10}, {100, 10}};
  for (const auto& c : cases) EXPECT_EQ(bench::Percentile(values, c.p), c.expected) << "p" << c.p;
  EXPECT_EQ(bench::Percentile({}, 50), 0);
}

TEST(PowerLawExponent, RecoversTheExponentAndSkipsUnusablePoints) {
  EXPECT_NEAR(bench::PowerLawExponent({1, 10, 100}, {3, 30, 300}), 1.0, 1e-9);
  EXPECT_NEAR(bench::PowerLawExponent({2, 4, 8}, {4, 16, 64}), 2.0, 1e-9);
  EXPECT_NEAR(bench::PowerLawExponent({0, 1, 16}, {5, 1, 4}), 0.5, 1e-9);  // x = 0 ignored
  EXPECT_EQ(bench::PowerLawExponent({5}, {5}), 0);
}

TEST(Utf16Units, CountsUnitsOfEachSequenceLength) {
  const struct {
    const char* text;
    std::size_t units;
  } cases[] = {{"", 0}, {"abc", 3}, {"\xC3\xA9", 1}, {"\xE2\x82\xAC", 1}, {"\xF0\x9F\x98\x80", 2},
               {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", 6}};
  for (const auto& c : cases) EXPECT_EQ(bench::Utf16Units(c.text), c.units) << c.text;
}

TEST(ReplyCatalog, BodiesHaveExactSizesAndWholeCharacters) {
  for (const char* kind : {"ascii", "ascii-utf8", "utf8"}) {
    for (std::size_t bytes : {0u, 1u, 57u, 1000u, 65536u}) {
      const std::string body = benchserver::MakeBody(bytes, kind);
      ASSERT_EQ(body.size(), bytes) << kind;
      // A multi-byte sequence cut at the end would decode to a replacement.
      std::size_t at = 0;
      while (at < body.size()) {
        const auto lead = static_cast<unsigned char>(body[at]);
        at += lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      }
      EXPECT_EQ(at, bytes) << kind << " " << bytes;
    }
  }
}

TEST(ReplyCatalog, HeadsHaveExactSizesAndTheAskedLines) {
  for (const char* kind : {"plain", "cookies"}) {
    for (std::size_t bytes : {1024u, 4096u, 16384u, 65024u}) {
      const std::string head = benchserver::MakeHead(bytes, kind, 1);
      EXPECT_EQ(head.size(), bytes) << kind;
      EXPECT_EQ(head.find("\r\n\r\n"), bytes - 4) << kind;
      const bool cookies = head.find("\r\nSet-Cookie: k00000=") != std::string::npos;
      EXPECT_EQ(cookies, std::string(kind) == "cookies");
    }
  }
}

TEST(ReplyCatalog, ChoosesTheReplyByPath) {
  benchserver::ReplyCatalog catalog;
  const struct {
    const char* path;
    const char* contains;
  } cases[] = {{"/admin/public/api/checkLimits", "Content-Length: 1\r\nConnection: close\r\n\r\n1"},
               {"/body/10/utf8", "charset=utf-8\r\nContent-Length: 10\r\n"},
               {"/body/10/ascii", "Content-Type: text/plain\r\nContent-Length: 10\r\n"},
               {"/body/x/ascii", "Content-Length: 1\r\n"},
               {"/headers/300/plain", "X-Filler-00000: "}};
  for (const auto& c : cases)
    EXPECT_NE(catalog.ReplyFor(c.path).find(c.contains), std::string::npos) << c.path;
}

TEST(RequestCapture, SplitsHeaderLinesAndLocatesDifferences) {
  const std::string request = "POST /p HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\na=1";
  EXPECT_EQ(bench::HeaderLines(request), (std::vector<std::string>{"Host: h", "Content-Length: 3"}));
  EXPECT_NE(bench::DescribeDifference("abcd", "abXd").find("byte 2"), std::string::npos);
}

TEST(RunInterleaved, CallsEachCaseOncePerRoundInRotatingOrder) {
  std::string order;
  const std::vector<bench::Case> cases = {
      {"a", [&] { return order += 'a', true; }},
      {"b", [&] { return order += 'b', false; }},
      {"c", [&] { return order += 'c', true; }},
  };
  const auto times = bench::RunInterleaved(cases, 3, 1);
  EXPECT_EQ(order, "abcbcacababc");  // the first round is the untimed warm-up
  ASSERT_EQ(times.size(), 3u);
  for (const auto& caseTimes : times) {
    EXPECT_EQ(caseTimes.wallUs.size(), 3u) << caseTimes.name;
    EXPECT_EQ(caseTimes.cpuUs.size(), 3u) << caseTimes.name;
  }
  EXPECT_EQ(times[0].failures, 0);
  EXPECT_EQ(times[1].failures, 3);
}

TEST(RawExchange, FailsWithoutAListener) {
  int port = 0;
  {
    bench::ServerProcess server;
    ASSERT_TRUE(server.Start(0, "", 0));
    port = server.Port();
  }  // stopped: the port is closed now
  std::string response;
  EXPECT_FALSE(bench::RawExchange(port, "POST / HTTP/1.1\r\n\r\n", response));
}

TEST(BenchServer, AnswersCapturesAndStops) {
  const std::string capture = testing::TempDir() + "bench-server-capture.bin";
  bench::ServerProcess server;
  ASSERT_TRUE(server.Start(0, capture, 1));
  const std::string request = "POST /body/1000/utf8 HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n\r\na=1";
  std::string response;
  ASSERT_TRUE(bench::RawExchange(server.Port(), request, response));
  const std::size_t headEnd = response.find("\r\n\r\n");
  ASSERT_NE(headEnd, std::string::npos);
  EXPECT_EQ(response.size() - headEnd - 4, 1000u);
  ASSERT_TRUE(bench::RawExchange(server.Port(), "POST /headers/2048/cookies HTTP/1.1\r\n\r\n", response));
  EXPECT_EQ(response.find("\r\n\r\n"), 2044u);
  EXPECT_EQ(bench::ReadCaptures(capture), std::vector<std::string>{request});  // only the first
  std::remove(capture.c_str());
}

}  // namespace
