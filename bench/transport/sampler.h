// Interleaved timing: every round calls each case once, in an order that
// rotates from round to round, so drift on a shared machine (other builds,
// frequency changes) falls on all cases alike.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Case {
  std::string name;
  std::function<bool()> call;  // one complete exchange; false on failure
};

struct CaseTimes {
  std::string name;
  std::vector<double> wallUs;  // per call, microseconds
  std::vector<double> cpuUs;   // process CPU (user + system, all threads)
  int failures = 0;
};

// `warmupRounds` untimed rounds, then `rounds` timed ones.
std::vector<CaseTimes> RunInterleaved(const std::vector<Case>& cases, int rounds, int warmupRounds);

}  // namespace bench
