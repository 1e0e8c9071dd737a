// Response header blocks of chosen shapes for the benchmarks.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

// A typical response header block of about 600 bytes with two Set-Cookie lines.
std::string TypicalHeaders();
// At least `bytes` bytes: the typical block padded with filler header lines.
std::string HeadersOfSize(std::size_t bytes);
// The typical block with `cookies` distinct Set-Cookie lines.
std::string HeadersWithCookies(std::size_t cookies);

}  // namespace bench
