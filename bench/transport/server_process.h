// Runs the bench HTTP server in a child process for the length of a bench,
// so its work never counts towards the client's CPU time.
#pragma once

#include <string>
#include <vector>
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

  // Starts the TLS front (certificate for 127.0.0.1, from the test CA) on
  // 127.0.0.1:`port`, relaying to the bench server on `upstreamPort`.
  bool StartTlsFront(int port, int upstreamPort);

  // The port it listens on, once started.
  int Port() const { return port_; }

 private:
  // Runs args[0] with its arguments; it must print "ready <port>".
  bool Launch(std::vector<std::string> args, int port);
  void Stop();

  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace bench
