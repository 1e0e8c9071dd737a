#include "call_dispatch.h"

#include <chrono>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

#include "call_line.h"
#include "debug_lines.h"

namespace dllcaller {
namespace {

// Typed views of the parsed arguments; pointers stay valid while the line lives.
struct Args {
  CallLine& call;
  const char* Text(std::size_t i) { return call.args[i].isNull ? nullptr : call.args[i].bytes.data(); }
  char* Writable(std::size_t i) { return call.args[i].bytes.data(); }
  char* Buffer(std::size_t i) { return call.args[i].bytes.data(); }
  std::int32_t Int(std::size_t i) { return call.args[i].integer; }
  double Real(std::size_t i) { return call.args[i].real; }
  std::int32_t* Result(std::size_t i) { return &call.args[i].integer; }
};

template <typename Fn>
Fn As(void* address) {
  static_assert(sizeof(Fn) == sizeof(address), "function pointer sizes differ");
  Fn fn;
  std::memcpy(&fn, &address, sizeof fn);
  return fn;
}

using Text = const char*;
using Int = std::int32_t;
using Out = std::int32_t*;

struct Signature {
  const char* name;
  const char* kinds;
  int (*invoke)(void*, Args&);
};

const Signature kSignatures[] = {
    {"SendSignal", "siississsssir",
     [](void* f, Args& a) {
       return As<int (*)(Text, Int, Int, Text, Text, Int, Text, Text, Text, Text, Text, Int, Out)>(f)(
           a.Text(0), a.Int(1), a.Int(2), a.Text(3), a.Text(4), a.Int(5), a.Text(6), a.Text(7), a.Text(8),
           a.Text(9), a.Text(10), a.Int(11), a.Result(12));
     }},
    {"RecvSignal", "ssiiwbr",
     [](void* f, Args& a) {
       return As<int (*)(Text, Text, Int, Int, char*, char*, Out)>(f)(a.Text(0), a.Text(1), a.Int(2), a.Int(3),
                                                                      a.Writable(4), a.Buffer(5), a.Result(6));
     }},
    {"CheckPosition", "sisr",
     [](void* f, Args& a) {
       return As<int (*)(Text, Int, Text, Out)>(f)(a.Text(0), a.Int(1), a.Text(2), a.Result(3));
     }},
    {"UpdateTS", "sissr",
     [](void* f, Args& a) {
       return As<int (*)(Text, Int, Text, Text, Out)>(f)(a.Text(0), a.Int(1), a.Text(2), a.Text(3), a.Result(4));
     }},
    {"CheckLimits", "ssr",
     [](void* f, Args& a) { return As<int (*)(Text, Text, Out)>(f)(a.Text(0), a.Text(1), a.Result(2)); }},
    {"CheckAccount", "ssssib",
     [](void* f, Args& a) {
       return As<int (*)(Text, Text, Text, Text, Int, char*)>(f)(a.Text(0), a.Text(1), a.Text(2), a.Text(3),
                                                                 a.Int(4), a.Buffer(5));
     }},
    {"UpdateBalance", "sdsib",
     [](void* f, Args& a) {
       return As<int (*)(Text, double, Text, Int, char*)>(f)(a.Text(0), a.Real(1), a.Text(2), a.Int(3), a.Buffer(4));
     }},
    {"GetLastUpdate", "sb", [](void* f, Args& a) { return As<int (*)(Text, char*)>(f)(a.Text(0), a.Buffer(1)); }},
    {"UpdateHistory", "sisisiidddddb",
     [](void* f, Args& a) {
       return As<int (*)(Text, Int, Text, Int, Text, Int, Int, double, double, double, double, double, char*)>(f)(
           a.Text(0), a.Int(1), a.Text(2), a.Int(3), a.Text(4), a.Int(5), a.Int(6), a.Real(7), a.Real(8),
           a.Real(9), a.Real(10), a.Real(11), a.Buffer(12));
     }},
    {"ClientPost", "siiisrb",
     [](void* f, Args& a) {
       return As<int (*)(Text, Int, Int, Int, Text, Out, char*)>(f)(a.Text(0), a.Int(1), a.Int(2), a.Int(3),
                                                                    a.Text(4), a.Result(5), a.Buffer(6));
     }},
};

const Signature* FindSignature(const std::string& name) {
  for (const Signature& signature : kSignatures) {
    if (name == signature.name) return &signature;
  }
  return nullptr;
}

// Parses and checks a line; an empty string when the call can be made.
std::string Prepare(const Resolver& resolve, const std::string& line, CallLine& call, const Signature*& signature,
                    Entry& entry) {
  std::string error;
  if (!ParseCallLine(line, call, error)) return "error " + error;
  signature = FindSignature(call.exportName);
  if (signature == nullptr) return "error unknown signature " + call.exportName;
  if (ArgKinds(call) != signature->kinds) return "error " + call.exportName + " takes " + signature->kinds;
  entry = resolve(signature->name);
  if (entry.address == nullptr || entry.lastError == nullptr) return "error no export " + call.exportName;
  return "";
}

// One call from a fresh parse of `line`; its result line carries the call's
// time when `timed`, else ms=0 so that results can be compared.
std::string CallOnce(const Resolver& resolve, const std::string& line, bool timed) {
  CallLine call;
  const Signature* signature = nullptr;
  Entry entry;
  const std::string error = Prepare(resolve, line, call, signature, entry);
  if (!error.empty()) return error;
  Args args{call};
  TakeDebugLines();  // only this call's lines
  const auto start = std::chrono::steady_clock::now();
  const int ret = signature->invoke(entry.address, args);
  Aftermath after;
  after.lastError = entry.lastError();  // before anything else can overwrite it
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  after.debugLines = TakeDebugLines();
  return FormatResult(call, ret, timed ? static_cast<unsigned long>(ms.count()) : 0, after);
}

std::vector<std::string> SplitOn(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

}  // namespace

std::string RunLine(const Resolver& resolve, const std::string& line) { return CallOnce(resolve, line, true); }

std::string RunThreads(const Resolver& resolve, const std::string& command) {
  std::istringstream words(command);
  std::string keyword;
  long calls = 0;
  if (!(words >> keyword >> calls) || keyword != "Threads" || calls < 1) return "error bad Threads command";
  std::string rest;
  std::getline(words, rest);
  const std::vector<std::string> lines = SplitOn(rest, '|');
  std::vector<std::string> first(lines.size());
  std::vector<long> same(lines.size(), 0);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < lines.size(); ++t) {
    threads.emplace_back([&, t] {
      for (long i = 0; i < calls; ++i) {
        const std::string result = CallOnce(resolve, lines[t], false);
        if (i == 0) first[t] = result;
        same[t] += result == first[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::string out;
  for (std::size_t t = 0; t < lines.size(); ++t) {
    out += (t == 0 ? "" : " | ") + first[t] + " same=" + std::to_string(same[t]);
  }
  return out;
}

}  // namespace dllcaller
