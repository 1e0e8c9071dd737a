// MultiByteToWideChar and WideCharToMultiByte for the code pages the core
// uses: UTF-8, and the ANSI code page, which here is Windows-1252.
#include <climits>
#include <cstring>
#include <string>

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

bool Decode(UINT codePage, DWORD flags, const unsigned char* bytes, std::size_t count,
            std::u16string& out) {
  if (codePage == CP_UTF8) {
    if ((flags & ~kStrictDecoding) != 0) return Fail(kErrorInvalidFlags, false);
    bool sawInvalid = false;
    out = winhttp_linux::DecodeUtf8(bytes, count, sawInvalid);
    if (sawInvalid && (flags & kStrictDecoding) != 0) return Fail(ERROR_NO_UNICODE_TRANSLATION, false);
    return true;
  }
  if (codePage == CP_ACP || codePage == kWindows1252) {
    out = winhttp_linux::DecodeWindows1252(bytes, count);
    return true;
  }
  return Fail(ERROR_INVALID_PARAMETER, false);
}

int CountAsInt(std::size_t count) {
  return count > static_cast<std::size_t>(INT_MAX) ? Fail(ERROR_INSUFFICIENT_BUFFER, 0)
                                                   : static_cast<int>(count);
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest,
                        int destChars) {
  return Guarded(0, [&]() -> int {
    std::size_t count = 0;
    if (!ValidArguments(source, sourceBytes, dest, destChars, count)) return 0;
    std::u16string decoded;
    if (!Decode(codePage, flags, reinterpret_cast<const unsigned char*>(source), count, decoded))
      return 0;
    if (destChars == 0) return CountAsInt(decoded.size());
    if (decoded.size() > static_cast<std::size_t>(destChars)) return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    std::memcpy(dest, decoded.data(), decoded.size() * sizeof(char16_t));
    return static_cast<int>(decoded.size());
  });
}

// A destination too small gets the longest prefix of whole characters and
// the call fails with ERROR_INSUFFICIENT_BUFFER; no byte past destBytes.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars, LPSTR dest,
                        int destBytes, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  return Guarded(0, [&]() -> int {
    if (codePage != CP_UTF8 || defaultChar != nullptr || usedDefaultChar != nullptr)
      return Fail(ERROR_INVALID_PARAMETER, 0);
    if (flags != 0) return Fail(kErrorInvalidFlags, 0);
    std::size_t count = 0;
    if (!ValidArguments(source, sourceChars, dest, destBytes, count)) return 0;
    std::size_t written = 0;
    for (std::size_t at = 0; at < count;) {
      std::size_t consumed = 0;
      std::string encoded = winhttp_linux::EncodeUtf8Character(source + at, count - at, consumed);
      at += consumed;
      if (destBytes != 0) {
        if (written + encoded.size() > static_cast<std::size_t>(destBytes))
          return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
        std::memcpy(dest + written, encoded.data(), encoded.size());
      }
      written += encoded.size();
    }
    return CountAsInt(written);
  });
}
