// Used only while the pattern engine has no build of its own: the fixed
// header patterns of the transport, translated to std::wregex, so the
// transport tests can run. Not part of any deliverable.
#include <regex>
#include <string>
#include <vector>

#include "pattern/pattern_search.h"

namespace {

std::wstring Translate(const WideChar* pattern) {
  std::wstring regex;
  for (const WideChar* at = pattern; *at != 0; ++at) {
    if (*at == u'{') {
      regex += L'(';
    } else if (*at == u'}') {
      regex += L')';
    } else if (*at == u'.') {
      regex += L"[^\\n]";
    } else if (*at == u'\\' && at[1] == u'b') {
      regex += L"[ \\t]";
      ++at;
    } else if (*at == u'\\' && at[1] == u'n') {
      regex += L"(?:\\r|\\r?\\n)";
      ++at;
    } else {
      regex += static_cast<wchar_t>(*at);
    }
  }
  return regex;
}

bool SameIgnoringCase(const WideString& a, const WideString& b) {
  auto lower = [](WideChar c) { return (c >= u'A' && c <= u'Z') ? static_cast<WideChar>(c + 32) : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

namespace pattern {

bool FindPatternGroups(const WideChar* pattern, const WideChar* text, std::vector<WideString>& results) {
  results.clear();
  if (pattern == nullptr || text == nullptr || *pattern == 0 || *text == 0) return false;
  std::wregex regex(Translate(pattern), std::regex::icase);
  std::wstring subject;
  for (const WideChar* at = text; *at != 0; ++at) subject += static_cast<wchar_t>(*at);
  for (auto it = std::wsregex_iterator(subject.begin(), subject.end(), regex); it != std::wsregex_iterator(); ++it) {
    std::wstring group = (*it)[1].str();
    WideString candidate(group.begin(), group.end());
    bool seen = false;
    for (const WideString& kept : results) seen = seen || SameIgnoringCase(kept, candidate);
    if (!seen) results.push_back(candidate);
  }
  return true;
}

}  // namespace pattern
