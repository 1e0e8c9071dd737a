// Requests as the bench server received them, and the pieces of one.
#pragma once

#include <string>
#include <vector>

namespace bench {

// The captured requests, in arrival order ("<length>\n<bytes>" records).
std::vector<std::string> ReadCaptures(const std::string& file);

// The header lines of a raw request (without request line, CR LF or the
// blank line), in the order they were sent.
std::vector<std::string> HeaderLines(const std::string& rawRequest);

// A short account of where two requests first differ, for the report.
std::string DescribeDifference(const std::string& expected, const std::string& actual);

}  // namespace bench
