// Calls the nine exports by name, one call line at a time (format in call_line.h). The same dispatcher runs in
// the Windows caller program, where the names resolve with GetProcAddress,
// and in the Linux tests, where they resolve with dlsym or to the exports
// linked in, so every backend reads the same lines and writes the same
// result lines.
#pragma once

#include <functional>
#include <string>

namespace dllcaller {

// The address of the function `name`; null when no loaded library has it.
using Resolver = std::function<void*(const char* name)>;

// Runs one line; every outcome, a malformed line included, is one line
// ("error <reason>" when the call could not be made).
std::string RunLine(const Resolver& resolve, const std::string& line);

// "Threads <calls> <line>|<line>|...": one thread per call line, all at
// once, each making its call <calls> times. One output line: per call line,
// in order, the result of its first call (ms=0) and how many of its calls
// gave exactly that result ("same=<n>"), separated by " | ".
std::string RunThreads(const Resolver& resolve, const std::string& command);

}  // namespace dllcaller
