// The client's own reasons for refusing what a server sent, reported
// where WinHTTP has no code of its own. Bit 29 marks an application's
// codes, so none can be mistaken for a system error.
#pragma once

#include <cstdint>

namespace transport {

constexpr std::uint32_t kErrorReplyCutShort = 0x20000001;    // the body ended before its framing said
constexpr std::uint32_t kErrorReplyTooLarge = 0x20000002;    // the body exceeds kMaxBodyBytes
constexpr std::uint32_t kErrorInterimResponse = 0x20000003;  // the final status was below 200
constexpr std::uint32_t kErrorIncompleteHead = 0x20000004;   // the head did not end in its blank line
constexpr std::uint32_t kErrorHeadTooLarge = 0x20000005;     // the head exceeds kMaxHeadBytes
constexpr std::uint32_t kErrorOutOfMemory = 0x20000006;      // the reply could not be held or decoded

}  // namespace transport
