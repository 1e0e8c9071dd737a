// One wire case: a call of an export, what must reach the server, the server's scripted answer, and what the caller must
// get back. The table (wire_cases.cpp) is written once and read by every
// backend: the Linux libraries in-process, the DLLs under Wine, and the
// exports over the fake platform.
#pragma once

#include <cstddef>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "loopback_server.h"
#include "tls_front.h"

namespace wire {

enum class Platform { Linux, Wine, Fake };
const char* PlatformName(Platform platform);

enum class Service { Signal, Account };

// A last-error value that only has to be one: any code but 0.
constexpr long long kAnyFailure = -1;

// What the caller sees after the call, as the call line's result reports it.
struct Outcome {
  int ret = 0;
  std::vector<int> results;          // r arguments, in order
  std::vector<std::string> texts;    // w arguments, with their zero
  std::vector<std::string> buffers;  // b arguments, every byte
  long long lastError = 0;           // read right after the call: 0 whenever a reply arrived
  // The call's one debug line: "<Library> <Export>: <lineWhat> <endpoint URL>:
  // <lineDetail>...". An empty lineWhat: the call writes none; an empty
  // lineDetail is not compared.
  std::string lineWhat = {};
  std::string lineDetail = {};
};

// A platform that legitimately gives another outcome, and why.
struct Deviation {
  Platform platform;
  Outcome outcome;
  std::size_t connections;
  std::string reason;
  std::vector<Outcome> laterOutcomes = {};  // of the case's later calls; empty: as the case expects
};

// The call and what it must put on the wire.
struct Call {
  std::string line;            // call_line.h format
  Service service = Service::Signal;
  std::string path;            // empty: nothing may be sent
  std::string body;            // the form, byte for byte
  std::string clientHeaders;   // the lines the client adds, each ending CR LF
};

using Script = std::function<std::vector<testsupport::Step>()>;  // built when run: bodies are large

// A further call of a case, made after the ones before it in the same
// process, against the same server.
struct LaterCall {
  Call call;
  Outcome expected;
};

struct WireCase {
  std::string name;
  Call call;
  Script script;               // null: nothing listens on the service's port
  Outcome expected;
  std::size_t connections = 1; // attempts the server must see (when something listens)
  std::string notOnFake;       // empty: runs over the fake platform too; else why it cannot
  std::vector<Deviation> deviations;
  long maxMs = 0;              // 0: no bound on the call's time
  std::vector<LaterCall> later;  // a sequence: connections counts all its calls' attempts
  // The TLS front's certificate; a case that names one runs over TLS only.
  testsupport::TestCertificate certificate = testsupport::TestCertificate::Localhost;

  const Outcome& ExpectedOn(Platform platform) const;
  const Outcome& LaterExpectedOn(Platform platform, std::size_t index) const;
  std::size_t ConnectionsOn(Platform platform) const;  // 0 when nothing listens
  // How long a backend waits for the call before it gives the call up.
  long PatienceMs() const { return maxMs > 0 ? 5 * maxMs + 10000 : 150000; }
};

void PrintTo(const WireCase& c, std::ostream* out);

const std::vector<WireCase>& Cases();

// The whole head a platform puts on the wire for `call`: request line,
// every header line in order, the blank line. The https builds name
// "localhost" with the same ports.
std::string ExpectedHead(Platform platform, const Call& call, bool overTls = false);

// The fixed loopback port of a service, as the libraries were built.
std::uint16_t PortOf(Service service);

}  // namespace wire
