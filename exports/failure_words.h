// A failure code in a few words, for the debug line: WinHTTP's common codes
// and the client's own.
#pragma once

#include <cstdint>

namespace exports {

// Never null; "unknown" for a code not listed.
const char* FailureWords(std::uint32_t code) noexcept;

}  // namespace exports
