// Every wire case through this program's backend: the caller's outcome,
// byte for byte, and every request the server received, head and body.
#include <gtest/gtest.h>

#include <cstdlib>
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

const char* LibraryOf(const std::string& exportName) {
  for (const char* name : {"SendSignal", "RecvSignal", "CheckPosition", "UpdateTS", "CheckLimits"}) {
    if (exportName == name) return "Kestrane";
  }
  return "Falloway";
}

// The URL the library posts to (a row that sends nothing names no path).
std::string EndpointUrl(const Call& call, bool overTls) {
  const bool toSignal = call.service == Service::Signal;
  const std::string host = overTls    ? "localhost:" + std::to_string(PortOf(call.service))
                           : toSignal ? KT_TEST_SIGNAL_SERVER_HOST
                                      : KT_TEST_ACCOUNT_SERVICE_HOST;
  return (overTls ? "https://" : "http://") + host + call.path;
}

void ExpectLastError(long long got, long long want) {
  if (want == kAnyFailure) {
    EXPECT_GT(got, 0) << "a call without a reply must say why";
  } else {
    EXPECT_EQ(got, want) << "last-error value";
  }
}

// "<Library> <Export>: <what> <url>: <detail>..., <seconds> s"; the time
// the line states cannot exceed what the caller measured (plus a clock step).
void ExpectDebugLine(const dllcaller::CallResult& got, const Outcome& want, const Call& call, bool overTls) {
  if (want.lineWhat.empty()) {
    EXPECT_TRUE(got.debugLines.empty()) << "unexpected debug line: " << got.debugLines.front();
    return;
  }
  ASSERT_EQ(got.debugLines.size(), 1u) << "debug lines";
  const std::string& line = got.debugLines.front();
  std::string head = std::string(LibraryOf(got.exportName)) + " " + got.exportName + ": " + want.lineWhat + " ";
  if (!call.path.empty()) head += EndpointUrl(call, overTls) + ": ";
  ASSERT_EQ(line.compare(0, head.size(), head), 0) << line << "\n  should start with " << head;
  // Where the row names no path the URL is skipped.
  const std::size_t detail = call.path.empty() ? line.find(": ", head.size()) + 2 : head.size();
  if (!want.lineDetail.empty()) {
    EXPECT_EQ(line.compare(detail, want.lineDetail.size(), want.lineDetail), 0)
        << line << "\n  should go on with " << want.lineDetail;
  }
  const std::size_t seconds = line.rfind(", ");
  if (line.find(" attempt") == std::string::npos || seconds == std::string::npos) return;
  ASSERT_EQ(line.substr(line.size() - 2), " s") << line;
  EXPECT_LE(std::atof(line.c_str() + seconds + 2) * 1000.0, static_cast<double>(got.ms) + 1000.0) << line;
}

void ExpectOutcome(const std::string& resultLine, const Outcome& want, const Call& call, bool overTls, long maxMs,
                   const std::string& which) {
  SCOPED_TRACE(which);
  dllcaller::CallResult got;
  ASSERT_TRUE(dllcaller::ParseResultLine(resultLine, got)) << Shortened(resultLine);
  EXPECT_EQ(got.ret, want.ret);
  EXPECT_EQ(got.results, want.results);
  ExpectSameList(got.texts, want.texts, "text");
  ExpectSameList(got.buffers, want.buffers, "buffer");
  ExpectLastError(got.lastError, want.lastError);
  ExpectDebugLine(got, want, call, overTls);
  if (maxMs > 0) {
    EXPECT_LE(got.ms, maxMs);
  }
}

// The call of a case whose form a request carries: in a sequence every
// call posts a form of its own.
const Call* SenderOf(const WireCase& c, const std::string& body) {
  if (body == c.call.body) return &c.call;
  for (const LaterCall& later : c.later)
    if (body == later.call.body) return &later.call;
  return nullptr;
}

class WireTable : public ::testing::TestWithParam<WireCase> {};

TEST_P(WireTable, GivesTheSoundResult) {
  const WireCase& c = GetParam();
  Backend& backend = TheBackend();
  const std::string why = backend.CannotRun(c);
  if (!why.empty()) GTEST_SKIP() << PlatformName(backend.Which()) << ": " << why;
  const Observed seen = backend.Run(c);

  ExpectOutcome(seen.resultLine, c.ExpectedOn(backend.Which()), c.call, backend.OverTls(), c.maxMs, "the first call");
  ASSERT_EQ(seen.laterLines.size(), c.later.size());
  for (std::size_t k = 0; k < c.later.size(); ++k) {
    ExpectOutcome(seen.laterLines[k], c.LaterExpectedOn(backend.Which(), k), c.later[k].call, backend.OverTls(),
                  c.maxMs, "later call " + std::to_string(k));
  }

  ASSERT_EQ(seen.requests.size(), c.ConnectionsOn(backend.Which())) << "connections the server saw";
  for (std::size_t i = 0; i < seen.requests.size(); ++i) {
    if (seen.dropped[i]) continue;
    const std::string& raw = seen.requests[i];
    const std::size_t end = raw.find("\r\n\r\n");
    ASSERT_NE(end, std::string::npos) << "request " << i << " has no end of head: " << Shortened(raw);
    const Call* sender = SenderOf(c, raw.substr(end + 4));
    EXPECT_TRUE(SameBytes(raw.substr(end + 4), sender ? sender->body : c.call.body)) << "body of request " << i;
    if (sender == nullptr) continue;
    const std::string head = ExpectedHead(backend.Which(), *sender, backend.OverTls());
    EXPECT_TRUE(SameBytes(raw.substr(0, end + 4), head)) << "head of request " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, WireTable, ::testing::ValuesIn(Cases()),
                         [](const auto& named) { return named.param.name; });

}  // namespace
}  // namespace wire
