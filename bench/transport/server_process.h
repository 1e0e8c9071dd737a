// Runs the bench HTTP server in a child process for the length of a bench,
// so its work never counts towards the client's CPU time.
#pragma once

#include <string>
#include <sys/types.h>

namespace bench {

class ServerProcess {
 public:
  ServerProcess() = default;
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;
  ~ServerProcess();

  // Starts the server on 127.0.0.1:`port` (0: any free port); with a
  // capture file, the raw bytes of its first `captureCount` requests are
  // written there. Waits (at most 5 s) until it listens. False, with a
  // message on stderr, if not.
  bool Start(int port, const std::string& captureFile, int captureCount);

  // The port it listens on, once started.
  int Port() const { return port_; }

 private:
  void Stop();

  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace bench
