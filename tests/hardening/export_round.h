// One call of each of the nine exports, every one carrying `tag` in its
// first form field, against servers answering with hardening::EchoFirstField on both
// service ports.
#pragma once

#include <vector>

#include "export_libraries.h"

namespace hardening {

constexpr int kCallsPerRound = 9;

// Returns how many of the nine results were not the caller's own answer.
// `reply` is scratch room of KESTRANE_REPLY_BUFFER_BYTES.
int RunRound(const ExportLibraries& libraries, int tag, std::vector<char>& reply);

}  // namespace hardening
