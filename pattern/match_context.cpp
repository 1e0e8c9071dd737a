#include "pattern/match_context.h"

#include "pattern/pattern_failure.h"

namespace pattern {

bool MatchContext::ReserveStack(std::size_t entries) { return stack_.Reserve(entries, 0); }

// The storage grows to 2 * depth + 2 entries when the depth reaches it.
bool MatchContext::GrowStack() {
  const std::size_t depth = depth_ + 1;
  const std::size_t capacity = stack_.capacity();
  const std::size_t wanted = 2 * depth + 2;
  const std::size_t byHalf = capacity + capacity / 2;
  return stack_.Reserve(wanted > byHalf ? wanted : byHalf, depth);
}

}  // namespace pattern
