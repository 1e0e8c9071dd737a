// Loads export libraries by file name, as a trading program does, and
// calls their exports one input line at a time (formats in call_line.h and
// call_dispatch.h), answering each line with one line.
// Usage: dll_caller.exe <library file name>... < calls
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "call_dispatch.h"

namespace {

void* Address(FARPROC procedure) {
  void* address = nullptr;
  static_assert(sizeof address == sizeof procedure, "function pointer sizes differ");
  std::memcpy(&address, &procedure, sizeof address);
  return address;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: dll_caller <library file name>... < calls\n");
    return 2;
  }
  std::vector<HMODULE> libraries;
  for (int i = 1; i < argc; ++i) {
    const HMODULE library = LoadLibraryA(argv[i]);
    if (library == nullptr) {
      std::printf("error cannot load %s: %lu\n", argv[i], GetLastError());
      return 3;
    }
    libraries.push_back(library);
  }
  const dllcaller::Resolver resolve = [&libraries](const char* name) -> void* {
    for (HMODULE library : libraries) {
      if (FARPROC procedure = GetProcAddress(library, name)) return Address(procedure);
    }
    return nullptr;
  };
  std::string line;
  while (std::getline(std::cin, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const bool threads = line.compare(0, 8, "Threads ") == 0;
    const std::string result = threads ? dllcaller::RunThreads(resolve, line) : dllcaller::RunLine(resolve, line);
    std::fwrite(result.data(), 1, result.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
  for (HMODULE library : libraries) FreeLibrary(library);
  return 0;
}
