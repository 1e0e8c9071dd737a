#include "transport/call_deadline.h"

#include <algorithm>
#include <limits>

#include "transport/http_client.h"

namespace transport {

std::uint64_t CallDeadlineMs(int connectMs, int sendMs, int receiveMs) {
  if (connectMs <= 0 || sendMs <= 0 || receiveMs <= 0) return 0;
  const std::uint64_t perAttempt = std::uint64_t{static_cast<unsigned>(connectMs)} +
                                   static_cast<unsigned>(sendMs) + static_cast<unsigned>(receiveMs);
  return kMaxAttempts * perAttempt;
}

void CallDeadline::Start(std::uint64_t budgetMs) {
  budgetMs_ = budgetMs;
  endTick_ = GetTickCount64() + budgetMs;
}

bool CallDeadline::Passed() const { return Limited() && GetTickCount64() >= endTick_; }

DWORD CallDeadline::RemainingMs() const {
  const std::uint64_t now = GetTickCount64();
  if (now >= endTick_) return 0;
  return static_cast<DWORD>(std::min<std::uint64_t>(endTick_ - now, std::numeric_limits<DWORD>::max() - 1));
}

std::uint64_t CallDeadline::ElapsedMs() const {
  if (endTick_ == 0) return 0;
  return GetTickCount64() - (endTick_ - budgetMs_);
}

}  // namespace transport
