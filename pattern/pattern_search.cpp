#include "pattern/pattern_search.h"

#include "pattern/match_context.h"
#include "pattern/match_shortcuts.h"
#include "pattern/pattern_failure.h"
#include "pattern/pattern_matcher.h"
#include "pattern/pattern_program.h"
#include "pattern/text_fold.h"
#include "platform/unit_words.h"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace pattern {
namespace {

constexpr std::size_t kInitialStackEntries = 256;

// Off (-DKT_PATTERN_SHORTCUTS=OFF), the search runs the plain machine alone.
#ifndef KT_PATTERN_SHORTCUTS
#define KT_PATTERN_SHORTCUTS 1
#endif
constexpr bool kShortcuts = KT_PATTERN_SHORTCUTS != 0;

// A hash under which captures that differ only in the case of ASCII
// letters agree: every unit is folded loosely before mixing, which merges
// each letter's two cases (and some other pairs, which the comparison then
// tells apart). Eight units go in per step, four into
// each of two products; the end brings their high bits down.
std::size_t FoldedHash(const WideChar* first, const WideChar* last) {
  constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15u;
  const std::size_t length = static_cast<std::size_t>(last - first);
  std::uint64_t hash = length;
  std::uint64_t other = 0;
  for (; last - first >= 8; first += 8) {
    hash = (hash ^ (unit_words::Load(first) | kAsciiCaseBits)) * kMultiplier;
    other = (other ^ (unit_words::Load(first + 4) | kAsciiCaseBits)) * kMultiplier;
  }
  if (last - first >= 4) {
    hash = (hash ^ (unit_words::Load(first) | kAsciiCaseBits)) * kMultiplier;
    first += 4;
  }
  if (first != last && length >= 4) {
    // The rest as the text's last four units, some of them in already:
    // equal texts still hash equal.
    hash = (hash ^ (unit_words::Load(last - 4) | kAsciiCaseBits)) * kMultiplier;
    first = last;
  }
  for (; first != last; ++first) hash = (hash ^ FoldLoosely(*first)) * kMultiplier;
  hash ^= (other << 32 | other >> 32);
  hash ^= hash >> 29;
  hash *= kMultiplier;
  return static_cast<std::size_t>(hash ^ (hash >> 32));
}

// Keeps the collected captures in an open-addressed table of their places
// in `spans`, compared with ASCII letters folded: a header block with many
// cookies is neither compared pairwise nor given a heap node per value.
// The table lives in one block, doubled when half full; each entry keeps
// its hash, so doubling reads no text.
class CaptureCollector {
 public:
  CaptureCollector(const WideChar* text, std::vector<CaptureSpan>& spans) : text_(text), spans_(spans) {}

  void AddUnlessPresent(CaptureSpan span) {
    if (2 * (spans_.size() + 1) > slots_.size()) Grow();
    const std::size_t hash = FoldedHash(text_ + span.start, text_ + span.end);
    for (std::size_t at = hash & Mask();; at = (at + 1) & Mask()) {
      Slot& slot = slots_[at];
      if (slot.index == kEmpty) {
        slot = Slot{spans_.size(), hash};
        spans_.push_back(span);
        return;
      }
      if (slot.hash == hash && Equal(spans_[slot.index], span)) return;
    }
  }

 private:
  struct Slot {
    std::size_t index;
    std::size_t hash;
  };
  static constexpr std::size_t kEmpty = SIZE_MAX;
  static constexpr std::size_t kFirstSlots = 16;

  std::size_t Mask() const { return slots_.size() - 1; }

  bool Equal(CaptureSpan a, CaptureSpan b) const {
    return a.end - a.start == b.end - b.start &&
           std::equal(text_ + a.start, text_ + a.end, text_ + b.start,
                      [](WideChar x, WideChar y) { return FoldAscii(x) == FoldAscii(y); });
  }

  void Grow() {
    std::vector<Slot> old(std::max(kFirstSlots, 2 * slots_.size()), Slot{kEmpty, 0});
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.index == kEmpty) continue;
      std::size_t at = slot.hash & Mask();
      while (slots_[at].index != kEmpty) at = (at + 1) & Mask();
      slots_[at] = slot;
    }
  }

  const WideChar* text_;
  std::vector<CaptureSpan>& spans_;
  std::vector<Slot> slots_;
};

}  // namespace

// The matcher only reads the text, and the caller's text outlives the
// call, so the search runs over it in place, one machine set up once
// matching from each search start.
bool FindPatternSpans(const WideChar* pattern, const WideChar* text, std::vector<CaptureSpan>& spans,
                      std::size_t limit, std::size_t length) {
  spans.clear();
  if (pattern == nullptr || text == nullptr || pattern[0] == 0 || text[0] == 0) return false;
  PatternProgram program;
  if (program.Compile(pattern) != PatternError::Ok) return false;

  CaptureCollector collector(text, spans);
  MatchContext context;
  context.ReserveStack(kInitialStackEntries);  // on failure it grows on demand
  // Guards cost more to learn than a search for one value, which ends at
  // its first match, can save.
  std::optional<MatchShortcuts> shortcuts;
  if (kShortcuts && limit > 1) shortcuts.emplace(program, text, length);
  PatternMatcher machine(program, text, context, shortcuts ? &*shortcuts : nullptr);
  std::size_t searchStart = 0;
  for (;;) {
    std::size_t matchEnd = kUnsetPosition;
    if (!machine.MatchFrom(searchStart, &matchEnd)) break;
    if (program.groupCount == 0) throw PatternFailure(E_FAIL);
    const GroupSpan& capture = context.group(0);
    if (capture.IsSet() && capture.start <= capture.end) {
      collector.AddUnlessPresent({capture.start, capture.end});
      if (spans.size() >= limit) break;
    }
    // An empty match would be found again in place: go on one unit further.
    const std::size_t next = matchEnd > context.matchStart() ? matchEnd : context.matchStart() + 1;
    // The match ended on the terminator (`$`), or the rest is empty.
    if (text[next - 1] == 0 || text[next] == 0) break;
    searchStart = next;
  }
  return true;
}

bool FindPatternGroups(const WideChar* pattern, const WideChar* text, std::vector<WideString>& results,
                       std::size_t limit) {
  results.clear();
  std::vector<CaptureSpan> spans;
  if (!FindPatternSpans(pattern, text, spans, limit)) return false;
  results.reserve(spans.size());
  for (const CaptureSpan& span : spans) results.emplace_back(text + span.start, text + span.end);
  return true;
}

}  // namespace pattern
