// What the concurrency and soak runs' servers answer to every form post:
// the value of the post's first field, so that a caller can tell its own
// answer from anyone else's. Served by an AnsweringServer, which keeps
// nothing of what it served, so it can run for hundreds of thousands of
// requests without growing.
#pragma once

#include <string>

#include "answering_server.h"

namespace hardening {

// A 200 reply whose body is the text between the first "=" and the first
// "&" after it (or the end) of the raw request's body.
std::string EchoFirstField(const std::string& request);

}  // namespace hardening
