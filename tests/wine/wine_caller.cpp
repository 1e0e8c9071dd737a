#include "wine_caller.h"

#include <cstdlib>
#include <sstream>

namespace winetest {
namespace {

const char kConnectionsKey[] = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

std::string HexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex.push_back(kDigits[byte >> 4]);
    hex.push_back(kDigits[byte & 0x0F]);
  }
  return hex;
}

bool BytesOf(const std::string& hex, std::string& bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = hex.substr(i, 2);
    const long value = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    bytes.push_back(static_cast<char>(value));
  }
  return true;
}

bool ParseOutcome(const std::string& line, CallOutcome& outcome) {
  outcome.line = line;
  std::istringstream words(line);
  if (!(words >> outcome.exportName) || outcome.exportName == "error") return false;
  std::string token;
  while (words >> token) {
    const std::size_t equals = token.find('=');
    if (equals == std::string::npos) return false;
    const std::string key = token.substr(0, equals);
    const std::string value = token.substr(equals + 1);
    std::string bytes;
    if (key == "ret") outcome.ret = std::atoi(value.c_str());
    else if (key == "ms") outcome.ms = std::atol(value.c_str());
    else if (key == "r") outcome.results.push_back(std::atoi(value.c_str()));
    else if (key == "b" && BytesOf(value, bytes)) outcome.buffers.push_back(bytes);
    else if (key == "w" && BytesOf(value, bytes)) outcome.texts.push_back(bytes);
    else return false;
  }
  return true;
}

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

}  // namespace

std::string TextArg(const std::string& bytes) { return "s:" + HexOf(bytes); }
std::string WritableArg(const std::string& bytes) { return "w:" + HexOf(bytes); }
std::string IntArg(long long value) { return "i:" + std::to_string(value); }
std::string DoubleArg(const char* literal) { return std::string("d:") + literal; }
std::string BufferArg(int size, unsigned char fill) {
  return "b:" + std::to_string(size) + ":" + HexOf(std::string(1, static_cast<char>(fill)));
}

std::string Line(const std::string& exportName, const std::vector<std::string>& args) {
  std::string line = exportName;
  for (const std::string& arg : args) line += " " + arg;
  return line;
}

ProcessResult RunUnderWine(const std::vector<std::string>& argv, const std::string& input,
                           const std::string& workingDirectory) {
  ProcessSpec process;
  process.argv.push_back(KT_WINE64);
  process.argv.insert(process.argv.end(), argv.begin(), argv.end());
  process.environment = {{"WINEPREFIX", KT_WINEPREFIX}, {"WINEDEBUG", "-all"}};
  process.workingDirectory = workingDirectory;
  process.input = input;
  process.timeLimit = std::chrono::seconds(150);
  return RunProcess(process);
}

std::vector<CallOutcome> CallDll(const std::string& dllPath, const std::vector<std::string>& lines,
                                 std::string& failure) {
  const std::size_t slash = dllPath.rfind('/');
  const std::string directory = dllPath.substr(0, slash);
  const std::string fileName = dllPath.substr(slash + 1);
  std::string input;
  for (const std::string& line : lines) input += line + "\n";
  // Loaded by file name from the working directory, as a trading program does.
  const ProcessResult run = RunUnderWine({KT_DLL_CALLER, fileName}, input, directory);
  std::vector<CallOutcome> outcomes;
  std::istringstream out(run.output);
  std::string line;
  while (std::getline(out, line)) {
    CallOutcome outcome;
    if (!ParseOutcome(line, outcome)) {
      failure = "unexpected caller output: " + line;
      return {};
    }
    outcomes.push_back(outcome);
  }
  if (run.timedOut || run.exitCode != 0 || outcomes.size() != lines.size()) {
    failure = "caller exit " + std::to_string(run.exitCode) + (run.timedOut ? " (timed out)" : "") + " after " +
              std::to_string(outcomes.size()) + " of " + std::to_string(lines.size()) + " calls; output:\n" +
              run.output;
    return {};
  }
  return outcomes;
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
