// One call of the Windows caller program, as read from one input line and
// written back as one output line. Texts travel hex-encoded so that any byte,
// zero and CR/LF included, can be passed and shown.
//
// Input:  <Export> <arg> <arg> ...
//   s:<hex>        read-only text (the bytes, a terminating zero is added)
//   null           a null text pointer
//   w:<hex>        writable text, rewritten in place by the export
//   i:<decimal>    32-bit signed integer
//   d:<decimal>    double (strtod syntax: also "nan", "inf")
//   r              pointer to a 32-bit result, pre-set to kResultSentinel
//   b:<size>:<hh>  caller buffer of <size> bytes, every byte pre-set to hh,
//                  followed by kBufferGuardBytes more of hh that no export may touch
// Output: <Export> ret=<int> ms=<elapsed> err=<the thread's last-error value
//   read right after the call> then, for each r, w and b argument in order,
//   r=<int>, w=<hex of the text and its zero> or b=<hex of the buffer and its
//   guard>, then dbg=<hex of the UTF-8> for each debug-channel line the call
//   wrote.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dllcaller {

constexpr std::int32_t kResultSentinel = 0x5A5A5A5A;
constexpr std::size_t kBufferGuardBytes = 64;

struct CallArg {
  char kind = 0;             // 's', 'w', 'i', 'd', 'r', 'b'; 's' with isNull for null
  bool isNull = false;
  std::vector<char> bytes;   // texts (with their zero) and buffers
  std::int32_t integer = 0;  // 'i' value, 'r' storage
  double real = 0.0;
};

struct CallLine {
  std::string exportName;
  std::vector<CallArg> args;
};

// Parses one input line; false with a reason when it is malformed.
bool ParseCallLine(const std::string& line, CallLine& call, std::string& error);

// The kinds of the arguments, e.g. "ssir", to compare with a signature.
std::string ArgKinds(const CallLine& call);

// What a call left on its thread besides its result.
struct Aftermath {
  std::uint32_t lastError = 0;
  std::vector<std::string> debugLines;  // UTF-8
};

// The output line for a call that returned `ret` after `ms` milliseconds.
std::string FormatResult(const CallLine& call, int ret, unsigned long ms, const Aftermath& after);

std::string ToHex(const char* bytes, std::size_t size);

// Argument tokens and lines, for the programs that write call lines.
std::string TextArg(const std::string& bytes);      // s:<hex>
std::string WritableArg(const std::string& bytes);  // w:<hex>
std::string IntArg(long long value);                // i:<decimal>
std::string RealArg(const std::string& literal);    // d:<literal>
std::string BufferArg(std::size_t size, unsigned char fill);
// What a BufferArg(size, fill) reads back as after the export wrote `written`
// at its start: the rest of the buffer and the guard still hold `fill`.
std::string WrittenBuffer(const std::string& written, std::size_t size, unsigned char fill);
std::string Line(const std::string& exportName, const std::vector<std::string>& args);

// An output line taken apart: out arguments by kind, each in order.
struct CallResult {
  std::string exportName;
  int ret = -99;
  long ms = -1;
  long long lastError = -1;
  std::vector<std::string> debugLines;
  std::vector<int> results;          // r
  std::vector<std::string> texts;    // w, with their zero
  std::vector<std::string> buffers;  // b
};

// False for an "error ..." line or one that is not a result line.
bool ParseResultLine(const std::string& line, CallResult& result);

}  // namespace dllcaller
