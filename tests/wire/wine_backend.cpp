// The wire table through Kestrane.dll and Falloway.dll under Wine: one
// caller process, both DLLs loaded, answers every case of the run.
#include "wine_caller.h"
#include "wire_backend.h"

namespace wire {
namespace {

class WineBackend : public WireBackend {
 public:
  Platform Which() const override { return Platform::Wine; }

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
