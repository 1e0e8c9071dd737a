// The wire table through Kestrane.dll and Falloway.dll under Wine: one
// caller process, both DLLs loaded, answers every case of the run. Built
// twice: for the plain DLLs and, with KT_WIRE_OVER_TLS, their https copies.
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tls_front.h"
#include "wine_caller.h"
#include "wire_backend.h"

namespace wire {
namespace {

// Wine's WinHTTP trusts the authorities in the prefix's Root store;
// trust_ca.exe puts the test CA there.
bool TrustTestCa() {
#if KT_WIRE_OVER_TLS
  std::ifstream file(testsupport::TestCaFile());
  const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return !pem.empty() && winetest::RunUnderWine({KT_TRUST_CA}, pem).exitCode == 0;
#else
  return true;
#endif
}

class WineBackend : public WireBackend {
 public:
  WineBackend() {
    if (OverTls() && !TrustTestCa()) throw std::runtime_error("the test CA could not be added to the Root store");
  }
  Platform Which() const override { return Platform::Wine; }
  bool OverTls() const override { return KT_WIRE_OVER_TLS; }

 protected:
  std::string Call(const std::string& line, long patienceMs) override {
    return caller_.Ask(line, std::chrono::milliseconds(patienceMs));
  }

 private:
  winetest::WineCaller caller_;
};

}  // namespace

Backend& TheBackend() {
  static WineBackend backend;
  return backend;
}

}  // namespace wire
