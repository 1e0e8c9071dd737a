// The wire table against libKestrane.so and libFalloway.so, loaded by file
// name into this process, through the same call dispatcher as the Windows
// caller program. Built twice: for the plain libraries and, with
// KT_WIRE_OVER_TLS, for their https copies.
#include <cstdlib>

#include "call_dispatch.h"
#include "loaded_library.h"
#include "tls_front.h"
#include "wire_backend.h"

namespace wire {
namespace {

class LinuxBackend : public WireBackend {
 public:
  LinuxBackend() {
    // The https build trusts the test CA through OpenSSL's default paths.
    if (OverTls()) setenv("SSL_CERT_FILE", testsupport::TestCaFile().c_str(), 1);
  }
  Platform Which() const override { return Platform::Linux; }
  bool OverTls() const override { return KT_WIRE_OVER_TLS; }

 protected:
  std::string Call(const std::string& line, long) override {
    return dllcaller::RunLine(
        [this](const char* name) -> void* {
          if (void* address = kestrane_.Address(name)) return address;
          return falloway_.Address(name);
        },
        line);
  }

 private:
  exportstest::LoadedLibrary kestrane_{KT_KESTRANE_LIBRARY};
  exportstest::LoadedLibrary falloway_{KT_FALLOWAY_LIBRARY};
};

}  // namespace

Backend& TheBackend() {
  static LinuxBackend backend;
  return backend;
}

}  // namespace wire
