// MultiByteToWideChar and WideCharToMultiByte for UTF-8 and the ANSI code
// page, which the fake takes to be Windows-1252.
#include <cstring>

#include "fake_state.h"

using namespace fake;
using namespace fake::detail;

namespace {

constexpr DWORD kInvalidFlags = 1004;  // ERROR_INVALID_FLAGS
constexpr DWORD kErrInvalidChars = 0x00000008;  // MB_ERR_INVALID_CHARS
constexpr char16_t kReplacement = 0xFFFD;

// Windows-1252 0x80..0x9F; the five unassigned bytes map to themselves.
constexpr char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsAnsi(UINT codePage) { return codePage == CP_ACP || codePage == 1252; }

void AppendCodePoint(std::u16string& out, std::uint32_t cp) {
  if (cp < 0x10000) {
    out.push_back(static_cast<char16_t>(cp));
  } else {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  }
}

// Length of the well-formed UTF-8 sequence at `s`, with its code point; 0
// when the bytes there are not one.
std::size_t Utf8Sequence(const unsigned char* s, std::size_t left, std::uint32_t& cp) {
  unsigned char lead = s[0];
  std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
  if (length == 0 || length > left) return 0;
  cp = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((s[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (s[i] & 0x3Fu);
  }
  static const std::uint32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return length;
}

// False when `strict` and an ill-formed sequence is met.
bool DecodeUtf8(const unsigned char* s, std::size_t count, bool strict, std::u16string& out) {
  for (std::size_t at = 0; at < count;) {
    std::uint32_t cp = 0;
    std::size_t length = Utf8Sequence(s + at, count - at, cp);
    if (length == 0) {
      if (strict) return false;
      out.push_back(kReplacement);
      ++at;
    } else {
      AppendCodePoint(out, cp);
      at += length;
    }
  }
  return true;
}

void Decode1252(const unsigned char* s, std::size_t count, std::u16string& out) {
  for (std::size_t at = 0; at < count; ++at) {
    out.push_back(s[at] >= 0x80 && s[at] <= 0x9F ? k1252High[s[at] - 0x80] : static_cast<char16_t>(s[at]));
  }
}

void EncodeUtf8(const char16_t* s, std::size_t count, std::string& out) {
  for (std::size_t at = 0; at < count; ++at) {
    std::uint32_t cp = s[at];
    if (cp >= 0xD800 && cp <= 0xDBFF && at + 1 < count && s[at + 1] >= 0xDC00 && s[at + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (s[++at] - 0xDC00u);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = kReplacement;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
}

bool Encode1252(const char16_t* s, std::size_t count, char fallback, std::string& out) {
  bool usedDefault = false;
  for (std::size_t at = 0; at < count; ++at) {
    char16_t c = s[at];
    int byte = -1;
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) byte = c;
    for (int high = 0; byte < 0 && high < 32; ++high) {
      if (k1252High[high] == c) byte = 0x80 + high;
    }
    if (byte < 0) {
      usedDefault = true;
      byte = static_cast<unsigned char>(fallback);
    }
    out.push_back(static_cast<char>(byte));
  }
  return usedDefault;
}

// Copies a converted text out the kernel32 way: size query without a
// destination, else it must fit.
template <typename Text, typename Unit>
DWORD CopyConverted(const Text& text, Unit* dest, int destUnits, int& result) {
  if (text.size() > 0x7FFFFFFF) return ERROR_INVALID_PARAMETER;
  result = static_cast<int>(text.size());
  if (destUnits == 0) return 0;
  if (dest == nullptr || static_cast<std::size_t>(destUnits) < text.size()) {
    result = 0;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(dest, text.data(), text.size() * sizeof(Unit));
  return 0;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest, int destChars) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::MultiByteToWideChar;
  record.codePage = codePage;
  record.flags = flags;
  record.value = static_cast<DWORD>(sourceBytes);
  record.succeeded = !ScriptedFailure(state, Call::MultiByteToWideChar, record.error);
  int result = 0;
  if (record.succeeded) {
    if (source == nullptr || sourceBytes == 0 || sourceBytes < -1 || destChars < 0) {
      record.error = ERROR_INVALID_PARAMETER;
    } else if (codePage == CP_UTF8 && (flags & ~kErrInvalidChars) != 0) {
      record.error = kInvalidFlags;
    } else if (codePage != CP_UTF8 && !IsAnsi(codePage)) {
      record.error = ERROR_INVALID_PARAMETER;
    } else {
      std::size_t count = sourceBytes == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceBytes);
      const auto* bytes = reinterpret_cast<const unsigned char*>(source);
      std::u16string wide;
      if (codePage == CP_UTF8) {
        if (!DecodeUtf8(bytes, count, (flags & kErrInvalidChars) != 0, wide)) record.error = ERROR_NO_UNICODE_TRANSLATION;
      } else {
        Decode1252(bytes, count, wide);
      }
      if (record.error == 0) record.error = CopyConverted(wide, dest, destChars, result);
    }
    record.succeeded = record.error == 0;
  }
  record.value = static_cast<DWORD>(result);
  Finish(state, std::move(record));
  return result;
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars, LPSTR dest, int destBytes,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::WideCharToMultiByte;
  record.codePage = codePage;
  record.flags = flags;
  record.succeeded = !ScriptedFailure(state, Call::WideCharToMultiByte, record.error);
  int result = 0;
  if (record.succeeded) {
    if (source == nullptr || sourceChars == 0 || sourceChars < -1 || destBytes < 0) {
      record.error = ERROR_INVALID_PARAMETER;
    } else if (codePage == CP_UTF8 && (flags != 0 || defaultChar != nullptr || usedDefaultChar != nullptr)) {
      record.error = flags != 0 ? kInvalidFlags : ERROR_INVALID_PARAMETER;
    } else if (codePage != CP_UTF8 && !IsAnsi(codePage)) {
      record.error = ERROR_INVALID_PARAMETER;
    } else {
      std::size_t count = sourceChars == -1 ? std::u16string(source).size() + 1 : static_cast<std::size_t>(sourceChars);
      std::string narrow;
      if (codePage == CP_UTF8) {
        EncodeUtf8(source, count, narrow);
      } else {
        bool used = Encode1252(source, count, defaultChar != nullptr ? *defaultChar : '?', narrow);
        if (usedDefaultChar != nullptr) *usedDefaultChar = used ? TRUE : FALSE;
      }
      record.error = CopyConverted(narrow, dest, destBytes, result);
    }
    record.succeeded = record.error == 0;
  }
  record.value = static_cast<DWORD>(result);
  Finish(state, std::move(record));
  return result;
}
