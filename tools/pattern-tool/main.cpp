// pattern-tool: shows what the pattern engine makes of a pattern.
//   pattern-tool PATTERN         the compile result and the program
//   pattern-tool PATTERN FILE    also what the search collects from FILE
//   pattern-tool --jsonl         one JSON result line per JSON case line
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "json_line.h"
#include "pattern/pattern_failure.h"
#include "pattern/pattern_program.h"
#include "pattern/pattern_search.h"
#include "pattern/program_listing.h"
#include "text_codec.h"

namespace {

using pattern_tool::UnitsToUtf8;
using pattern_tool::Utf8ToUnits;

int ShowPattern(const std::string& patternBytes, const char* file) {
  const WideString pattern = Utf8ToUnits(patternBytes);
  pattern::PatternProgram program;
  program.Compile(pattern.c_str());
  std::fputs(pattern::ProgramListing(program).c_str(), stdout);
  if (file == nullptr) return program.parseError == 0 ? 0 : 1;
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file);
    return 2;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const WideString text = Utf8ToUnits(bytes);
  std::vector<WideString> captures;
  const bool found = pattern::FindPatternGroups(pattern.c_str(), text.c_str(), captures);
  std::printf("found %s, %zu captures\n", found ? "true" : "false", captures.size());
  for (std::size_t i = 0; i < captures.size(); ++i) {
    std::printf("%4zu  %s\n", i, UnitsToUtf8(captures[i]).c_str());
  }
  return 0;
}

std::string RunCase(const pattern_tool::CaseLine& input) {
  pattern::PatternProgram program;
  program.Compile(input.pattern.c_str());
  if (!input.hasText) return pattern_tool::ResultLine(program, nullptr, {});
  std::vector<WideString> captures;
  const bool found = pattern::FindPatternGroups(input.pattern.c_str(), input.text.c_str(), captures);
  return pattern_tool::ResultLine(program, &found, captures);
}

// A line that cannot be read, or a search that fails, still gets its own
// output line, so outputs stay aligned with inputs.
int RunJsonLines() {
  int status = 0;
  std::string line;
  while (std::getline(std::cin, line)) {
    pattern_tool::CaseLine input;
    std::string problem;
    if (!pattern_tool::ParseCaseLine(line, input, problem)) {
      std::cout << "{\"invalid\": \"" << problem << "\"}\n";
      status = 1;
      continue;
    }
    try {
      std::cout << RunCase(input) << "\n";
    } catch (const pattern::PatternFailure& failure) {
      std::cout << "{\"failure\": " << failure.status() << "}\n";
    }
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 2 && std::string(argv[1]) == "--jsonl") return RunJsonLines();
    if (argc == 2 || argc == 3) return ShowPattern(argv[1], argc == 3 ? argv[2] : nullptr);
  } catch (const pattern::PatternFailure& failure) {
    std::fprintf(stderr, "pattern engine failure 0x%08x\n", static_cast<unsigned>(failure.status()));
    return 2;
  }
  std::fprintf(stderr, "usage: pattern-tool PATTERN [FILE] | pattern-tool --jsonl\n");
  return 2;
}
