// Where the exchange meets its deadline: before each wait, on the time-outs
// of a late attempt, and on the wait for the response head.
#include <algorithm>

#include "transport/http_client.h"

namespace transport {
namespace {

int AtMost(int timeoutMs, DWORD remainingMs) {
  return static_cast<int>(std::min<std::uint64_t>(static_cast<unsigned>(timeoutMs), remainingMs));
}

}  // namespace

bool HttpClient::OutOfTime() {
  if (!deadline_.Passed()) return false;
  lastError_ = kErrorTimeout;
  return true;
}

// Only an attempt that starts with less time left than one attempt's
// time-outs needs this, so a normal exchange never makes the call.
void HttpClient::LimitWaitsToBudget(HINTERNET request) {
  if (!deadline_.Limited()) return;
  const DWORD remaining = deadline_.RemainingMs();
  if (remaining >= CallDeadlineMs(connectTimeoutMs_, sendTimeoutMs_, receiveTimeoutMs_) / kMaxAttempts) return;
  WinHttpSetTimeouts(request, resolveTimeoutMs_, AtMost(connectTimeoutMs_, remaining),
                     AtMost(sendTimeoutMs_, remaining), AtMost(receiveTimeoutMs_, remaining));
}

void HttpClient::BoundHeaderWait(HINTERNET request) {
  if (!deadline_.Limited()) return;
  DWORD remaining = deadline_.RemainingMs();
  // The receive time-out bounds each read of the head; this option bounds
  // the whole head. Its result is not used: without it each read is still
  // bounded.
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &remaining, sizeof remaining);
}

}  // namespace transport
