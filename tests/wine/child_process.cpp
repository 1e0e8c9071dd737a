#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace winetest {
namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void ExecChild(const ProcessLaunch& launch, int stdinRead, int stdoutWrite) {
  dup2(stdinRead, STDIN_FILENO);
  dup2(stdoutWrite, STDOUT_FILENO);
  for (const auto& [name, value] : launch.environment) setenv(name.c_str(), value.c_str(), 1);
  if (!launch.workingDirectory.empty() && chdir(launch.workingDirectory.c_str()) != 0) _exit(126);
  std::vector<char*> argv;
  for (const std::string& arg : launch.argv) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  execv(argv[0], argv.data());
  _exit(127);
}

void CloseOnce(int& fd) {
  if (fd >= 0) close(fd);
  fd = -1;
}

// Writes the input and reads the output until the child closes stdout or the
// deadline passes; true when it closed it.
bool Exchange(int stdinWrite, int stdoutRead, const std::string& input, Clock::time_point deadline,
              std::string& output) {
  std::size_t written = 0;
  if (input.empty()) CloseOnce(stdinWrite);
  char chunk[4096];
  bool closed = false;
  while (!closed && Clock::now() < deadline) {
    pollfd fds[2] = {{stdoutRead, POLLIN, 0}, {stdinWrite, POLLOUT, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (poll(fds, stdinWrite >= 0 ? 2 : 1, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR) break;
    if (stdinWrite >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = write(stdinWrite, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n < 0 || written == input.size()) CloseOnce(stdinWrite);
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = read(stdoutRead, chunk, sizeof chunk);
      if (n > 0) output.append(chunk, static_cast<std::size_t>(n));
      closed = n <= 0;
    }
  }
  CloseOnce(stdinWrite);
  return closed;
}

int WaitForExit(pid_t pid, Clock::time_point deadline) {
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    usleep(10000);
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

ProcessResult RunProcess(const ProcessLaunch& launch) {
  ProcessResult result;
  int toChild[2];
  int fromChild[2];
  if (launch.argv.empty() || pipe2(toChild, O_CLOEXEC) != 0) return result;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return result;
  }
  signal(SIGPIPE, SIG_IGN);  // a child that stops reading must not kill the test
  const pid_t pid = fork();
  if (pid == 0) ExecChild(launch, toChild[0], fromChild[1]);
  close(toChild[0]);
  close(fromChild[1]);
  if (pid < 0) {
    close(toChild[1]);
    close(fromChild[0]);
    return result;
  }
  const Clock::time_point deadline = Clock::now() + launch.timeLimit;
  const bool finished = Exchange(toChild[1], fromChild[0], launch.input, deadline, result.output);
  close(fromChild[0]);
  result.exitCode = WaitForExit(pid, finished ? deadline : Clock::now());
  result.timedOut = !finished;
  return result;
}

LineProcess::LineProcess(const ProcessLaunch& process) {
  int toChild[2];
  int fromChild[2];
  if (process.argv.empty() || pipe2(toChild, O_CLOEXEC) != 0) return;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return;
  }
  signal(SIGPIPE, SIG_IGN);
  const pid_t pid = fork();
  if (pid == 0) ExecChild(process, toChild[0], fromChild[1]);
  close(toChild[0]);
  close(fromChild[1]);
  input_ = toChild[1];
  output_ = fromChild[0];
  pid_ = pid;
  if (pid < 0) Stop();
}

LineProcess::~LineProcess() { Stop(); }

void LineProcess::Stop() {
  CloseOnce(input_);
  CloseOnce(output_);
  if (pid_ > 0) WaitForExit(pid_, Clock::now() + std::chrono::seconds(5));
  pid_ = -1;
}

bool LineProcess::Ask(const std::string& line, std::string& answer, std::chrono::milliseconds limit) {
  if (pid_ <= 0) return false;
  const Clock::time_point deadline = Clock::now() + limit;
  const std::string out = line + "\n";
  std::size_t written = 0;
  char chunk[65536];
  std::size_t newline;
  while ((newline = pending_.find('\n')) == std::string::npos && Clock::now() < deadline) {
    pollfd fds[2] = {{output_, POLLIN, 0}, {input_, POLLOUT, 0}};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (poll(fds, written < out.size() ? 2 : 1, static_cast<int>(left.count()) + 1) < 0 && errno != EINTR) break;
    if (written < out.size() && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t n = write(input_, out.data() + written, out.size() - written);
      if (n <= 0) break;
      written += static_cast<std::size_t>(n);
    }
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = read(output_, chunk, sizeof chunk);
      if (n <= 0) break;
      pending_.append(chunk, static_cast<std::size_t>(n));
    }
  }
  if (newline == std::string::npos) {
    Stop();
    return false;
  }
  answer = pending_.substr(0, newline);
  pending_.erase(0, newline + 1);
  return true;
}

}  // namespace winetest
