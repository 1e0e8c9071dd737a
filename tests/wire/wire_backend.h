// A way of running the wire table's calls: the Linux libraries in-process,
// the DLLs under Wine, or the exports over the fake platform. Each test
// program links one backend, which defines TheBackend().
#pragma once

#include <string>
#include <vector>

#include "wire_case.h"

namespace wire {

// What a run of one case produced.
struct Observed {
  std::string resultLine;             // the call's result line (call_line.h)
  std::vector<std::string> laterLines;  // those of the case's later calls
  std::vector<std::string> requests;  // per connection, the raw request the server saw
  std::vector<bool> dropped;          // per connection: closed before the request was read
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual Platform Which() const = 0;
  // True for the https builds, run against the TLS front on the ports.
  virtual bool OverTls() const { return false; }
  // Why `c` cannot run here; empty when it can.
  virtual std::string CannotRun(const WireCase& c) const = 0;
  virtual Observed Run(const WireCase& c) = 0;
};

// A backend whose calls reach loopback servers on the services' ports
// (over TLS: the TLS front there, with the servers behind it).
class WireBackend : public Backend {
 public:
  std::string CannotRun(const WireCase& c) const override;
  Observed Run(const WireCase& c) override;

 protected:
  // The result line of one call line, or an error line when the call took
  // longer than `patienceMs`.
  virtual std::string Call(const std::string& line, long patienceMs) = 0;
};

Backend& TheBackend();

}  // namespace wire
