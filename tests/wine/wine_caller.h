// Runs the Windows caller program under Wine against one DLL, and shapes its
// input and output lines (format in call_line.h) for the tests.
#pragma once

#include <string>
#include <vector>

#include "child_process.h"

namespace winetest {

// One output line of the caller, decoded.
struct CallOutcome {
  std::string line;                  // as printed, for failure messages
  std::string exportName;
  int ret = -99;
  long ms = -1;
  std::vector<int> results;          // r arguments, in order
  std::vector<std::string> buffers;  // b arguments' bytes, in order
  std::vector<std::string> texts;    // w arguments' bytes (with their zero)
};

// Argument tokens for an input line.
std::string TextArg(const std::string& bytes);      // s:<hex>
std::string WritableArg(const std::string& bytes);  // w:<hex>
std::string IntArg(long long value);                // i:<decimal>
std::string DoubleArg(const char* literal);         // d:<literal>
std::string BufferArg(int size, unsigned char fill);
std::string Line(const std::string& exportName, const std::vector<std::string>& args);

// Runs wine64 on any program of the Windows build in the tests' prefix.
ProcessResult RunUnderWine(const std::vector<std::string>& argv, const std::string& input = "",
                           const std::string& workingDirectory = "");

// Calls one line after another in one process; one outcome per line, or an
// empty list with a message when the program did not run to its end.
std::vector<CallOutcome> CallDll(const std::string& dllPath, const std::vector<std::string>& lines,
                                 std::string& failure);

// The user's proxy settings in the prefix's registry, where the platform's
// WinHttpGetIEProxyConfigForCurrentUser reads them.
bool SetUserProxy(const std::string& proxy, const std::string& bypass);
bool ClearUserProxy();

}  // namespace winetest
