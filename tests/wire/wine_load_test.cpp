// The DLLs under Wine under load, in one Wine process: sixteen threads in
// both DLLs at once, and a soak whose resident memory must stay flat. The
// servers answer each post with its own first field, so a call that got
// another call's answer, or a torn one, shows in its result.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "call_line.h"
#include "echo_server.h"
#include "wine_caller.h"
#include "wire_case.h"

namespace wire {
namespace {

using dllcaller::BufferArg;
using dllcaller::IntArg;
using dllcaller::Line;
using dllcaller::TextArg;
using dllcaller::WritableArg;
using dllcaller::WrittenBuffer;

constexpr unsigned char kFill = 0x5A;

// A call of one of seven exports (`which` % 7) whose answer tells `tag`,
// and the result line it must give (ms=0, as the Threads command reports).
struct TaggedCall {
  std::string line;
  std::string result;
};

TaggedCall Tagged(int which, int tag) {
  const std::string n = std::to_string(tag);
  auto hex = [](const std::string& bytes) { return dllcaller::ToHex(bytes.data(), bytes.size()); };
  auto intCall = [&](const char* name, std::vector<std::string> args) {
    args.insert(args.begin(), TextArg(n));
    args.push_back("r");
    return TaggedCall{Line(name, args), std::string(name) + " ret=1 ms=0 err=0 r=" + n};
  };
  char stamp[20];
  std::snprintf(stamp, sizeof stamp, "T-%017d", tag);
  switch (which % 7) {
    case 0: return intCall("SendSignal", {IntArg(1), IntArg(2), TextArg("EURUSD"), TextArg("1.1"), IntArg(0),
                                          TextArg("0.1"), TextArg("1"), TextArg("1"), TextArg("1"), TextArg("2021"),
                                          IntArg(1)});
    case 1: return intCall("CheckPosition", {IntArg(3), TextArg("EURUSD")});
    case 2: return intCall("UpdateTS", {IntArg(4), TextArg("1.1"), TextArg("1.2")});
    case 3: return intCall("CheckLimits", {TextArg("max=1")});
    case 4:
      return {Line("RecvSignal", {TextArg(n), TextArg("s"), IntArg(15), IntArg(60), WritableArg("2021.04.30"),
                                  BufferArg(64, kFill), "r"}),
              "RecvSignal ret=1 ms=0 err=0 w=" + hex(std::string("2021-04-30", 11)) + " b=" +
                  hex(WrittenBuffer(n + std::string(8 - n.size(), '\0'), 64, kFill)) + " r=1"};
    case 5:
      return {Line("CheckAccount",
                   {TextArg(n), TextArg("pw"), TextArg("501"), "null", IntArg(1), BufferArg(64, kFill)}),
              "CheckAccount ret=1 ms=0 err=0 b=" + hex(WrittenBuffer(n, 64, kFill))};
    default:
      return {Line("GetLastUpdate", {TextArg(stamp), BufferArg(19, kFill)}),
              "GetLastUpdate ret=1 ms=0 err=0 b=" + hex(WrittenBuffer(std::string(stamp, 19), 19, kFill))};
  }
}

// Runs `threads` tagged calls, each `calls` times on its own thread, and
// checks every result.
void RunThreads(winetest::WineCaller& caller, int threads, int calls, int firstTag) {
  std::string command = "Threads " + std::to_string(calls) + " ";
  std::vector<TaggedCall> tagged;
  for (int t = 0; t < threads; ++t) {
    tagged.push_back(Tagged(t, firstTag + t));
    command += (t == 0 ? "" : "|") + tagged.back().line;
  }
  const std::string answer = caller.Ask(command);
  std::vector<std::string> parts;
  for (std::size_t start = 0;;) {
    const std::size_t bar = answer.find(" | ", start);
    parts.push_back(answer.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 3;
  }
  ASSERT_EQ(parts.size(), tagged.size()) << answer.substr(0, 300);
  for (std::size_t t = 0; t < parts.size(); ++t) {
    EXPECT_EQ(parts[t], tagged[t].result + " same=" + std::to_string(calls)) << "thread " << t;
  }
}

class WineLoad : public ::testing::Test {
 protected:
  testsupport::AnsweringServer signal_{hardening::EchoFirstField, PortOf(Service::Signal)};
  testsupport::AnsweringServer account_{hardening::EchoFirstField, PortOf(Service::Account)};
  winetest::WineCaller caller_;
};

TEST_F(WineLoad, SixteenThreadsInBothDllsGetTheirOwnAnswers) {
  constexpr int kThreads = 16;
  constexpr int kCallsPerThread = 10;
  RunThreads(caller_, kThreads, kCallsPerThread, 100);
  const std::size_t accountCalls = 2 * kCallsPerThread;  // threads 5 and 12 call CheckAccount
  EXPECT_TRUE(account_.WaitUntilServed(accountCalls, 5000));
  EXPECT_TRUE(signal_.WaitUntilServed(kThreads * kCallsPerThread - accountCalls, 5000));
}

// Calls in batches of seven exports at once; after two batches to warm up,
// the Wine process's resident memory must not grow by more than a small
// allowance however many calls follow.
TEST_F(WineLoad, SoakKeepsResidentMemoryFlat) {
  constexpr int kBatches = 10;
  constexpr int kCallsPerExport = 30;  // 10 x 7 x 30 = 2,100 calls
  constexpr long kAllowanceKiB = 1024;
  long warmKiB = 0;
  for (int batch = 0; batch < kBatches; ++batch) {
    RunThreads(caller_, 7, kCallsPerExport, 1000 + 10 * batch);
    if (batch == 1) warmKiB = caller_.ResidentKiB();
  }
  const long endKiB = caller_.ResidentKiB();
  std::printf("soak: %d calls, Wine process RSS %ld KiB after warm-up, %ld KiB at the end\n",
              kBatches * 7 * kCallsPerExport, warmKiB, endKiB);
  ASSERT_GT(warmKiB, 0);
  EXPECT_LE(endKiB, warmKiB + kAllowanceKiB);
  EXPECT_TRUE(account_.WaitUntilServed(kBatches * kCallsPerExport, 5000));
  EXPECT_TRUE(signal_.WaitUntilServed(kBatches * 6 * kCallsPerExport, 5000));
}

}  // namespace
}  // namespace wire
