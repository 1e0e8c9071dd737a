// One export at its real time-outs against servers that hold it as long as
// they can: one that never answers, and one that sends its reply body a
// byte every 25 s, each byte inside the receive time-out. The call must
// come back with the export's failure result, not later than the documented
// bound and not much earlier than the server forces. Minutes long: label
// `long`, outside the default test run.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>
#include <string>

#include "export_libraries.h"
#include "loopback_server.h"

namespace {

using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

constexpr long kSecondMs = 1000;
const std::string kSlowBody = HttpResponse(200, {}, std::string(100, '7'));

struct HoldingServer {
  const char* name;
  Step step;
  long minimumMs;
  long maximumMs;
};

class TimeBound : public ::testing::TestWithParam<HoldingServer> {};

TEST_P(TimeBound, CheckLimitsEndsWithinItsBound) {
  ScriptedServer server({GetParam().step}, hardening::SignalServerPort());
  std::int32_t result = 12345;
  const auto start = std::chrono::steady_clock::now();
  const std::int32_t ret = hardening::ExportLibraries::Get().checkLimits("7", "max=1", &result);
  const long elapsedMs = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  EXPECT_EQ(ret, 0);
  EXPECT_EQ(result, -1);
  EXPECT_GE(elapsedMs, GetParam().minimumMs);
  EXPECT_LE(elapsedMs, GetParam().maximumMs);
  RecordProperty("elapsed_ms", static_cast<int>(elapsedMs));
  std::cout << GetParam().name << ": " << elapsedMs << " ms\n";
}

INSTANTIATE_TEST_SUITE_P(
    Servers, TimeBound,
    ::testing::Values(
        // Three attempts, each given up after the 30 s receive time-out.
        HoldingServer{"NeverAnswers", Step::Hold(), 90 * kSecondMs - 500, 100 * kSecondMs},
        // The deadline of 360 s passes during a read; that read ends with
        // the next byte, 25 s at most: never beyond 390 s.
        HoldingServer{"BodyByteEvery25Seconds", Step::Trickle(kSlowBody, 1, 25 * kSecondMs, kSlowBody.size() - 100),
                      360 * kSecondMs - 250, 390 * kSecondMs + 5000}),
    [](const auto& named) { return std::string(named.param.name); });

}  // namespace
