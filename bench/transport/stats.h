// Order statistics and the small fits the reports need.
#pragma once

#include <string>
#include <vector>

namespace bench {

// Nearest-rank percentile, `p` in [0, 100]; 0 for no values.
double Percentile(std::vector<double> values, double p);

// Least-squares slope of log(y) over log(x): the exponent k of y ~ x^k.
// Needs at least two points with positive x and y.
double PowerLawExponent(const std::vector<double>& x, const std::vector<double>& y);

// "0.62" style ratio text and a goal verdict.
std::string Ratio(double numerator, double denominator);
std::string Verdict(bool met);

// The machine as the report names it: core count, CPU model, load average.
std::string MachineLine();

}  // namespace bench
