// Time-outs of a session, copied into its connections and requests.
#pragma once

namespace winhttp_linux {

struct Timeouts {
  int resolveMs = 0;  // 0: none
  int connectMs = 60000;
  int sendMs = 30000;
  int receiveMs = 30000;
};

// A time-out as a poll() argument: 0 and -1 mean "wait without limit".
inline int PollTimeout(int ms) { return ms <= 0 ? -1 : ms; }

}  // namespace winhttp_linux
