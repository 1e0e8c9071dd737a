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

struct ProcessLaunch {
  std::vector<std::string> argv;
  std::vector<std::pair<std::string, std::string>> environment;  // set on top of ours
  std::string workingDirectory;                                   // empty: ours
  std::string input;
  std::chrono::milliseconds timeLimit{60000};
};

ProcessResult RunProcess(const ProcessLaunch& process);

// A program kept running to answer one line with one line, for as many
// lines as its owner asks. The destructor closes its input and, if it does
// not end by itself within a few seconds, kills it.
class LineProcess {
 public:
  explicit LineProcess(const ProcessLaunch& process);  // input and time limit unused
  ~LineProcess();
  LineProcess(const LineProcess&) = delete;
  LineProcess& operator=(const LineProcess&) = delete;

  int Pid() const { return pid_; }
  // Sends `line` and its newline, then reads one line back (without its
  // newline). False when the program did not answer within `limit`, or
  // ended: it is then stopped for good.
  bool Ask(const std::string& line, std::string& answer, std::chrono::milliseconds limit);

 private:
  void Stop();
  int pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string pending_;  // read past the last answer
};

}  // namespace winetest
