// Compiles an arbitrary pattern and runs it over an arbitrary text. The
// input is the pattern's bytes, a zero byte, then the text's bytes; each
// byte is one unit, and a byte 0xFF makes the next byte a unit above the
// basic Latin range. Inputs are kept small so that backtracking, which has
// no step limit, stays fast: nested or stacked loops such as `{{..+}*n}*`
// or `a*a*a*...` take time exponential or high-polynomial in the text
// length, and 64 units, or ten loops over 20 units, stalled runs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "pattern/pattern_failure.h"
#include "pattern/pattern_matcher.h"
#include "pattern/pattern_search.h"
#include "reference_search.h"

namespace {

constexpr std::size_t kMaxPatternUnits = 24;
constexpr std::size_t kMaxTextUnits = 16;
constexpr std::size_t kMaxQuantifiers = 3;

bool FewQuantifiers(const WideString& pattern) {
  std::size_t count = 0;
  for (const WideChar unit : pattern) count += unit == '*' || unit == '+' || unit == '?';
  return count <= kMaxQuantifiers;
}

// Reads units up to a zero byte, the end of the data or `limit` units.
WideString TakeUnits(const std::uint8_t*& data, const std::uint8_t* end, std::size_t limit) {
  WideString units;
  while (data < end && *data != 0 && units.size() < limit) {
    std::uint8_t byte = *data++;
    if (byte == 0xFF && data < end) {
      units.push_back(static_cast<WideChar>(0x100 + *data++ * 0x81));
    } else {
      units.push_back(static_cast<WideChar>(byte));
    }
  }
  if (data < end && *data == 0) ++data;
  return units;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

// The search, with its shortcuts, finds what the plain machine finds;
// told where the text ends, it reads ahead and finds the same again.
void CheckAgainstReference(const pattern::PatternProgram& program, const WideString& pattern, const WideString& text,
                           const std::vector<WideString>& searched) {
  Check(searched == pattern_reference::PlainSearch(program, text));
  std::vector<pattern::CaptureSpan> spans;
  Check(pattern::FindPatternSpans(pattern.c_str(), text.c_str(), spans, pattern::kNoLimit, text.size()));
  Check(spans.size() == searched.size());
  for (std::size_t i = 0; i < spans.size(); ++i) {
    Check(WideString(text.c_str() + spans[i].start, text.c_str() + spans[i].end) == searched[i]);
  }
}

void CheckMatch(const pattern::PatternProgram& program, const WideString& text) {
  pattern::MatchContext context;
  std::size_t end = 0;
  if (!pattern::PatternMatcher::Match(program, text.c_str(), &context, &end)) return;
  Check(context.matchStart() <= text.size() && end == context.matchEnd());
  Check(context.matchEnd() <= text.size() + 1);
  for (std::int32_t i = 0; i < context.groupCount(); ++i) {
    const pattern::GroupSpan& span = context.group(static_cast<std::size_t>(i));
    if (span.IsSet()) Check(span.start <= text.size() + 1 && span.end <= text.size() + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t* end = data + size;
  const WideString patternText = TakeUnits(data, end, kMaxPatternUnits);
  const WideString text = TakeUnits(data, end, kMaxTextUnits);
  if (!FewQuantifiers(patternText)) return 0;
  pattern::PatternProgram program;
  const bool compiled = program.Compile(patternText.c_str()) == pattern::PatternError::Ok;
  try {
    if (compiled) CheckMatch(program, text);
    std::vector<WideString> results;
    const bool searched = pattern::FindPatternGroups(patternText.c_str(), text.c_str(), results);
    Check(searched == (compiled && !patternText.empty() && !text.empty()));
    for (const WideString& capture : results) Check(capture.size() <= text.size());
    if (searched && program.groupCount > 0) CheckAgainstReference(program, patternText, text, results);
  } catch (const pattern::PatternFailure& failure) {
    // Only a pattern without a capture group may raise, and only E_FAIL.
    Check(failure.status() == E_FAIL && program.groupCount == 0);
  }
  return 0;
}
