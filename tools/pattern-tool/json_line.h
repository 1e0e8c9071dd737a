// The tool's JSON lines: one case object in, one result object out.
#pragma once

#include <string>
#include <vector>

#include "pattern/pattern_program.h"

namespace pattern_tool {

struct CaseLine {
  WideString pattern;
  WideString text;
  bool hasText = false;
};

// Reads {"pattern": "...", "text": "..."}; other members are skipped.
// False, with `problem` set, for a line that is not such an object.
bool ParseCaseLine(const std::string& line, CaseLine& parsed, std::string& problem);

// A JSON string literal; every unit outside printable ASCII is written as
// a \uXXXX escape, so 16-bit units come back exactly.
std::string JsonString(const WideString& units);

// The result object for a compiled program and, when searched, the search.
std::string ResultLine(const pattern::PatternProgram& program, const bool* found,
                       const std::vector<WideString>& captures);

}  // namespace pattern_tool
