// Runs the Windows caller program under Wine with both DLLs loaded, and
// keeps it running: one Wine process answers every call line a test sends.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"

namespace winetest {

// Runs wine64 on any program of the Windows build in the tests' prefix.
ProcessResult RunUnderWine(const std::vector<std::string>& argv, const std::string& input = "",
                           const std::string& workingDirectory = "");

// dll_caller.exe with Kestrane.dll and Falloway.dll, loaded by file name from
// their folders, as a trading program does. Started on the first call; if it
// dies it is started afresh on the next.
class WineCaller {
 public:
  explicit WineCaller(std::string kestraneDll = KT_KESTRANE_DLL, std::string fallowayDll = KT_FALLOWAY_DLL);
  ~WineCaller();

  // The caller's answer to one line (call_line.h, call_dispatch.h), or
  // "error caller ..." when it did not answer within `limit`.
  std::string Ask(const std::string& line, std::chrono::milliseconds limit = std::chrono::seconds(150));
  // The Wine process's resident memory in KiB (0 when it is not running).
  long ResidentKiB() const;

 private:
  std::string kestraneDll_;
  std::string fallowayDll_;
  std::unique_ptr<LineProcess> process_;
};

// The user's proxy settings in the prefix's registry, where the platform's
// WinHttpGetIEProxyConfigForCurrentUser reads them.
bool SetUserProxy(const std::string& proxy, const std::string& bypass);
bool ClearUserProxy();

}  // namespace winetest
