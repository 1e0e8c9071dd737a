// Time-outs of a session, copied into its connections and requests.
#pragma once

#include <chrono>

namespace winhttp_linux {

// Each bounds one wait, as in WinHTTP; 0 (or -1) is none.
struct Timeouts {
  int resolveMs = 0;
  int connectMs = 60000;
  int sendMs = 30000;
  int receiveMs = 30000;
  // The whole response head, however many reads it takes (the request
  // option WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT), checked as data
  // comes in; 0: no bound beyond each read's.
  int receiveResponseMs = 0;
};

// A time-out as a poll() argument: 0 and -1 mean "wait without limit".
inline int PollTimeout(int ms) { return ms <= 0 ? -1 : ms; }

// One bound over several waits together.
class WaitBudget {
 public:
  using Clock = std::chrono::steady_clock;
  // 0 or less: no bound.
  explicit WaitBudget(int totalMs)
      : limited_(totalMs > 0), end_(Clock::now() + std::chrono::milliseconds(limited_ ? totalMs : 0)) {}
  // What is left as a poll() argument, rounded up so that no wait ends
  // early: -1 without a bound, 0 once spent.
  int LeftMs() const {
    if (!limited_) return -1;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
  }
  bool Spent() const { return LeftMs() == 0; }

 private:
  bool limited_;
  Clock::time_point end_;
};

}  // namespace winhttp_linux
