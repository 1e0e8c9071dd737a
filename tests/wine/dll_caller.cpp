// Loads one export library by file name, as a trading program does, and
// calls its exports one input line at a time (format in call_line.h).
// Usage: dll_caller.exe <library file name> < calls
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "call_line.h"

namespace {

using dllcaller::CallLine;

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
Fn As(FARPROC address) {
  static_assert(sizeof(Fn) == sizeof(address), "function pointer sizes differ");
  Fn fn;
  std::memcpy(&fn, &address, sizeof fn);
  return fn;
}

using Text = const char*;
using Int = std::int32_t;
using Out = std::int32_t*;

struct ExportSignature {
  const char* name;
  const char* kinds;
  int (*invoke)(FARPROC, Args&);
};

const ExportSignature kSignatures[] = {
    {"SendSignal", "siississsssir",
     [](FARPROC f, Args& a) {
       return As<int (*)(Text, Int, Int, Text, Text, Int, Text, Text, Text, Text, Text, Int, Out)>(f)(
           a.Text(0), a.Int(1), a.Int(2), a.Text(3), a.Text(4), a.Int(5), a.Text(6), a.Text(7), a.Text(8),
           a.Text(9), a.Text(10), a.Int(11), a.Result(12));
     }},
    {"RecvSignal", "ssiiwbr",
     [](FARPROC f, Args& a) {
       return As<int (*)(Text, Text, Int, Int, char*, char*, Out)>(f)(
           a.Text(0), a.Text(1), a.Int(2), a.Int(3), a.Writable(4), a.Buffer(5), a.Result(6));
     }},
    {"CheckPosition", "sisr",
     [](FARPROC f, Args& a) {
       return As<int (*)(Text, Int, Text, Out)>(f)(a.Text(0), a.Int(1), a.Text(2), a.Result(3));
     }},
    {"UpdateTS", "sissr",
     [](FARPROC f, Args& a) {
       return As<int (*)(Text, Int, Text, Text, Out)>(f)(a.Text(0), a.Int(1), a.Text(2), a.Text(3), a.Result(4));
     }},
    {"CheckLimits", "ssr",
     [](FARPROC f, Args& a) { return As<int (*)(Text, Text, Out)>(f)(a.Text(0), a.Text(1), a.Result(2)); }},
    {"CheckAccount", "ssssib",
     [](FARPROC f, Args& a) {
       return As<int (*)(Text, Text, Text, Text, Int, char*)>(f)(a.Text(0), a.Text(1), a.Text(2), a.Text(3),
                                                                 a.Int(4), a.Buffer(5));
     }},
    {"UpdateBalance", "sdsib",
     [](FARPROC f, Args& a) {
       return As<int (*)(Text, double, Text, Int, char*)>(f)(a.Text(0), a.Real(1), a.Text(2), a.Int(3),
                                                             a.Buffer(4));
     }},
    {"GetLastUpdate", "sb",
     [](FARPROC f, Args& a) { return As<int (*)(Text, char*)>(f)(a.Text(0), a.Buffer(1)); }},
    {"UpdateHistory", "sisisiidddddb",
     [](FARPROC f, Args& a) {
       return As<int (*)(Text, Int, Text, Int, Text, Int, Int, double, double, double, double, double, char*)>(f)(
           a.Text(0), a.Int(1), a.Text(2), a.Int(3), a.Text(4), a.Int(5), a.Int(6), a.Real(7), a.Real(8),
           a.Real(9), a.Real(10), a.Real(11), a.Buffer(12));
     }},
};

const ExportSignature* FindSignature(const std::string& name) {
  for (const ExportSignature& signature : kSignatures) {
    if (name == signature.name) return &signature;
  }
  return nullptr;
}

// Runs one line; every outcome is one output line.
std::string RunLine(HMODULE library, const std::string& line) {
  CallLine call;
  std::string error;
  if (!dllcaller::ParseCallLine(line, call, error)) return "error " + error;
  const ExportSignature* signature = FindSignature(call.exportName);
  if (signature == nullptr) return "error unknown signature " + call.exportName;
  if (dllcaller::ArgKinds(call) != signature->kinds) {
    return "error " + call.exportName + " takes " + signature->kinds;
  }
  const FARPROC address = GetProcAddress(library, signature->name);
  if (address == nullptr) return "error no export " + call.exportName;
  Args args{call};
  const ULONGLONG start = GetTickCount64();
  const int ret = signature->invoke(address, args);
  return dllcaller::FormatResult(call, ret, static_cast<unsigned long>(GetTickCount64() - start));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: dll_caller <library file name> < calls\n");
    return 2;
  }
  const HMODULE library = LoadLibraryA(argv[1]);
  if (library == nullptr) {
    std::printf("error cannot load %s: %lu\n", argv[1], GetLastError());
    return 3;
  }
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    std::printf("%s\n", RunLine(library, line).c_str());
    std::fflush(stdout);
  }
  FreeLibrary(library);
  return 0;
}
