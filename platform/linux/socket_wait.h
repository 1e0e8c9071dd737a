// Waiting for a non-blocking socket, shared by the plain and TLS streams.
#pragma once

namespace winhttp_linux {

// poll() for `events` on fd: >0 ready, 0 timed out, <0 failed. Signals
// restart the wait without extending it; timeoutMs -1 waits without limit.
int WaitForSocket(int fd, short events, int timeoutMs);

}  // namespace winhttp_linux
