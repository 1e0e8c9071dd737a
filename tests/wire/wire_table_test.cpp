// Every wire case through this program's backend: the caller's outcome,
// byte for byte, and every request the server received, head and body.
#include <gtest/gtest.h>

#include <string>

#include "call_line.h"
#include "wire_backend.h"

namespace wire {
namespace {

// Long byte strings are compared without dumping them: the first
// difference and the sizes say enough.
::testing::AssertionResult SameBytes(const std::string& got, const std::string& want) {
  if (got == want) return ::testing::AssertionSuccess();
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  auto around = [at](const std::string& bytes) {
    const std::size_t from = at < 16 ? 0 : at - 16;
    return ::testing::PrintToString(bytes.substr(from, 48));
  };
  return ::testing::AssertionFailure() << "sizes " << got.size() << " (got) and " << want.size()
                                       << " (want), first difference at byte " << at << ":\n  got  " << around(got)
                                       << "\n  want " << around(want);
}

void ExpectSameList(const std::vector<std::string>& got, const std::vector<std::string>& want, const char* what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(SameBytes(got[i], want[i])) << what << " " << i;
}

std::string Shortened(const std::string& line) { return line.size() <= 300 ? line : line.substr(0, 300) + "..."; }

class WireTable : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireTable, GivesTheSoundResult) {
  const WireCase& c = GetParam();
  Backend& backend = TheBackend();
  const std::string why = backend.CannotRun(c);
  if (!why.empty()) GTEST_SKIP() << PlatformName(backend.Which()) << ": " << why;
  const Observed seen = backend.Run(c);

  dllcaller::CallResult got;
  ASSERT_TRUE(dllcaller::ParseResultLine(seen.resultLine, got)) << Shortened(seen.resultLine);
  const Outcome& want = c.ExpectedOn(backend.Which());
  EXPECT_EQ(got.ret, want.ret);
  EXPECT_EQ(got.results, want.results);
  ExpectSameList(got.texts, want.texts, "text");
  ExpectSameList(got.buffers, want.buffers, "buffer");
  if (c.maxMs > 0) {
    EXPECT_LE(got.ms, c.maxMs);
  }

  ASSERT_EQ(seen.requests.size(), c.ConnectionsOn(backend.Which())) << "connections the server saw";
  const std::string head = ExpectedHead(backend.Which(), c.call, backend.OverTls());
  for (std::size_t i = 0; i < seen.requests.size(); ++i) {
    if (seen.dropped[i]) continue;
    const std::string& raw = seen.requests[i];
    const std::size_t end = raw.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos) << "request " << i << " has no end of head: " << Shortened(raw);
    EXPECT_TRUE(SameBytes(raw.substr(0, end + 4), head)) << "head of request " << i;
    EXPECT_TRUE(SameBytes(raw.substr(end + 4), c.call.body)) << "body of request " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WireTable, ::testing::ValuesIn(Cases()),
                         [](const auto& named) { return named.param.name; });

}  // namespace
}  // namespace wire
