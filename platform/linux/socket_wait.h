// Waiting for a non-blocking socket, shared by the plain and TLS streams.
#pragma once

namespace winhttp_linux {

// poll() for `events` on fd: >0 ready, 0 timed out, <0 failed. Signals
// restart the wait without extending it; timeoutMs -1 waits without limit.
// `revents`, when given, receives what poll() reported.
int WaitForSocket(int fd, short events, int timeoutMs, short* revents = nullptr);

}  // namespace winhttp_linux
