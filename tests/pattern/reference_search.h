// The search done the slow way, as the reference for the search with its
// shortcuts: the plain machine alone (PatternMatcher::Match never takes a
// shortcut), a fresh one per match, every capture of group 0 collected,
// then kept once ignoring ASCII case. Shared by the guard test and the
// pattern fuzzer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

#include "pattern/match_context.h"
#include "pattern/pattern_matcher.h"
#include "pattern/pattern_program.h"
#include "pattern/text_fold.h"

namespace pattern_reference {

inline bool SameIgnoringCase(const WideString& a, const WideString& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](WideChar x, WideChar y) {
           return pattern::FoldAscii(x) == pattern::FoldAscii(y);
         });
}

// For a compiled program with at least one group.
inline std::vector<WideString> PlainSearch(const pattern::PatternProgram& program, const WideString& text) {
  std::vector<WideString> found;
  std::size_t start = 0;
  while (start < text.size()) {
    pattern::MatchContext context;
    std::size_t end = 0;
    if (!pattern::PatternMatcher::Match(program, text.c_str() + start, &context, &end)) break;
    const pattern::GroupSpan& group = context.group(0);
    if (group.IsSet()) {
      WideString value(text.c_str() + start + group.start, text.c_str() + start + group.end);
      const bool seen = std::any_of(found.begin(), found.end(),
                                    [&](const WideString& kept) { return SameIgnoringCase(kept, value); });
      if (!seen) found.push_back(std::move(value));
    }
    start += end > context.matchStart() ? end : context.matchStart() + 1;
  }
  return found;
}

}  // namespace pattern_reference
