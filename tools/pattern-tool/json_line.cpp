#include "json_line.h"

#include <cstdio>

#include "pattern/program_listing.h"
#include "text_codec.h"

namespace pattern_tool {
namespace {

class Reader {
 public:
  explicit Reader(const std::string& line) : line_(line) {}

  void SkipSpace() {
    while (at_ < line_.size() && (line_[at_] == ' ' || line_[at_] == '\t' || line_[at_] == '\r')) ++at_;
  }
  bool Take(char wanted) {
    SkipSpace();
    if (at_ >= line_.size() || line_[at_] != wanted) return false;
    ++at_;
    return true;
  }
  bool AtEnd() {
    SkipSpace();
    return at_ >= line_.size();
  }
  bool String(WideString& out);
  bool SkipScalar();

 private:
  bool Escape(WideString& out);
  bool Hex4(char32_t& value);

  const std::string& line_;
  std::size_t at_ = 0;
};

bool Reader::Hex4(char32_t& value) {
  if (at_ + 4 > line_.size()) return false;
  value = 0;
  for (int i = 0; i < 4; ++i) {
    const char digit = line_[at_++];
    value <<= 4;
    if (digit >= '0' && digit <= '9') value |= static_cast<char32_t>(digit - '0');
    else if (digit >= 'a' && digit <= 'f') value |= static_cast<char32_t>(digit - 'a' + 10);
    else if (digit >= 'A' && digit <= 'F') value |= static_cast<char32_t>(digit - 'A' + 10);
    else return false;
  }
  return true;
}

bool Reader::Escape(WideString& out) {
  if (at_ >= line_.size()) return false;
  const char kind = line_[at_++];
  switch (kind) {
    case '"': case '\\': case '/': out.push_back(static_cast<WideChar>(kind)); return true;
    case 'b': out.push_back(WideChar(8)); return true;
    case 'f': out.push_back(WideChar(12)); return true;
    case 'n': out.push_back(WideChar(10)); return true;
    case 'r': out.push_back(WideChar(13)); return true;
    case 't': out.push_back(WideChar(9)); return true;
    case 'u': {
      char32_t unit = 0;
      if (!Hex4(unit)) return false;
      out.push_back(static_cast<WideChar>(unit));
      return true;
    }
    default: return false;
  }
}

bool Reader::String(WideString& out) {
  if (!Take('"')) return false;
  std::string raw;  // plain UTF-8 runs between escapes
  while (at_ < line_.size() && line_[at_] != '"') {
    if (line_[at_] != '\\') {
      raw.push_back(line_[at_++]);
      continue;
    }
    out += Utf8ToUnits(raw);
    raw.clear();
    ++at_;
    if (!Escape(out)) return false;
  }
  if (at_ >= line_.size()) return false;
  ++at_;
  out += Utf8ToUnits(raw);
  return true;
}

// Numbers, true, false and null of members the tool does not read.
bool Reader::SkipScalar() {
  SkipSpace();
  const std::size_t start = at_;
  while (at_ < line_.size() && line_[at_] != ',' && line_[at_] != '}' && line_[at_] != ' ') {
    const char c = line_[at_];
    if (c == '"' || c == '{' || c == '[') return false;
    ++at_;
  }
  return at_ > start;
}

void AppendNumber(std::string& out, long long value) { out += std::to_string(value); }

}  // namespace

bool ParseCaseLine(const std::string& line, CaseLine& parsed, std::string& problem) {
  parsed = CaseLine{};
  Reader reader(line);
  bool hasPattern = false;
  problem = "expected an object";
  if (!reader.Take('{')) return false;
  bool first = true;
  while (!reader.Take('}')) {
    if (!first && !reader.Take(',')) return false;
    first = false;
    WideString key;
    problem = "expected a member";
    if (!reader.String(key) || !reader.Take(':')) return false;
    const bool isPattern = key == WTEXT("pattern");
    const bool isText = key == WTEXT("text");
    problem = "bad value";
    if (isPattern || isText) {
      WideString value;
      if (!reader.String(value)) return false;
      if (isPattern) {
        parsed.pattern = value;
        hasPattern = true;
      } else {
        parsed.text = value;
        parsed.hasText = true;
      }
    } else {
      WideString ignored;
      if (!reader.String(ignored) && !reader.SkipScalar()) return false;
    }
  }
  problem = "trailing characters";
  if (!reader.AtEnd()) return false;
  problem = "no pattern";
  return hasPattern;
}

std::string JsonString(const WideString& units) {
  std::string out = "\"";
  for (const WideChar unit : units) {
    if (unit == '"' || unit == '\\') {
      out.push_back('\\');
      out.push_back(static_cast<char>(unit));
    } else if (unit >= 0x20 && unit < 0x7F) {
      out.push_back(static_cast<char>(unit));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
      out += escaped;
    }
  }
  out.push_back('"');
  return out;
}

std::string ResultLine(const pattern::PatternProgram& program, const bool* found,
                       const std::vector<WideString>& captures) {
  std::string out = "{\"error\": ";
  AppendNumber(out, program.parseError);
  out += ", \"groupCount\": ";
  AppendNumber(out, program.groupCount);
  out += ", \"slotCount\": ";
  AppendNumber(out, program.slotCount);
  out += ", \"program\": [";
  for (std::size_t i = 0; i < program.instructions.size(); ++i) {
    if (i > 0) out += ", ";
    out += JsonString(Utf8ToUnits(pattern::InstructionText(program.instructions.At(i))));
  }
  out += "]";
  if (found != nullptr) {
    out += *found ? ", \"found\": true, \"captures\": [" : ", \"found\": false, \"captures\": [";
    for (std::size_t i = 0; i < captures.size(); ++i) {
      if (i > 0) out += ", ";
      out += JsonString(captures[i]);
    }
    out += "]";
  }
  out += "}";
  return out;
}

}  // namespace pattern_tool
