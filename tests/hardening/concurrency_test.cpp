// Sixteen threads calling the exports of both libraries at once, each with
// values of its own, against a server that echoes the first form field: a
// call that got someone else's answer, or a torn one, shows at once.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "echo_server.h"
#include "export_libraries.h"
#include "export_round.h"

namespace {

using hardening::ExportLibraries;
using hardening::RunRound;

constexpr int kThreads = 16;
constexpr int kRoundsPerThread = 12;

TEST(Concurrency, SixteenThreadsInBothLibrariesGetTheirOwnAnswers) {
  const ExportLibraries& libraries = ExportLibraries::Get();
  testsupport::AnsweringServer signal(hardening::EchoFirstField, hardening::SignalServerPort());
  testsupport::AnsweringServer account(hardening::EchoFirstField, hardening::AccountServicePort());
  std::atomic<int> wrong{0};
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::vector<char> reply(KESTRANE_REPLY_BUFFER_BYTES);
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();  // all start together
      for (int round = 0; round < kRoundsPerThread; ++round)
        wrong.fetch_add(RunRound(libraries, (t + 1) * 100000 + round, reply));
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  const auto signalCalls = static_cast<std::size_t>(kThreads * kRoundsPerThread * 8);
  const auto accountCalls = static_cast<std::size_t>(kThreads * kRoundsPerThread);
  // The server counts a connection once it has closed it, just after the caller returned.
  signal.WaitUntilServed(signalCalls, 2000);
  account.WaitUntilServed(accountCalls, 2000);
  EXPECT_EQ(signal.Served(), signalCalls) << "one request per call, no retries";
  EXPECT_EQ(account.Served(), accountCalls);
}

}  // namespace
