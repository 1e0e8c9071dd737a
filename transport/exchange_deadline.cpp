// Where the exchange meets its deadline: before each wait, on the time-outs
// of a late attempt, on the wait for the response head and on the proxy
// script lookup. The platform reads a time-out of 0 as "none", so the time
// left is read once and, once it is 0, ends the exchange instead.
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

bool HttpClient::TimeLeft(DWORD& remainingMs) {
  remainingMs = deadline_.RemainingMs();
  if (remainingMs != 0) return true;
  lastError_ = kErrorTimeout;
  return false;
}

std::uint64_t HttpClient::AttemptMs() const {
  return CallDeadlineMs(connectTimeoutMs_, sendTimeoutMs_, receiveTimeoutMs_) / kMaxAttempts;
}

// Only an attempt that starts with less time left than one attempt's
// time-outs needs this, so a normal exchange never makes the call.
bool HttpClient::LimitWaitsToBudget(HINTERNET request) {
  if (!deadline_.Limited()) return true;
  DWORD remaining = 0;
  if (!TimeLeft(remaining)) return false;
  if (remaining >= AttemptMs()) return true;
  WinHttpSetTimeouts(request, resolveTimeoutMs_, AtMost(connectTimeoutMs_, remaining),
                     AtMost(sendTimeoutMs_, remaining), AtMost(receiveTimeoutMs_, remaining));
  return true;
}

// WinHTTP documents the option as the bound on the whole head, where the
// receive time-out bounds each read; Wine 8 applies it to each read of the
// head instead, and without it waits there without limit. At one receive
// time-out, cut to the time left, it serves both: a silent server is given
// up after one receive time-out either way. Wine 8 also reads the TLS
// handshake under it, so it is set before the send as well. Its result is
// not used.
bool HttpClient::BoundHeaderWait(HINTERNET request) {
  if (!deadline_.Limited()) return true;
  DWORD remaining = 0;
  if (!TimeLeft(remaining)) return false;
  DWORD bound = std::min<DWORD>(remaining, static_cast<DWORD>(receiveTimeoutMs_));
  WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &bound, sizeof bound);
  return true;
}

// WinHTTP offers no time-out for the lookup itself (none in its options,
// none on the session that Microsoft documents for it), so one starts only
// while a whole attempt's time-outs are left; one that takes longer meets
// the deadline's check as soon as it returns.
bool HttpClient::MayLookUpScriptProxy() {
  if (!deadline_.Limited()) return true;
  DWORD remaining = 0;
  return TimeLeft(remaining) && remaining >= AttemptMs();
}

}  // namespace transport
