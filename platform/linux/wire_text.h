// Conversions between the wide text of the API and the bytes on the wire.
// Header text is single-byte: units above 0xFF cannot be sent and become
// '?'; received bytes map one to one, so nothing a server sends is lost.
#pragma once

#include <string>
#include <string_view>

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

std::string ToSingleByte(std::u16string_view text);
std::u16string FromSingleByte(std::string_view bytes);

// Wide text given with a length, where (DWORD)-1 means zero-terminated.
std::u16string_view WideView(LPCWSTR text, DWORD length);

// Zero-terminated wide text, or empty for null.
std::u16string WideOrEmpty(LPCWSTR text);

// A copy allocated so that GlobalFree releases it; null when out of memory.
LPWSTR DuplicateForGlobalFree(std::u16string_view text);

}  // namespace winhttp_linux
