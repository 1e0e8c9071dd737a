#include "platform/linux/proxy_rules.h"

#include <cctype>
#include <cstdlib>
#include <vector>

namespace winhttp_linux {
namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::vector<std::string_view> SplitAny(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find_first_of(separators, from);
    if (end == std::string_view::npos) end = text.size();
    if (end > from) parts.push_back(text.substr(from, end - from));
    from = end + 1;
  }
  return parts;
}

std::string_view WithoutPrefix(std::string_view text, std::string_view prefix) {
  if (text.size() >= prefix.size() && Lower(text.substr(0, prefix.size())) == prefix)
    text.remove_prefix(prefix.size());
  return text;
}

// Glob with '*' only, both sides already in lower case.
bool GlobMatches(std::string_view pattern, std::string_view text) {
  std::size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (p < pattern.size() && pattern[p] == text[t]) {
      ++p;
      ++t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool EntryMatches(std::string_view entry, const std::string& host) {
  std::string rule = Lower(WithoutPrefix(entry, "http://"));
  if (rule == "<local>") return host.find('.') == std::string::npos;
  if (rule.front() == '.') return host.size() > rule.size() && host.compare(host.size() - rule.size(), rule.size(), rule) == 0;
  return GlobMatches(rule, host);
}

}  // namespace

bool ParseProxyServer(std::string_view list, std::string& host, unsigned short& port) {
  std::string_view chosen;
  for (std::string_view entry : SplitAny(list, "; ")) {
    std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) {
      if (chosen.empty()) chosen = entry;
    } else if (Lower(entry.substr(0, equals)) == "http") {
      chosen = entry.substr(equals + 1);
      break;
    }
  }
  chosen = WithoutPrefix(chosen, "http://");
  chosen = chosen.substr(0, chosen.find('/'));
  std::size_t colon = chosen.rfind(':');
  port = 80;
  if (colon != std::string_view::npos && chosen.find(']', colon) == std::string_view::npos) {
    unsigned long number = std::strtoul(std::string(chosen.substr(colon + 1)).c_str(), nullptr, 10);
    if (number == 0 || number > 65535) return false;
    port = static_cast<unsigned short>(number);
    chosen = chosen.substr(0, colon);
  }
  host = std::string(chosen);
  return !host.empty();
}

bool IsBypassed(const std::string& host, std::string_view bypass) {
  std::string lowerHost = Lower(host);
  for (std::string_view entry : SplitAny(bypass, "; ,\t"))
    if (EntryMatches(entry, lowerHost)) return true;
  return false;
}

std::string ProxyFromEnvironmentValue(std::string_view value) {
  std::string_view rest = WithoutPrefix(value, "http://");
  rest = rest.substr(0, rest.find('/'));
  std::size_t at = rest.rfind('@');
  if (at != std::string_view::npos) rest.remove_prefix(at + 1);
  return std::string(rest);
}

std::string BypassFromEnvironmentValue(std::string_view value) {
  std::string list;
  for (std::string_view entry : SplitAny(value, ", \t;")) {
    if (!list.empty()) list += ';';
    list += entry;
  }
  return list;
}

}  // namespace winhttp_linux
