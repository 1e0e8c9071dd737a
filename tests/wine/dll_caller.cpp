// Loads export libraries by file name, as a trading program does, and
// calls their exports one input line at a time (formats in call_line.h and
// call_dispatch.h), answering each line with one line. The lines a call
// writes with OutputDebugString are caught in-process: the function raises
// an exception for a debugger, and a vectored handler takes the text and
// continues as a debugger would (Windows raises the wide one first; Wine 8
// only the ANSI one, after converting the text to the ANSI code page).
// Usage: dll_caller.exe <library file name>... < calls
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "call_dispatch.h"
#include "debug_lines.h"

namespace {

constexpr DWORD kDebugPrint = 0x40010006;      // DBG_PRINTEXCEPTION_C
constexpr DWORD kDebugPrintWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

std::string Utf8OfAnsi(const char* text) {
  const int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (units <= 0) return text;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text, -1, wide.data(), units);
  wide.pop_back();
  return dllcaller::Utf8Of(std::u16string(wide.begin(), wide.end()));
}

// Parameters of both: [0] the length with its zero, [1] the text.
LONG CALLBACK CatchDebugLine(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD& record = *exception->ExceptionRecord;
  if (record.NumberParameters < 2 || record.ExceptionInformation[1] == 0) return EXCEPTION_CONTINUE_SEARCH;
  if (record.ExceptionCode == kDebugPrintWide) {
    dllcaller::KeepWideDebugLine(reinterpret_cast<const wchar_t*>(record.ExceptionInformation[1]));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (record.ExceptionCode == kDebugPrint) {
    dllcaller::KeepDebugLine(Utf8OfAnsi(reinterpret_cast<const char*>(record.ExceptionInformation[1])));
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

std::uint32_t ThreadLastError() { return GetLastError(); }

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
  AddVectoredExceptionHandler(1, CatchDebugLine);
  const dllcaller::Resolver resolve = [&libraries](const char* name) -> dllcaller::Entry {
    if (std::strcmp(name, "ClientPost") == 0) return {reinterpret_cast<void*>(&dllcaller::ClientPost), ThreadLastError};
    for (HMODULE library : libraries) {
      if (FARPROC procedure = GetProcAddress(library, name)) return {Address(procedure), ThreadLastError};
    }
    return {};
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
