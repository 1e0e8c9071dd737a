// Runs a program to completion with a bounded wait, feeding it stdin and
// capturing its stdout (stderr goes to the test's stderr, where ctest shows it).
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace winetest {

struct ProcessResult {
  int exitCode = -1;       // -1 when it did not exit normally
  bool timedOut = false;   // killed after the time limit
  std::string output;      // everything it wrote to stdout
};

struct ProcessSpec {
  std::vector<std::string> argv;
  std::vector<std::pair<std::string, std::string>> environment;  // set on top of ours
  std::string workingDirectory;                                   // empty: ours
  std::string input;
  std::chrono::milliseconds timeLimit{60000};
};

ProcessResult RunProcess(const ProcessSpec& process);

}  // namespace winetest
