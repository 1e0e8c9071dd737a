// What every transport bench shares: the server's port (the one the
// Kestrane build was configured with) and the form that is posted.
#pragma once

#include <string>

namespace bench {

constexpr int kPort = KT_BENCH_PORT;
constexpr const char* kSource = "EURUSD-bench";
constexpr const char* kLimits = "max_lots=5&max_trades=20";

// The body CheckLimits builds from kSource and kLimits.
inline std::string FormBody() { return std::string("source=") + kSource + "&limits=" + kLimits; }

// http://127.0.0.1:<port><path>
inline std::string ServerUrl(const std::string& path) {
  return "http://127.0.0.1:" + std::to_string(kPort) + path;
}

// Where the server writes the requests it captured.
inline std::string CaptureFile() { return "/tmp/kt-bench-capture-" + std::to_string(kPort) + ".bin"; }

}  // namespace bench
