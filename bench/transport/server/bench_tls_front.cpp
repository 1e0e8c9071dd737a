// The TLS front of the tests as a process of its own, for the TLS per-call
// bench: terminates TLS with the test certificate for 127.0.0.1 and relays
// to the bench server. Stops on SIGTERM or after --max-seconds.
//
//   bench_tls_front --port N --upstream M [--max-seconds S]
//
// Prints "ready <port>" on stdout once listening.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tls_front.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void OnTerminate(int) { gStop = 1; }

}  // namespace

int main(int argc, char** argv) {
  int port = 0, upstream = 0, maxSeconds = 1800;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--port") == 0) port = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--upstream") == 0) upstream = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--max-seconds") == 0) maxSeconds = std::atoi(argv[i + 1]);
  }
  if (upstream <= 0 || upstream > 65535 || port < 0 || port > 65535) {
    std::fprintf(stderr, "usage: bench_tls_front --port N --upstream M [--max-seconds S]\n");
    return 2;
  }
  std::signal(SIGTERM, OnTerminate);
  testsupport::TlsFront front(testsupport::TestCertificate::LoopbackIp, static_cast<std::uint16_t>(upstream),
                              static_cast<std::uint16_t>(port));
  std::printf("ready %d\n", front.Port());
  std::fflush(stdout);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(maxSeconds);
  while (!gStop && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return 0;
}
