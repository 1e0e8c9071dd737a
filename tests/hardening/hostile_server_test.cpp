// The real libraries, loaded by file name, against servers that answer
// badly: every bad answer must end in the export's documented result, and
// the host process must keep its descriptors and its heap.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "export_libraries.h"
#include "loopback_server.h"
#include "process_health.h"

namespace {

using hardening::ExportLibraries;
using hardening::HealthSnapshot;
using testsupport::ChunkedBody;
using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

constexpr char kSentinel = '\x5A';
const std::string kReplacement = "\xEF\xBF\xBD";  // U+FFFD in UTF-8
const std::string kOk = "HTTP/1.1 200 OK\r\n";

struct HostileCase {
  const char* name;
  std::vector<Step> script;  // the last step repeats for every retry
  // The reply text that reaches the export, as UTF-8; none when the
  // exchange must fail.
  std::optional<std::string> reply;
  // What CheckLimits stores: the reply read as an integer, or -1.
  std::int32_t intResult;
};

void PrintTo(const HostileCase& c, std::ostream* out) {
  *out << c.name << " (" << c.script.size() << " scripted steps, ";
  if (c.reply) *out << "a reply of " << c.reply->size() << " bytes";
  else *out << "no reply";
  *out << ", result " << c.intResult << ")";
}

std::string Utf8Head(const std::string& body) {
  return HttpResponse(200, {{"Content-Type", "text/plain; charset=utf-8"}}, body);
}

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string out;
  out.reserve(piece.size() * times);
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

std::vector<HostileCase> Cases() {
  const std::string fine = HttpResponse(200, {}, "42");
  const std::string bigHeader(70 * 1024, 'h');
  const std::string nearLimitHeader(60 * 1024, 'h');
  const std::size_t sixteenMiB = 16u << 20;
  return {
      // The status line.
      {"GarbageStatusLine", {Step::Respond("HELLO WORLD\r\nContent-Length: 2\r\n\r\n42")}, std::nullopt, -1},
      {"MissingStatusLine", {Step::Respond("Content-Length: 2\r\n\r\n42")}, std::nullopt, -1},
      {"BodyWithoutAnyHead", {Step::Respond("42")}, std::nullopt, -1},
      {"TwoDigitStatus", {Step::Respond("HTTP/1.1 20 OK\r\nContent-Length: 2\r\n\r\n42")}, std::nullopt, -1},
      {"FourDigitStatus", {Step::Respond("HTTP/1.1 2000 OK\r\nContent-Length: 2\r\n\r\n42")}, std::nullopt, -1},
      {"NothingAnswered", {Step::Respond("")}, std::nullopt, -1},
      {"ClosedWithoutReading", {Step::CloseAtOnce()}, std::nullopt, -1},
      {"HeadNeverEnds", {Step::Respond(kOk + "Content-Length: 2\r\n")}, std::nullopt, -1},
      // The header block.
      {"HeaderOver64KiB", {Step::Respond(kOk + "X-Big: " + bigHeader + "\r\nContent-Length: 2\r\n\r\n42")},
       std::nullopt, -1},
      {"ManyHeadersOver64KiB", {Step::Respond(kOk + Repeat("X-Many: 0123456789abcdef\r\n", 3000) + "\r\n42")},
       std::nullopt, -1},
      {"HeaderJustUnder64KiB",
       {Step::Respond(kOk + "X-Big: " + nearLimitHeader + "\r\nContent-Length: 2\r\n\r\n42")}, "42", 42},
      {"HeaderLineWithoutColon", {Step::Respond(kOk + "NoColonHere\r\nContent-Length: 2\r\n\r\n42")}, std::nullopt,
       -1},
      {"EndlessHeaderLine", {Step::Respond(kOk + "X-Endless: " + std::string(1u << 20, 'e'))}, std::nullopt, -1},
      {"EndlessHeaderLines", {Step::Respond(kOk + Repeat("X: y\r\n", 200000))}, std::nullopt, -1},
      {"BareLineFeeds", {Step::Respond("HTTP/1.1 200 OK\nContent-Length: 2\n\n42")}, "42", 42},
      {"HighBytesInHeaderValue", {Step::Respond(kOk + "X-Odd: \x80\xff\xfe\r\nContent-Length: 2\r\n\r\n42")}, "42",
       42},
      // Content-Length.
      {"ContentLengthLargerThanBody", {Step::Respond(kOk + "Content-Length: 10\r\n\r\n42")}, std::nullopt, -1},
      {"ContentLengthSmallerThanBody", {Step::Respond(kOk + "Content-Length: 2\r\n\r\n4299")}, "42", 42},
      {"NegativeContentLength", {Step::Respond(kOk + "Content-Length: -5\r\n\r\n42")}, std::nullopt, -1},
      {"NonNumericContentLength", {Step::Respond(kOk + "Content-Length: abc\r\n\r\n42")}, std::nullopt, -1},
      {"ContentLengthBeyond64Bits", {Step::Respond(kOk + "Content-Length: 99999999999999999999999\r\n\r\n42")},
       std::nullopt, -1},
      {"ConflictingContentLengths",
       {Step::Respond(kOk + "Content-Length: 2\r\nContent-Length: 3\r\n\r\n42")}, std::nullopt, -1},
      // Chunked bodies.
      {"ChunkedInPieces",
       {Step::Respond(kOk + "Transfer-Encoding: chunked\r\n\r\n" + ChunkedBody({"4", "2"}))}, "42", 42},
      // Under both framings the chunks decide and the Content-Length is ignored.
      {"ChunkedWithContentLength",
       {Step::Respond(kOk + "Content-Length: 9\r\nTransfer-Encoding: chunked\r\n\r\n" + ChunkedBody({"42"}))},
       "42", 42},
      {"BadChunkSize", {Step::Respond(kOk + "Transfer-Encoding: chunked\r\n\r\nzz\r\n42\r\n0\r\n\r\n")},
       std::nullopt, -1},
      {"ChunkSizeBeyond64Bits",
       {Step::Respond(kOk + "Transfer-Encoding: chunked\r\n\r\n1ffffffffffffffff\r\n42\r\n0\r\n\r\n")},
       std::nullopt, -1},
      {"HugeChunkCutShort", {Step::Respond(kOk + "Transfer-Encoding: chunked\r\n\r\nffffffffffffffff\r\n42")},
       std::nullopt, -1},
      {"ChunkWithoutLineEnd", {Step::Respond(kOk + "Transfer-Encoding: chunked\r\n\r\n2\r\n42XX0\r\n\r\n")},
       std::nullopt, -1},
      {"EndlessChunkSizeLine",
       {Step::Respond(kOk + "Transfer-Encoding: chunked\r\n\r\n" + std::string(100000, '0'))}, std::nullopt, -1},
      // Bodies without an end, or of odd sizes.
      {"BodyPastTheCap", {Step::Respond(kOk + "\r\n" + std::string(sixteenMiB + 4096, '7'))}, std::nullopt, -1},
      {"BodyAtTheCap", {Step::Respond(HttpResponse(200, {}, std::string(sixteenMiB, '7')))},
       std::string(sixteenMiB, '7'), 2147483647},
      {"ZeroByteBody", {Step::Respond(HttpResponse(200, {}, ""))}, "", 0},
      {"NoContentStatus", {Step::Respond("HTTP/1.1 204 No Content\r\n\r\n")}, "", 0},
      {"ZeroByteInsideBody", {Step::Respond(HttpResponse(200, {}, std::string("4\0" "2", 3)))}, "4", 4},
      // Broken connections and slow servers.
      {"ResetMidHeaders", {Step::SendThenReset(kOk + "Content-Le")}, std::nullopt, -1},
      {"ResetMidBody", {Step::SendThenReset(kOk + "Content-Length: 100\r\n\r\n0123456789")}, std::nullopt, -1},
      {"TrickleInThrees", {Step::Trickle(fine, 3, 20)}, "42", 42},
      {"TrickleByteByByte", {Step::Trickle(fine, 1, 2)}, "42", 42},
      {"FirstAttemptsFailThenAnswer", {Step::CloseAtOnce(), Step::Respond(""), Step::Respond(fine)}, "42", 42},
      // Character sets.
      {"InvalidUtf8", {Step::Respond(Utf8Head("4\xff\xfe" "2"))}, "4" + kReplacement + kReplacement + "2", 4},
      {"Utf8CutAtTheEnd", {Step::Respond(Utf8Head("42\xe2\x82"))}, "42" + kReplacement, 42},
      {"EncodedSurrogate", {Step::Respond(Utf8Head("\xed\xa0\x80" "1"))}, Repeat(kReplacement, 3) + "1", 0},
      {"CharsetThatOnlyBeginsWithUtf8",
       {Step::Respond(HttpResponse(200, {{"Content-Type", "text/plain; charset=UTF-8xyz"}}, "\xc3\xa9"))},
       "\xc3\xa9", 0},
      {"NoCharsetMeansAnsi", {Step::Respond(HttpResponse(200, {}, "\xc3\xa9"))}, "\xc3\x83\xc2\xa9", 0},
      // Status codes that are not judged.
      {"InterimResponseFirst", {Step::Respond("HTTP/1.1 100 Continue\r\n\r\n" + fine)}, "42", 42},
      {"SeveralInterimResponses", {Step::Respond(Repeat("HTTP/1.1 102 Processing\r\n\r\n", 100) + fine)}, "42", 42},
      {"EndlessInterimResponses", {Step::Respond(Repeat("HTTP/1.1 102 Processing\r\n\r\n", 5000) + fine)},
       std::nullopt, -1},
      {"RedirectIsNotFollowed",
       {Step::Respond(HttpResponse(302, {{"Location", "http://127.0.0.1:9/elsewhere"}}, "9"))}, "9", 9},
      {"ServerError", {Step::Respond(HttpResponse(500, {}, "13"))}, "13", 13},
  };
}

class HostileServer : public ::testing::TestWithParam<HostileCase> {
 protected:
  // Exchanges before any measuring, good and bad, so that what the process
  // sets up once (name service modules, locale data) and the caches of the
  // allocator and of thread start-up have settled (a few dozen rounds).
  // Without a heap figure to compare (under a sanitizer) there is nothing
  // to settle.
  static void SetUpTestSuite() {
    constexpr int kWarmUpRounds = 30;
    if (!hardening::LiveHeapBytes()) return;
    std::vector<char> reply(FALLOWAY_REPLY_BUFFER_BYTES);
    for (int round = 0; round < kWarmUpRounds; ++round) {
      const std::string answer = round % 2 == 0 ? HttpResponse(200, {}, "1") : std::string("garbage");
      ScriptedServer signal({Step::Respond(answer)}, hardening::SignalServerPort());
      ScriptedServer account({Step::Respond(answer)}, hardening::AccountServicePort());
      std::int32_t result = 0;
      ExportLibraries::Get().checkLimits("w", "w", &result);
      ExportLibraries::Get().checkAccount("w", "w", "w", "w", 1, reply.data());
    }
  }
};

void CheckIntExport(const HostileCase& c) {
  std::int32_t result = 12345;
  const std::int32_t ret = ExportLibraries::Get().checkLimits("7", "max=1", &result);
  EXPECT_EQ(ret, c.reply ? 1 : 0);
  EXPECT_EQ(result, c.intResult);
}

void CheckTextExport(const HostileCase& c) {
  std::vector<char> buffer(FALLOWAY_REPLY_BUFFER_BYTES, kSentinel);
  const std::int32_t ret = ExportLibraries::Get().checkAccount("e@x", "pw", "501", "src", 0, buffer.data());
  const bool fits = c.reply && c.reply->size() < FALLOWAY_REPLY_BUFFER_BYTES;
  EXPECT_EQ(ret, fits ? 1 : 0);
  std::vector<char> expected(FALLOWAY_REPLY_BUFFER_BYTES, kSentinel);
  if (fits) std::copy(c.reply->begin(), c.reply->end(), expected.begin());
  EXPECT_TRUE(buffer == expected) << "the reply buffer does not hold what it should";
}

void RunCase(const HostileCase& c) {
  ScriptedServer signal(c.script, hardening::SignalServerPort());
  ScriptedServer account(c.script, hardening::AccountServicePort());
  CheckIntExport(c);
  CheckTextExport(c);
  EXPECT_LE(signal.ConnectionCount(), 3u) << "more attempts than the client makes";
}

TEST_P(HostileServer, EndsInTheDocumentedResultAndLeavesTheProcessWhole) {
  // The first run lets the allocator's and the threads' caches settle;
  // after that, repeating the case must not grow the heap at all (beyond
  // the few bytes a server thread's start and end move about).
  constexpr int kRepeats = 2;
  constexpr std::size_t kThreadNoiseBytes = 64;
  RunCase(GetParam());
  const HealthSnapshot before = HealthSnapshot::Take();
  for (int i = 0; i < kRepeats; ++i) RunCase(GetParam());
  const HealthSnapshot after = HealthSnapshot::Take();
  EXPECT_EQ(after.descriptors, before.descriptors) << "descriptors left open";
  if (before.heapBytes && after.heapBytes) {
    EXPECT_LE(*after.heapBytes, *before.heapBytes + kThreadNoiseBytes) << "the heap grows with every call";
  }
}

INSTANTIATE_TEST_SUITE_P(Replies, HostileServer, ::testing::ValuesIn(Cases()),
                         [](const auto& named) { return std::string(named.param.name); });

}  // namespace
