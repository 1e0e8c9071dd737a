#include "pattern/pattern_search.h"

#include "pattern/match_context.h"
#include "pattern/pattern_failure.h"
#include "pattern/pattern_matcher.h"
#include "pattern/pattern_program.h"
#include "pattern/text_fold.h"

#include <algorithm>
#include <unordered_set>
#include <utility>

namespace pattern {
namespace {

constexpr std::size_t kInitialStackEntries = 256;

// Keeps the collected captures in a set of their places in `results`,
// hashed and compared with ASCII letters folded, so that a header block
// with many cookies is neither compared pairwise nor copied once more.
class CaptureCollector {
 public:
  explicit CaptureCollector(std::vector<WideString>& results)
      : results_(results), seen_(0, FoldedHash{results}, FoldedEqual{results}) {}

  void AddUnlessPresent(const WideChar* first, const WideChar* last) {
    results_.emplace_back(first, last);
    if (!seen_.insert(results_.size() - 1).second) results_.pop_back();
  }

 private:
  struct FoldedHash {
    const std::vector<WideString>& results;
    std::size_t operator()(std::size_t index) const {
      std::size_t hash = 14695981039346656037u;  // FNV-1a
      for (const WideChar unit : results[index]) hash = (hash ^ FoldAscii(unit)) * 1099511628211u;
      return hash;
    }
  };
  struct FoldedEqual {
    const std::vector<WideString>& results;
    bool operator()(std::size_t a, std::size_t b) const {
      const WideString& left = results[a];
      const WideString& right = results[b];
      return left.size() == right.size() &&
             std::equal(left.begin(), left.end(), right.begin(),
                        [](WideChar x, WideChar y) { return FoldAscii(x) == FoldAscii(y); });
    }
  };

  std::vector<WideString>& results_;
  std::unordered_set<std::size_t, FoldedHash, FoldedEqual> seen_;
};

}  // namespace

// The matcher only reads the text, and the caller's text outlives the
// call, so the search runs over it in place.
bool FindPatternGroups(const WideChar* pattern, const WideChar* text, std::vector<WideString>& results,
                       std::size_t limit) {
  results.clear();
  if (pattern == nullptr || text == nullptr || pattern[0] == 0 || text[0] == 0) return false;
  PatternProgram program;
  if (program.Compile(pattern) != PatternError::Ok) return false;

  CaptureCollector collector(results);
  MatchContext context;
  context.ReserveStack(kInitialStackEntries);  // on failure it grows on demand
  // Guards pay off over many matches; learning them costs more than a
  // search for one value, which ends at its first match, can save.
  if (limit > 1) context.KeepForkGuardsFor(&program);
  std::size_t searchStart = 0;
  for (;;) {
    std::size_t matchEnd = kUnsetPosition;
    const WideChar* const from = text + searchStart;
    if (!PatternMatcher::Match(program, from, &context, &matchEnd)) break;
    if (program.groupCount == 0) throw PatternFailure(E_FAIL);
    const GroupSpan& capture = context.group(0);
    if (capture.IsSet() && capture.start <= capture.end) {
      collector.AddUnlessPresent(from + capture.start, from + capture.end);
      if (results.size() >= limit) break;
    }
    // An empty match would be found again in place: go on one unit further.
    const std::size_t advance = matchEnd > context.matchStart() ? matchEnd : context.matchStart() + 1;
    // The match ended on the terminator (`$`), or the rest is empty.
    if (from[advance - 1] == 0 || from[advance] == 0) break;
    searchStart += advance;
  }
  return true;
}

}  // namespace pattern
