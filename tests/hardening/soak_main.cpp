// Many export calls in one process against echoing loopback servers, with
// every result checked; memory must stay flat: resident memory within the
// allowance, and no live heap growth over the second half of the run.
// Usage: hardening_soak <calls> [allowed RSS growth in KiB, default 2048]
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "echo_server.h"
#include "export_libraries.h"
#include "export_round.h"
#include "process_health.h"

namespace {

// Servers answer on threads of this process: their side of the last
// connections must be closed before descriptors are counted.
void Settle(const testsupport::AnsweringServer& signal, const testsupport::AnsweringServer& account,
            long rounds) {
  const auto done = static_cast<std::size_t>(rounds);
  signal.WaitUntilServed(done * (hardening::kCallsPerRound - 1), 2000);
  account.WaitUntilServed(done, 2000);
}

void PrintSnapshot(const char* when, long calls) {
  const auto heap = hardening::LiveHeapBytes();
  std::printf("%s: %ld calls, RSS %zu KiB, live heap %s bytes, %zu descriptors\n", when, calls,
              hardening::ResidentKiB(), heap ? std::to_string(*heap).c_str() : "n/a",
              hardening::OpenDescriptorCount());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <calls> [allowed RSS growth in KiB]\n", argv[0]);
    return 2;
  }
  const long calls = std::strtol(argv[1], nullptr, 10);
  const long allowedGrowthKiB = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 2048;
  const long rounds = (calls + hardening::kCallsPerRound - 1) / hardening::kCallsPerRound;

  const hardening::ExportLibraries& libraries = hardening::ExportLibraries::Get();
  testsupport::AnsweringServer signal(hardening::EchoFirstField, hardening::SignalServerPort());
  testsupport::AnsweringServer account(hardening::EchoFirstField, hardening::AccountServicePort());
  std::vector<char> reply(KESTRANE_REPLY_BUFFER_BYTES);

  // Warm-up: what is set up once per process (name service, locale) and
  // the allocator's own pools settle before the first measure.
  long wrong = 0;
  const long warmup = rounds / 10 + 1;
  for (long round = 0; round < warmup; ++round) wrong += hardening::RunRound(libraries, static_cast<int>(round), reply);
  Settle(signal, account, warmup);
  const std::size_t startKiB = hardening::ResidentKiB();
  const std::size_t startDescriptors = hardening::OpenDescriptorCount();
  PrintSnapshot("start", warmup * hardening::kCallsPerRound);

  // A leak of even one byte a call shows as growth over the second half;
  // what settles once (a longer number, a larger block) shows in the first.
  std::optional<std::size_t> midHeap;
  for (long round = 0; round < rounds; ++round) {
    wrong += hardening::RunRound(libraries, static_cast<int>(round % 1000000), reply);
    if (round + 1 == rounds / 2) {
      Settle(signal, account, warmup + round + 1);
      midHeap = hardening::LiveHeapBytes();
      PrintSnapshot("middle", (warmup + round + 1) * hardening::kCallsPerRound);
    }
  }
  Settle(signal, account, warmup + rounds);
  PrintSnapshot("end", (warmup + rounds) * hardening::kCallsPerRound);

  const long growthKiB = static_cast<long>(hardening::ResidentKiB()) - static_cast<long>(startKiB);
  const auto endHeap = hardening::LiveHeapBytes();
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's quarantine holds freed blocks back: resident memory
  // says nothing there, and its leak check stands in for it.
  const bool rssJudged = false;
#else
  const bool rssJudged = true;
#endif
  bool ok = wrong == 0 && (!rssJudged || growthKiB <= allowedGrowthKiB) &&
            hardening::OpenDescriptorCount() == startDescriptors;
  if (midHeap && endHeap) ok = ok && *endHeap <= *midHeap;
  std::printf("%s: %ld calls measured, %ld wrong results, RSS growth %ld KiB (allowed %ld%s)\n", ok ? "PASS" : "FAIL",
              rounds * hardening::kCallsPerRound, wrong, growthKiB, allowedGrowthKiB,
              rssJudged ? "" : ", not judged under the address sanitizer");
  return ok ? 0 : 1;
}
