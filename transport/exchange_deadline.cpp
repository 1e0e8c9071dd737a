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

// WinHTTP documents the option as the bound on the whole head, where the
// receive time-out bounds each read; Wine 8 applies it to each read of the
// head instead, and without it waits there without limit. At one receive
// time-out, cut to the time left, it serves both: a silent server is given
// up after one receive time-out either way. Its result is not used.
void HttpClient::BoundHeaderWait(HINTERNET request) {
  if (!deadline_.Limited()) return;
  DWORD bound = std::min<DWORD>(deadline_.RemainingMs(), static_cast<DWORD>(receiveTimeoutMs_));
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &bound, sizeof bound);
}

}  // namespace transport
