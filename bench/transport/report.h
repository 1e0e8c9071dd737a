// Markdown table rows for the bench reports.
#pragma once

#include <string>

#include "sampler.h"

namespace bench {

// "| case | p25 | median | p90 | p99 |" over wall, then over CPU time, µs.
std::string PercentileHeader();
std::string PercentileRow(const CaseTimes& times);

// A number with a fixed count of decimals.
std::string Fixed(double value, int decimals);

}  // namespace bench
