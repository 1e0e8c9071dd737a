// Runs one form post through the transport client as built for Windows and
// prints how it ended: "sent=<0|1> error=<lastError> ms=<elapsed> reply=<text>".
// Usage: client_caller.exe <port> <connect ms> <send ms> <receive ms>
#include <cstdio>
#include <cstdlib>

#include "client_post.h"

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: client_caller <port> <connect ms> <send ms> <receive ms>\n");
    return 2;
  }
  const auto port = static_cast<std::uint16_t>(std::atoi(argv[1]));
  const hardening::ClientTimeouts timeouts{std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4])};
  const hardening::ClientOutcome outcome = hardening::PostThroughClient(port, timeouts);
  std::printf("sent=%d error=%lu ms=%ld reply=%s\n", outcome.sent ? 1 : 0,
              static_cast<unsigned long>(outcome.lastError), outcome.elapsedMs, outcome.reply.c_str());
  return 0;
}
