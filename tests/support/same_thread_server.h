// A loopback server driven from the caller's own thread, for a client whose
// calls can be interleaved with the server's steps (the response fuzzer):
// no server thread and no hand-over between threads, so an exchange costs
// little more than its system calls.
//
//   SameThreadServer server;
//   ... the client connects and sends its whole request ...
//   server.Answer(bytes);   // accept, read the request, send, end the sending side
//   ... the client reads the answer and closes ...
//   server.Hangup();        // close once the client has
#pragma once

#include <cstdint>
#include <string>

#include "socket_io.h"

namespace testsupport {

class SameThreadServer {
 public:
  // Listens on an ephemeral port of 127.0.0.1; throws when it cannot.
  SameThreadServer();

  std::uint16_t Port() const { return port_; }
  // False when no connection was waiting within a second.
  bool Answer(const std::string& bytes);
  void Hangup();

 private:
  detail::Socket listener_;
  std::uint16_t port_ = 0;
  detail::Socket connection_;
  detail::StopFlag never_{false};
};

}  // namespace testsupport
