// The wire table against libKestrane.so and libFalloway.so, loaded by file
// name into this process, through the same call dispatcher as the Windows
// caller program. Built twice: for the plain libraries and, with
// KT_WIRE_OVER_TLS, for their https copies. Each library keeps its own
// last-error slot and debug channel: both are read through its exports.
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "call_dispatch.h"
#include "debug_lines.h"
#include "loaded_library.h"
#include "tls_front.h"
#include "wire_backend.h"

namespace wire {
namespace {

using LastErrorReader = std::uint32_t (*)();
using DebugHook = void (*)(const char16_t* line);

template <typename Function>
Function Symbol(const exportstest::LoadedLibrary& library, const char* name) {
  void* address = library.Address(name);
  if (address == nullptr) throw std::runtime_error(std::string("no export ") + name);
  Function function;
  std::memcpy(&function, &address, sizeof function);
  return function;
}

void KeepLine(const char16_t* line) { dllcaller::KeepWideDebugLine(line); }

// One library: its exports and where it reports a call's outcome.
struct Library {
  explicit Library(const char* path) : loaded(path), lastError(Symbol<LastErrorReader>(loaded, "GetLastError")) {
    Symbol<void (*)(DebugHook)>(loaded, "SetDebugOutputHook")(KeepLine);
  }
  dllcaller::Entry Find(const char* name) const { return {loaded.Address(name), lastError}; }

  exportstest::LoadedLibrary loaded;
  LastErrorReader lastError;
};

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
        [this](const char* name) {
          const dllcaller::Entry entry = kestrane_.Find(name);
          return entry.address != nullptr ? entry : falloway_.Find(name);
        },
        line);
  }

 private:
  Library kestrane_{KT_KESTRANE_LIBRARY};
  Library falloway_{KT_FALLOWAY_LIBRARY};
};

}  // namespace

Backend& TheBackend() {
  static LinuxBackend backend;
  return backend;
}

}  // namespace wire
