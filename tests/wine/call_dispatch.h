// Calls the nine exports (and the client-level post below) by name, one
// call line at a time (format in call_line.h). The same dispatcher runs in
// the Windows caller program, where the names resolve with GetProcAddress,
// and in the Linux tests, where they resolve with dlsym or to the exports
// linked in, so every backend reads the same lines and writes the same
// result lines.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace dllcaller {

// A function found by name, and the reader of the thread's last-error value
// its library reports into (kernel32's on Windows; on Linux each library
// keeps its own).
struct Entry {
  void* address = nullptr;  // null when no loaded library has it
  std::uint32_t (*lastError)() = nullptr;
};
using Resolver = std::function<Entry(const char* name)>;

// Runs one line; every outcome, a malformed line included, is one line
// ("error <reason>" when the call could not be made). The last-error value
// is read right after the call, and the debug lines it wrote are taken from
// debug_lines.h.
std::string RunLine(const Resolver& resolve, const std::string& line);

// "Threads <calls> <line>|<line>|...": one thread per call line, all at
// once, each making its call <calls> times. One output line: per call line,
// in order, the result of its first call (ms=0) and how many of its calls
// gave exactly that result ("same=<n>"), separated by " | ".
std::string RunThreads(const Resolver& resolve, const std::string& command);

// The client itself, with the given time-outs, posting `body` to `url`:
// returns 1 when a reply arrived, else 0; *lastError = the client's last
// error; reply (256 bytes) receives the first 255 units of the reply that
// arrived (none when none did), each cut to its low byte, and a zero. Resolved as "ClientPost" ("siiisrb").
std::int32_t ClientPost(const char* url, std::int32_t connectMs, std::int32_t sendMs, std::int32_t receiveMs,
                        const char* body, std::int32_t* lastError, char* reply);

}  // namespace dllcaller
