// One export against a server that accepts and never answers: the call
// must come back after its three attempts of the 30 s receive time-out,
// not later, with the export's failure result.
#include <gtest/gtest.h>

#include <chrono>

#include "export_libraries.h"
#include "loopback_server.h"

namespace {

using testsupport::ScriptedServer;
using testsupport::Step;

constexpr long kReceiveTimeoutMs = 30000;
constexpr int kAttempts = 3;

TEST(TimeBound, CheckLimitsGivesUpAfterThreeSilentAttempts) {
  ScriptedServer server({Step::Hold()}, hardening::SignalServerPort());
  std::int32_t result = 12345;
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t ret = hardening::ExportLibraries::Get().checkLimits("7", "max=1", &result);
  const long elapsedMs = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  EXPECT_EQ(ret, 0);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(server.ConnectionCount(), static_cast<std::size_t>(kAttempts));
  EXPECT_GE(elapsedMs, kAttempts * kReceiveTimeoutMs - 500);
  EXPECT_LE(elapsedMs, kAttempts * kReceiveTimeoutMs + 5000);
  RecordProperty("elapsed_ms", static_cast<int>(elapsedMs));
}

}  // namespace
