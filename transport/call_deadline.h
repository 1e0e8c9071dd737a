// The hard bound on one exchange. Each time-out bounds one platform wait;
// a server that answers a little at a time could keep every wait short and
// the exchange alive for ever. The deadline is what the attempts would take
// if every wait ran to its time-out, and the client starts no further wait
// once it has passed.
#pragma once

#include <cstdint>

#include "platform/seam.h"

namespace transport {

// `lastError` for an exchange ended by its deadline (ERROR_WINHTTP_TIMEOUT).
constexpr std::uint32_t kErrorTimeout = 12002;

// kMaxAttempts x (connect + send + receive); 0 when one of them is 0 or
// less, which the platform takes as "no time-out": then there is no bound.
std::uint64_t CallDeadlineMs(int connectMs, int sendMs, int receiveMs);

class CallDeadline {
 public:
  // Starts the clock (monotonic milliseconds) now.
  void Start(std::uint64_t budgetMs);
  bool Limited() const { return budgetMs_ != 0; }
  bool Passed() const;
  // Milliseconds left: at least 1 while not passed, 0 once passed (never
  // a time-out to hand on: the platform reads 0 as none); meaningful only
  // when Limited().
  DWORD RemainingMs() const;
  // Milliseconds since Start; 0 before it.
  std::uint64_t ElapsedMs() const;

 private:
  std::uint64_t budgetMs_ = 0;
  std::uint64_t endTick_ = 0;
};

}  // namespace transport
