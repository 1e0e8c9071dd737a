#include "exports/debug_line.h"

#include <string>

#include "exports/failure_words.h"

namespace exports {
namespace {

void Append(WideString& out, const char* ascii) {
  for (; *ascii != '\0'; ++ascii) out.push_back(static_cast<WideChar>(static_cast<unsigned char>(*ascii)));
}

void Append(WideString& out, const std::string& ascii) { Append(out, ascii.c_str()); }

// What happened, before the endpoint: the reply's status, or why none came.
void AppendWhat(WideString& line, const transport::PostReport& report) {
  if (!report.status.empty()) {
    Append(line, "status ");
    line += report.status;
    Append(line, " from ");
  } else {
    Append(line, report.attempts > 0 ? "no reply from " : "not sent to ");
  }
}

void AppendReason(WideString& line, std::uint32_t code) {
  Append(line, std::to_string(code) + " (");
  Append(line, FailureWords(code));
  Append(line, ")");
}

// "1.2 s": tenths are what a person reading the line needs.
std::string Seconds(std::uint64_t ms) {
  return std::to_string(ms / 1000) + "." + std::to_string(ms % 1000 / 100) + " s";
}

}  // namespace

WideString DebugLine(const ExportCall& call, const WideString& url, const transport::PostReport& report) {
  WideString line;
  Append(line, std::string(call.library) + " " + call.name + ": ");
  AppendWhat(line, report);
  line += url;
  if (report.attempts == 0) {
    Append(line, ": error ");
    AppendReason(line, report.lastError);
    return line;
  }
  Append(line, ": " + std::to_string(report.attempts) + (report.attempts == 1 ? " attempt" : " attempts"));
  if (!report.proxy.empty()) {
    Append(line, ", proxy ");
    line += report.proxy;
  }
  if (report.lastError != 0) {
    Append(line, ", last ");
    AppendReason(line, report.lastError);
  }
  Append(line, ", " + Seconds(report.elapsedMs));
  return line;
}

void WriteDebugLine(const ExportCall& call, const WideString& url, const transport::PostReport& report) noexcept {
  try {
    OutputDebugStringW(DebugLine(call, url, report).c_str());
  } catch (...) {
    // Out of memory: the caller still gets its result and last-error value.
  }
}

}  // namespace exports
