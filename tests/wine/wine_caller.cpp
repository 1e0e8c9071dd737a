#include "wine_caller.h"

#include <fstream>
#include <cstdlib>
#include <utility>

#include "call_line.h"

namespace winetest {
namespace {

const char kConnectionsKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::string HexOf(const std::string& bytes) { return dllcaller::ToHex(bytes.data(), bytes.size()); }

// The registry blob of the user's connection settings: a header (format
// 0x46, a counter, flags: direct | named proxy), then the proxy, the bypass
// list and the configuration script URL, each as a length and its bytes.
std::string ConnectionSettings(const std::string& proxy, const std::string& bypass) {
  auto le32 = [](std::size_t value) {
    std::string bytes;
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return bytes;
  };
  return le32(0x46) + le32(0) + le32(0x3) + le32(proxy.size()) + proxy + le32(bypass.size()) + bypass + le32(0);
}

std::vector<std::pair<std::string, std::string>> WineEnvironment() {
  return {{"WINEPREFIX", KT_WINEPREFIX}, {"WINEDEBUG", "-all"}};
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }
std::string FileOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

ProcessResult RunUnderWine(const std::vector<std::string>& argv, const std::string& input,
                           const std::string& workingDirectory) {
  ProcessSpec process;
  process.argv.push_back(KT_WINE64);
  process.argv.insert(process.argv.end(), argv.begin(), argv.end());
  process.environment = WineEnvironment();
  process.workingDirectory = workingDirectory;
  process.input = input;
  process.timeLimit = std::chrono::seconds(150);
  return RunProcess(process);
}

WineCaller::WineCaller(std::string kestraneDll, std::string fallowayDll)
    : kestraneDll_(std::move(kestraneDll)), fallowayDll_(std::move(fallowayDll)) {}
WineCaller::~WineCaller() = default;

std::string WineCaller::Ask(const std::string& line, std::chrono::milliseconds limit) {
  if (!process_) {
    // Kestrane.dll by its file name from the working directory, Falloway.dll
    // by its full path (Wine's Z: drive is the Unix root): both ways a
    // trading program may name a library.
    ProcessSpec spec;
    spec.argv = {KT_WINE64, KT_DLL_CALLER, FileOf(kestraneDll_), "Z:" + fallowayDll_};
    spec.environment = WineEnvironment();
    spec.workingDirectory = FolderOf(kestraneDll_);
    process_ = std::make_unique<LineProcess>(spec);
  }
  std::string answer;
  if (process_->Ask(line, answer, limit)) {
    if (!answer.empty() && answer.back() == '\r') answer.pop_back();  // a Windows program's text-mode output
    return answer;
  }
  process_.reset();
  return "error caller did not answer";
}

long WineCaller::ResidentKiB() const {
  if (!process_) return 0;
  std::ifstream status("/proc/" + std::to_string(process_->Pid()) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.compare(0, 6, "VmRSS:") == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

bool SetUserProxy(const std::string& proxy, const std::string& bypass) {
  const ProcessResult run = RunUnderWine({"reg", "add", kConnectionsKey, "/v", "DefaultConnectionSettings", "/t",
                                          "REG_BINARY", "/d", HexOf(ConnectionSettings(proxy, bypass)), "/f"});
  return run.exitCode == 0;
}

bool ClearUserProxy() {
  const ProcessResult run = RunUnderWine({"reg", "delete", kConnectionsKey, "/v", "DefaultConnectionSettings", "/f"});
  return run.exitCode == 0;
}

}  // namespace winetest
