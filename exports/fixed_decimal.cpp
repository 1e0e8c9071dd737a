#include "exports/fixed_decimal.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace exports {

namespace {

// Sign, every integer digit of the largest finite double, the point and six
// decimals: the longest rendering there is.
constexpr int kLongestRendering = 1 + (std::numeric_limits<double>::max_exponent10 + 1) + 1 + 6;

}  // namespace

bool AppendFixedSix(double value, std::string& out) {
  if (!std::isfinite(value)) return false;
  char digits[kLongestRendering + 1];
  const auto rendered = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, 6);
  if (rendered.ec != std::errc()) return false;
  out.append(digits, rendered.ptr);
  return true;
}

}  // namespace exports
