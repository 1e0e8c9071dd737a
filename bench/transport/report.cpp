#include "report.h"

#include <cstdio>

#include "stats.h"

namespace bench {

std::string Fixed(double value, int decimals) {
  char text[48];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string PercentileHeader() {
  return "| client | calls | failed | wall p25 | wall p50 | wall p90 | wall p99 | CPU p25 | CPU p50 | CPU p90 | CPU p99 |\n"
         "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
}

std::string PercentileRow(const CaseTimes& times) {
  std::string row = "| " + times.name + " | " + std::to_string(times.wallUs.size()) + " | " +
                    std::to_string(times.failures);
  for (const auto* series : {&times.wallUs, &times.cpuUs})
    for (double p : {25.0, 50.0, 90.0, 99.0}) row += " | " + Fixed(Percentile(*series, p), 1);
  return row + " |\n";
}

}  // namespace bench
