// UTF-8 and Windows-1252 to and from UTF-16, with the replacement rules of
// the Windows code-page functions: nothing invalid is ever passed through.
#pragma once

#include <cstddef>
#include <string>

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

constexpr char16_t kReplacement = 0xFFFD;

// Invalid sequences become one U+FFFD per maximal ill-formed subpart.
// `sawInvalid` is set when any replacement was made.
std::u16string DecodeUtf8(const unsigned char* bytes, std::size_t count, bool& sawInvalid);

// Every byte maps to one unit; 0x80-0x9F as in Windows-1252 where assigned.
std::u16string DecodeWindows1252(const unsigned char* bytes, std::size_t count);

// One encoded character per entry, so callers can cut at character bounds.
// Lone surrogates become U+FFFD.
std::string EncodeUtf8Character(const char16_t* units, std::size_t count, std::size_t& consumed);

}  // namespace winhttp_linux
