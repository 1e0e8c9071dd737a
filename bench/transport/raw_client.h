// The floor: the least a client can do for one exchange over a fresh
// connection. Sends prepared request bytes in one write, reads the reply
// until the server closes, and checks only that a status line came back.
#pragma once

#include <string>

namespace bench {

// One exchange with 127.0.0.1:`port`; the reply lands in `response`.
// Every wait is bounded (5 s). False when no HTTP reply came back.
bool RawExchange(int port, const std::string& request, std::string& response);

}  // namespace bench
