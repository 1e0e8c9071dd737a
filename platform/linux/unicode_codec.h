// UTF-8 and Windows-1252 to and from UTF-16, with the replacement rules of
// the Windows code-page functions: nothing invalid is ever passed through.
// Decoding either counts or writes straight into the caller's buffer, so a
// large body is never held twice.
#pragma once

#include <cstddef>

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

constexpr char16_t kReplacement = 0xFFFD;

// The UTF-16 units `bytes` decode to. Invalid sequences become one U+FFFD
// per maximal ill-formed subpart; `sawInvalid` tells whether any did.
// Never more than `count`.
std::size_t Utf8DecodedUnits(const unsigned char* bytes, std::size_t count, bool& sawInvalid);

// Decodes into `out`, which has room for `room` units; `units` tells how
// many were written and `sawInvalid` as above. False when the text does not
// fit: `out` then holds its longest prefix of whole characters, and nothing
// past that prefix is written.
bool DecodeUtf8Into(const unsigned char* bytes, std::size_t count, char16_t* out, std::size_t room,
                    std::size_t& units, bool& sawInvalid);

// One unit per byte into `out` (room for `count`); 0x80-0x9F as in
// Windows-1252 where assigned.
void DecodeWindows1252Into(const unsigned char* bytes, std::size_t count, char16_t* out);

constexpr std::size_t kMaxUtf8CharacterBytes = 4;

// Encodes the character at `units` into `out` and returns its byte count;
// `consumed` tells how many units it took (1, or 2 for a surrogate pair),
// so callers can cut at character bounds. Lone surrogates become U+FFFD.
std::size_t EncodeUtf8Character(const char16_t* units, std::size_t count, std::size_t& consumed,
                                char (&out)[kMaxUtf8CharacterBytes]);

}  // namespace winhttp_linux
