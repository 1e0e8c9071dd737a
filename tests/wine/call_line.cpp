#include "call_line.h"

#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace dllcaller {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool FromHex(const std::string& hex, std::vector<char>& out) {
  if (hex.size() % 2 != 0) return false;
  out.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = HexDigit(hex[i]);
    const int low = HexDigit(hex[i + 1]);
    if (high < 0 || low < 0) return false;
    out.push_back(static_cast<char>(high * 16 + low));
  }
  return true;
}

bool ParseInt32(const std::string& text, std::int32_t& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < INT32_MIN || parsed > INT32_MAX) return false;
  value = static_cast<std::int32_t>(parsed);
  return true;
}

bool ParseBuffer(const std::string& bufferText, std::vector<char>& out) {
  const std::size_t colon = bufferText.find(':');
  if (colon == std::string::npos || bufferText.size() - colon != 3) return false;
  std::int32_t size = 0;
  std::vector<char> fill;
  if (!ParseInt32(bufferText.substr(0, colon), size) || size <= 0 || size > (1 << 24)) return false;
  if (!FromHex(bufferText.substr(colon + 1), fill)) return false;
  out.assign(static_cast<std::size_t>(size) + kBufferGuardBytes, fill[0]);
  return true;
}

bool ParseArg(const std::string& token, CallArg& arg) {
  if (token == "null") {
    arg.kind = 's';
    arg.isNull = true;
    return true;
  }
  if (token == "r") {
    arg.kind = 'r';
    arg.integer = kResultSentinel;
    return true;
  }
  if (token.size() < 2 || token[1] != ':') return false;
  arg.kind = token[0];
  const std::string value = token.substr(2);
  switch (arg.kind) {
    case 's':
    case 'w':
      if (!FromHex(value, arg.bytes)) return false;
      arg.bytes.push_back('\0');
      return true;
    case 'i':
      return ParseInt32(value, arg.integer);
    case 'd': {
      char* end = nullptr;
      arg.real = std::strtod(value.c_str(), &end);
      return !value.empty() && *end == '\0';
    }
    case 'b':
      return ParseBuffer(value, arg.bytes);
    default:
      return false;
  }
}

}  // namespace

bool ParseCallLine(const std::string& line, CallLine& call, std::string& error) {
  std::istringstream words(line);
  if (!(words >> call.exportName)) {
    error = "empty line";
    return false;
  }
  call.args.clear();
  std::string token;
  while (words >> token) {
    CallArg arg;
    if (!ParseArg(token, arg)) {
      error = "bad argument " + token;
      return false;
    }
    call.args.push_back(std::move(arg));
  }
  return true;
}

std::string ArgKinds(const CallLine& call) {
  std::string kinds;
  for (const CallArg& arg : call.args) kinds.push_back(arg.kind);
  return kinds;
}

std::string ToHex(const char* bytes, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned char byte = static_cast<unsigned char>(bytes[i]);
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

std::string TextArg(const std::string& bytes) { return "s:" + ToHex(bytes.data(), bytes.size()); }
std::string WritableArg(const std::string& bytes) { return "w:" + ToHex(bytes.data(), bytes.size()); }
std::string IntArg(long long value) { return "i:" + std::to_string(value); }
std::string RealArg(const std::string& literal) { return "d:" + literal; }
std::string BufferArg(std::size_t size, unsigned char fill) {
  const char byte = static_cast<char>(fill);
  return "b:" + std::to_string(size) + ":" + ToHex(&byte, 1);
}

std::string WrittenBuffer(const std::string& written, std::size_t size, unsigned char fill) {
  return written + std::string(size + kBufferGuardBytes - written.size(), static_cast<char>(fill));
}

std::string Line(const std::string& exportName, const std::vector<std::string>& args) {
  std::string line = exportName;
  for (const std::string& arg : args) line += " " + arg;
  return line;
}

bool ParseResultLine(const std::string& line, CallResult& result) {
  std::istringstream words(line);
  if (!(words >> result.exportName) || result.exportName == "error") return false;
  std::string token;
  while (words >> token) {
    const std::size_t equals = token.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = token.substr(0, equals);
    const std::string value = token.substr(equals + 1);
    std::vector<char> bytes;
    if (key == "ret") result.ret = std::atoi(value.c_str());
    else if (key == "ms") result.ms = std::atol(value.c_str());
    else if (key == "err") result.lastError = std::atoll(value.c_str());
    else if (key == "r") result.results.push_back(std::atoi(value.c_str()));
    else if (key == "w" && FromHex(value, bytes)) result.texts.emplace_back(bytes.begin(), bytes.end());
    else if (key == "b" && FromHex(value, bytes)) result.buffers.emplace_back(bytes.begin(), bytes.end());
    else if (key == "dbg" && FromHex(value, bytes)) result.debugLines.emplace_back(bytes.begin(), bytes.end());
    else return false;
  }
  return true;
}

std::string FormatResult(const CallLine& call, int ret, unsigned long ms, const Aftermath& after) {
  std::ostringstream out;
  out << call.exportName << " ret=" << ret << " ms=" << ms << " err=" << after.lastError;
  for (const CallArg& arg : call.args) {
    if (arg.kind == 'r') out << " r=" << arg.integer;
    if (arg.kind == 'w') out << " w=" << ToHex(arg.bytes.data(), arg.bytes.size());
    if (arg.kind == 'b') out << " b=" << ToHex(arg.bytes.data(), arg.bytes.size());
  }
  for (const std::string& line : after.debugLines) out << " dbg=" << ToHex(line.data(), line.size());
  return out.str();
}

}  // namespace dllcaller
