// Replies at the edge of the caller buffers that carry no size: a reply
// that fits is delivered whole, one byte more is refused whole, and no
// byte past the documented buffer is ever touched.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "export_libraries.h"
#include "loopback_server.h"

namespace {

using hardening::ExportLibraries;
using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

constexpr char kSentinel = '\x5A';
constexpr std::size_t kGuardBytes = 64;

std::string Utf8Reply(const std::string& body) {
  return HttpResponse(200, {{"Content-Type", "text/plain; charset=utf-8"}}, body);
}

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

struct SizeCase {
  const char* name;
  std::string body;  // sent as UTF-8
  bool fits;         // its UTF-8 form leaves room for a terminator in the buffer
};

void PrintTo(const SizeCase& c, std::ostream* out) {
  *out << c.name << " (" << c.body.size() << " bytes, " << (c.fits ? "fits" : "does not fit") << ")";
}

std::vector<SizeCase> SizeCases() {
  const std::size_t room = KESTRANE_REPLY_BUFFER_BYTES - 1;
  static_assert(KESTRANE_REPLY_BUFFER_BYTES == FALLOWAY_REPLY_BUFFER_BYTES, "one table serves both");
  return {
      {"AsciiFillingTheBuffer", std::string(room, 'r'), true},
      {"AsciiOneByteMore", std::string(room + 1, 'r'), false},
      {"TwoByteCharactersFillingTheBuffer", Repeat("\xc3\xa9", room / 2) + "r", true},
      {"TwoByteCharactersOneByteMore", Repeat("\xc3\xa9", (room + 1) / 2), false},
      {"FourByteCharactersJustFitting", Repeat("\xf0\x9f\x98\x80", room / 4) + "rrr", true},
      {"FourByteCharactersOneByteMore", Repeat("\xf0\x9f\x98\x80", room / 4 + 1), false},
  };
}

// The documented buffer and a guard after it, all sentinel bytes.
std::vector<char> GuardedBuffer() { return std::vector<char>(KESTRANE_REPLY_BUFFER_BYTES + kGuardBytes, kSentinel); }

class ReplyAtBufferEdge : public ::testing::TestWithParam<SizeCase> {};

TEST_P(ReplyAtBufferEdge, RecvSignalDeliversWholeOrNothing) {
  const SizeCase& c = GetParam();
  ScriptedServer server({Step::Respond(Utf8Reply(c.body))}, hardening::SignalServerPort());
  std::vector<char> buffer = GuardedBuffer();
  char requestedAt[] = "2021.04.30";
  std::int32_t status = 0;
  const std::int32_t ret = ExportLibraries::Get().recvSignal("u", "s", 1, 2, requestedAt, buffer.data(), &status);
  std::vector<char> expected = GuardedBuffer();
  if (c.fits) std::copy(c.body.begin(), c.body.end(), expected.begin());
  EXPECT_EQ(ret, c.fits ? 1 : 0);
  EXPECT_EQ(status, c.fits ? 1 : -1);
  EXPECT_TRUE(buffer == expected);
}

TEST_P(ReplyAtBufferEdge, CheckAccountDeliversWholeOrNothing) {
  const SizeCase& c = GetParam();
  ScriptedServer server({Step::Respond(Utf8Reply(c.body))}, hardening::AccountServicePort());
  std::vector<char> buffer = GuardedBuffer();
  const std::int32_t ret = ExportLibraries::Get().checkAccount("e", "p", "a", nullptr, 1, buffer.data());
  std::vector<char> expected = GuardedBuffer();
  if (c.fits) std::copy(c.body.begin(), c.body.end(), expected.begin());
  EXPECT_EQ(ret, c.fits ? 1 : 0);
  EXPECT_TRUE(buffer == expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReplyAtBufferEdge, ::testing::ValuesIn(SizeCases()),
                         [](const auto& named) { return std::string(named.param.name); });

struct StampCase {
  const char* name;
  std::string body;
  bool copied;  // else "failed" and its zero
};

void PrintTo(const StampCase& c, std::ostream* out) {
  *out << c.name << " (\"" << c.body << "\", " << (c.copied ? "copied" : "refused") << ")";
}

class StampAtItsLength : public ::testing::TestWithParam<StampCase> {};

TEST_P(StampAtItsLength, GetLastUpdateWritesNoMoreThanNineteenBytes) {
  const StampCase& c = GetParam();
  ScriptedServer server({Step::Respond(Utf8Reply(c.body))}, hardening::SignalServerPort());
  std::vector<char> buffer(19 + kGuardBytes, kSentinel);
  EXPECT_EQ(ExportLibraries::Get().getLastUpdate("501", buffer.data()), 1);
  const std::string written = c.copied ? c.body : std::string("failed\0", 7);
  std::vector<char> expected(buffer.size(), kSentinel);
  std::copy(written.begin(), written.end(), expected.begin());
  EXPECT_TRUE(buffer == expected);
}

INSTANTIATE_TEST_SUITE_P(Stamps, StampAtItsLength,
                         ::testing::Values(StampCase{"NineteenAscii", "2021-04-30 12:00:59", true},
                                           StampCase{"Eighteen", "2021-04-30 12:00:5", false},
                                           StampCase{"Twenty", "2021-04-30 12:00:59Z", false},
                                           StampCase{"NineteenWithOneNonAscii", "2021-04-30 12:00:5\xc3\xa9", false},
                                           StampCase{"NineteenAndALineBreak", "2021-04-30 12:00:59\r\n", false}),
                         [](const auto& named) { return std::string(named.param.name); });

}  // namespace
