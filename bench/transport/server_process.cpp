#include "server_process.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace bench {
namespace {

// Reads the child's "ready <port>" line within the time limit; 0 if none.
int AwaitReady(int fd) {
  std::string text;
  for (int waited = 0; waited < 50 && text.find('\n') == std::string::npos; ++waited) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, 100) <= 0) continue;
    char buffer[64];
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text.rfind("ready ", 0) == 0 ? std::atoi(text.c_str() + 6) : 0;
}

}  // namespace

ServerProcess::~ServerProcess() { Stop(); }

bool ServerProcess::Start(int port, const std::string& captureFile, int captureCount) {
  std::vector<std::string> args = {KT_BENCH_SERVER_PATH, "--port", std::to_string(port), "--idle-seconds", "60"};
  if (!captureFile.empty()) {
    std::remove(captureFile.c_str());
    args.insert(args.end(), {"--capture", captureFile, "--capture-count", std::to_string(captureCount)});
  }
  return Launch(std::move(args), port);
}

bool ServerProcess::StartTlsFront(int port, int upstreamPort) {
  return Launch({KT_BENCH_TLS_FRONT_PATH, "--port", std::to_string(port), "--upstream", std::to_string(upstreamPort)},
                port);
}

bool ServerProcess::Launch(std::vector<std::string> args, int port) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return false;
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  port_ = pid_ > 0 ? AwaitReady(pipeFds[0]) : 0;
  const bool ready = port_ > 0;
  close(pipeFds[0]);
  if (!ready) {
    std::fprintf(stderr, "bench: %s did not start on 127.0.0.1:%d\n", args[0].c_str(), port);
    Stop();
  }
  return ready;
}

void ServerProcess::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  for (int waited = 0; waited < 100; ++waited) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace bench
