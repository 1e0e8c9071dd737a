#include "platform/linux/shared_calls.h"

#include <climits>
#include <cstring>

#include "platform/linux/api_guard.h"
#include "platform/linux/unicode_codec.h"

using winhttp_linux::Fail;
using winhttp_linux::Guarded;

namespace {

constexpr DWORD kErrorInvalidFlags = 1004;
constexpr DWORD kStrictDecoding = 0x00000008;  // MB_ERR_INVALID_CHARS
constexpr UINT kWindows1252 = 1252;

std::size_t ZeroTerminatedLength(const char16_t* text) {
  std::size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Checks the source/destination pair shared by both conversions; on success
// `count` holds the source length (a count of -1 takes in the terminator).
template <typename Unit>
bool ValidArguments(const Unit* source, int sourceCount, const void* dest, int destCount,
                    std::size_t& count) {
  if (source == nullptr || sourceCount == 0 || sourceCount < -1 || destCount < 0 ||
      (dest == nullptr && destCount > 0) || dest == source) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (sourceCount != -1) count = static_cast<std::size_t>(sourceCount);
  else if constexpr (sizeof(Unit) == 1) count = std::strlen(source) + 1;
  else count = ZeroTerminatedLength(source) + 1;
  return true;
}

bool IsSingleByte(UINT codePage) { return codePage == CP_ACP || codePage == kWindows1252; }

int CountAsInt(std::size_t count) {
  return count > static_cast<std::size_t>(INT_MAX) ? Fail(ERROR_INSUFFICIENT_BUFFER, 0)
                                                   : static_cast<int>(count);
}

bool SupportedDecoding(UINT codePage, DWORD flags) {
  if (codePage == CP_UTF8) return (flags & ~kStrictDecoding) == 0 || Fail(kErrorInvalidFlags, false);
  return IsSingleByte(codePage) || Fail(ERROR_INVALID_PARAMETER, false);
}

// The units the bytes decode to; 0 (with the reason) for invalid input
// under strict decoding.
int DecodedUnits(UINT codePage, DWORD flags, const unsigned char* bytes, std::size_t count) {
  if (IsSingleByte(codePage)) return CountAsInt(count);  // one unit per byte
  bool sawInvalid = false;
  const std::size_t units = winhttp_linux::Utf8DecodedUnits(bytes, count, sawInvalid);
  if (sawInvalid && (flags & kStrictDecoding) != 0) return Fail(ERROR_NO_UNICODE_TRANSLATION, 0);
  return CountAsInt(units);
}

// One pass straight into the destination. Under strict decoding the text
// is checked first, so that invalid input fails before anything is written.
int DecodeInto(UINT codePage, DWORD flags, const unsigned char* bytes, std::size_t count, LPWSTR dest,
               int destChars) {
  const auto room = static_cast<std::size_t>(destChars);
  if (IsSingleByte(codePage)) {
    if (count > room) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    winhttp_linux::DecodeWindows1252Into(bytes, count, dest);
    return static_cast<int>(count);
  }
  if ((flags & kStrictDecoding) != 0) {
    const int units = DecodedUnits(codePage, flags, bytes, count);
    if (units == 0) return 0;
    if (static_cast<std::size_t>(units) > room) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  }
  std::size_t units = 0;
  bool sawInvalid = false;
  if (!winhttp_linux::DecodeUtf8Into(bytes, count, dest, room, units, sawInvalid))
    return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  return static_cast<int>(units);
}

}  // namespace

namespace winhttp_linux {

// A size query only counts. A destination too small makes the call fail
// with ERROR_INSUFFICIENT_BUFFER; UTF-8 then leaves the longest prefix of
// whole characters in it, the ANSI page and strict decoding nothing.
// Nothing is ever written past the units converted.
int ConvertToWide(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest, int destChars) {
  return Guarded(0, [&]() -> int {
    std::size_t count = 0;
    if (!ValidArguments(source, sourceBytes, dest, destChars, count)) return 0;
    if (!SupportedDecoding(codePage, flags)) return 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    if (destChars == 0) return DecodedUnits(codePage, flags, bytes, count);
    return DecodeInto(codePage, flags, bytes, count, dest, destChars);
  });
}

// A destination too small gets the longest prefix of whole characters and
// the call fails with ERROR_INSUFFICIENT_BUFFER; no byte past destBytes.
int ConvertToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars, LPSTR dest, int destBytes,
                       LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  return Guarded(0, [&]() -> int {
    if (codePage != CP_UTF8 || defaultChar != nullptr || usedDefaultChar != nullptr)
      return Fail(ERROR_INVALID_PARAMETER, 0);
    if (flags != 0) return Fail(kErrorInvalidFlags, 0);
    std::size_t count = 0;
    if (!ValidArguments(source, sourceChars, dest, destBytes, count)) return 0;
    std::size_t written = 0;
    for (std::size_t at = 0; at < count;) {
      std::size_t consumed = 0;
      char encoded[winhttp_linux::kMaxUtf8CharacterBytes];
      const std::size_t length = winhttp_linux::EncodeUtf8Character(source + at, count - at, consumed, encoded);
      at += consumed;
      if (destBytes != 0) {
        if (written + length > static_cast<std::size_t>(destBytes)) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
        std::memcpy(dest + written, encoded, length);
      }
      written += length;
    }
    return CountAsInt(written);
  });
}

}  // namespace winhttp_linux
