#include "sampler.h"

#include <time.h>

namespace bench {
namespace {

double NowUs(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

}  // namespace

std::vector<CaseTimes> RunInterleaved(const std::vector<Case>& cases, int rounds, int warmupRounds) {
  std::vector<CaseTimes> times(cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    times[i].name = cases[i].name;
    times[i].wallUs.reserve(static_cast<std::size_t>(rounds));
    times[i].cpuUs.reserve(static_cast<std::size_t>(rounds));
  }
  for (int round = -warmupRounds; round < rounds; ++round) {
    for (std::size_t step = 0; step < cases.size(); ++step) {
      const std::size_t index = (static_cast<std::size_t>(round + warmupRounds) + step) % cases.size();
      const double wall0 = NowUs(CLOCK_MONOTONIC);
      const double cpu0 = NowUs(CLOCK_PROCESS_CPUTIME_ID);
      const bool ok = cases[index].call();
      const double cpu1 = NowUs(CLOCK_PROCESS_CPUTIME_ID);
      const double wall1 = NowUs(CLOCK_MONOTONIC);
      if (round < 0) continue;
      if (!ok) ++times[index].failures;
      times[index].wallUs.push_back(wall1 - wall0);
      times[index].cpuUs.push_back(cpu1 - cpu0);
    }
  }
  return times;
}

}  // namespace bench
