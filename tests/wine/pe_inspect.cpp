#include "pe_inspect.h"

#include <regex>
#include <sstream>

namespace winetest {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

// Lines after the one that contains `heading`, up to the next empty line.
std::vector<std::string> Section(const std::string& text, const std::string& heading) {
  std::vector<std::string> section;
  bool inside = false;
  for (const std::string& line : Lines(text)) {
    if (inside && line.find_first_not_of(" \t") == std::string::npos) break;
    if (inside) section.push_back(line);
    if (line.find(heading) != std::string::npos) inside = true;
  }
  return section;
}

}  // namespace

std::string FileFormat(const std::string& objdumpText) {
  static const std::regex kFormat(R"(file format (\S+))");
  std::smatch match;
  return std::regex_search(objdumpText, match, kFormat) ? match[1].str() : std::string();
}

std::vector<std::string> ExportedNames(const std::string& objdumpText) {
  static const std::regex kEntry(R"(^\s*\[\s*\d+\]\s+(\S+)\s*$)");
  std::vector<std::string> names;
  for (const std::string& line : Section(objdumpText, "[Ordinal/Name Pointer] Table")) {
    std::smatch match;
    if (std::regex_match(line, match, kEntry)) names.push_back(match[1].str());
  }
  return names;
}

int ExportAddressCount(const std::string& objdumpText) {
  static const std::regex kEntry(R"(^\s*\[\s*\d+\] \+base\[\s*\d+\])");
  int count = 0;
  for (const std::string& line : Section(objdumpText, "Export Address Table -- Ordinal Base")) {
    if (std::regex_search(line, kEntry)) ++count;
  }
  return count;
}

std::vector<std::string> ImportedDlls(const std::string& objdumpText) {
  static const std::regex kDll(R"(^\s*DLL Name: (\S+)\s*$)");
  std::vector<std::string> dlls;
  for (const std::string& line : Lines(objdumpText)) {
    std::smatch match;
    if (std::regex_match(line, match, kDll)) dlls.push_back(match[1].str());
  }
  return dlls;
}

std::map<std::string, std::string> VersionStrings(const std::string& rcText) {
  static const std::regex kValue(R"re(VALUE\s+"([^"]+)",\s*"([^"]*)")re");
  std::map<std::string, std::string> values;
  for (auto it = std::sregex_iterator(rcText.begin(), rcText.end(), kValue); it != std::sregex_iterator(); ++it) {
    values[(*it)[1].str()] = (*it)[2].str();
  }
  return values;
}

}  // namespace winetest
