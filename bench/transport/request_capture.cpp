#include "request_capture.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

namespace bench {

std::vector<std::string> ReadCaptures(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> requests;
  std::size_t at = 0;
  while (at < all.size()) {
    const std::size_t newline = all.find('\n', at);
    if (newline == std::string::npos) break;
    const std::size_t length = std::strtoull(all.c_str() + at, nullptr, 10);
    if (newline + 1 + length > all.size()) break;
    requests.push_back(all.substr(newline + 1, length));
    at = newline + 1 + length;
  }
  return requests;
}

std::vector<std::string> HeaderLines(const std::string& rawRequest) {
  std::vector<std::string> lines;
  const std::size_t headEnd = rawRequest.find("\r\n\r\n");
  std::size_t at = rawRequest.find("\r\n");
  while (at != std::string::npos && at < headEnd) {
    const std::size_t next = rawRequest.find("\r\n", at + 2);
    lines.push_back(rawRequest.substr(at + 2, next - at - 2));
    at = next;
  }
  return lines;
}

std::string DescribeDifference(const std::string& expected, const std::string& actual) {
  std::size_t at = 0;
  while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) ++at;
  const std::size_t from = at < 40 ? 0 : at - 40;
  return "first difference at byte " + std::to_string(at) + " (sizes " + std::to_string(expected.size()) +
         " and " + std::to_string(actual.size()) + ")\n  expected: ..." + expected.substr(from, 80) +
         "\n  actual:   ..." + actual.substr(from, 80);
}

}  // namespace bench
