#include "stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <thread>

namespace bench {

double Percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const double rank = std::ceil(p / 100.0 * static_cast<double>(values.size()));
  const std::size_t index = rank < 1 ? 0 : static_cast<std::size_t>(rank) - 1;
  return values[std::min(index, values.size() - 1)];
}

double PowerLawExponent(const std::vector<double>& x, const std::vector<double>& y) {
  double sumX = 0, sumY = 0, sumXX = 0, sumXY = 0;
  double n = 0;
  for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
    if (x[i] <= 0 || y[i] <= 0) continue;
    const double lx = std::log(x[i]), ly = std::log(y[i]);
    sumX += lx;
    sumY += ly;
    sumXX += lx * lx;
    sumXY += lx * ly;
    n += 1;
  }
  const double denominator = n * sumXX - sumX * sumX;
  return n < 2 || denominator == 0 ? 0 : (n * sumXY - sumX * sumY) / denominator;
}

std::string Ratio(double numerator, double denominator) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f", denominator > 0 ? numerator / denominator : 0.0);
  return text;
}

std::string Verdict(bool met) { return met ? "met" : "MISSED"; }

std::string MachineLine() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line, model = "unknown CPU";
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) {
      model = line.substr(line.find(':') + 2);
      break;
    }
  }
  std::ifstream loadavg("/proc/loadavg");
  std::string one, five, fifteen;
  loadavg >> one >> five >> fifteen;
  return std::to_string(std::thread::hardware_concurrency()) + " cores, " + model + ", load " + one + " " +
         five + " " + fifteen;
}

}  // namespace bench
