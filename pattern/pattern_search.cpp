#include "pattern/pattern_search.h"

#include "pattern/match_context.h"
#include "pattern/pattern_failure.h"
#include "pattern/pattern_matcher.h"
#include "pattern/pattern_program.h"
#include "pattern/text_fold.h"

#include <cstring>
#include <unordered_set>
#include <utility>

namespace pattern {
namespace {

constexpr std::size_t kInitialStackEntries = 256;

std::size_t LengthOf(const WideChar* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Remembers the folded form of every collected capture, so that a header
// block with many cookies is not compared pairwise.
class CaptureCollector {
 public:
  explicit CaptureCollector(std::vector<WideString>& results) : results_(results) {}

  void AddUnlessPresent(const WideChar* first, const WideChar* last) {
    WideString folded(first, last);
    for (WideChar& unit : folded) unit = FoldAscii(unit);
    if (seen_.insert(std::move(folded)).second) results_.emplace_back(first, last);
  }

 private:
  std::vector<WideString>& results_;
  std::unordered_set<WideString> seen_;
};

}  // namespace

bool FindPatternGroups(const WideChar* pattern, const WideChar* text, std::vector<WideString>& results) {
  results.clear();
  if (pattern == nullptr || text == nullptr || pattern[0] == 0 || text[0] == 0) return false;
  PatternProgram program;
  if (program.Compile(pattern) != PatternError::Ok) return false;

  const std::size_t length = LengthOf(text);
  OwnedArray<WideChar> copy;
  if (!copy.Reserve(length + 1, 0)) throw PatternFailure(E_OUTOFMEMORY);
  std::memcpy(copy.data(), text, (length + 1) * sizeof(WideChar));

  CaptureCollector collector(results);
  MatchContext context;
  context.ReserveStack(kInitialStackEntries);  // on failure it grows on demand
  context.KeepForkGuardsFor(&program);           // the program stays as it is
  std::size_t searchStart = 0;
  for (;;) {
    std::size_t matchEnd = kUnsetPosition;
    if (!PatternMatcher::Match(program, copy.data() + searchStart, &context, &matchEnd)) break;
    if (program.groupCount == 0) throw PatternFailure(E_FAIL);
    const GroupSpan& capture = context.group(0);
    if (capture.IsSet() && capture.start <= capture.end) {
      collector.AddUnlessPresent(copy.data() + searchStart + capture.start,
                                 copy.data() + searchStart + capture.end);
    }
    // An empty match would be found again in place: go on one unit further.
    const std::size_t advance = matchEnd > context.matchStart() ? matchEnd : context.matchStart() + 1;
    searchStart += advance;
    if (searchStart >= length) break;
  }
  return true;
}

}  // namespace pattern
