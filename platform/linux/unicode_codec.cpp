#include "platform/linux/unicode_codec.h"

namespace winhttp_linux {
namespace {

// What a byte of 0x80 or above asks of the bytes after it. The range of
// the first continuation is narrowed so that overlong forms (E0, F0),
// surrogates (ED) and code points past U+10FFFF (F4) are ill formed.
struct LeadInfo {
  unsigned continuations;  // bytes that must follow; 0 for a byte that cannot lead
  unsigned secondLow;
  unsigned secondHigh;
  char32_t payload;  // the lead's own bits of the code point
};

LeadInfo LeadOf(unsigned lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x80, 0xBF, lead & 0x1F};
  if (lead == 0xE0) return {2, 0xA0, 0xBF, 0};
  if (lead == 0xED) return {2, 0x80, 0x9F, 0xD};
  if (lead >= 0xE1 && lead <= 0xEF) return {2, 0x80, 0xBF, lead & 0x0F};
  if (lead == 0xF0) return {3, 0x90, 0xBF, 0};
  if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x80, 0xBF, lead & 0x07};
  if (lead == 0xF4) return {3, 0x80, 0x8F, 4};
  return {0, 0, 0, 0};  // 80-C1 and F5-FF
}

// Reads the character that starts at `at` and moves `at` past it. True
// with its code point in `code` when it is well formed; otherwise `at`
// moves past its maximal ill-formed subpart (the lead and the
// continuations that fitted), which becomes one U+FFFD.
bool ReadCharacter(const unsigned char* bytes, std::size_t count, std::size_t& at, char32_t& code) {
  const unsigned lead = bytes[at++];
  if (lead < 0x80) {
    code = lead;
    return true;
  }
  const LeadInfo info = LeadOf(lead);
  if (info.continuations == 0) return false;
  code = info.payload;
  for (unsigned i = 0; i < info.continuations; ++i) {
    const unsigned low = i == 0 ? info.secondLow : 0x80;
    const unsigned high = i == 0 ? info.secondHigh : 0xBF;
    if (at >= count || bytes[at] < low || bytes[at] > high) return false;
    code = (code << 6) | (bytes[at++] & 0x3Fu);
  }
  return true;
}

// Windows-1252 at 0x80-0x9F; the five unassigned bytes keep their value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::size_t Utf8DecodedUnits(const unsigned char* bytes, std::size_t count, bool& sawInvalid) {
  std::size_t units = 0;
  sawInvalid = false;
  for (std::size_t at = 0; at < count;) {
    char32_t code = 0;
    if (ReadCharacter(bytes, count, at, code)) {
      units += code < 0x10000 ? 1 : 2;
    } else {
      ++units;
      sawInvalid = true;
    }
  }
  return units;
}

bool DecodeUtf8Into(const unsigned char* bytes, std::size_t count, char16_t* out, std::size_t room,
                    std::size_t& units, bool& sawInvalid) {
  units = 0;
  sawInvalid = false;
  for (std::size_t at = 0; at < count;) {
    char32_t code = 0;
    if (!ReadCharacter(bytes, count, at, code)) {
      sawInvalid = true;
      code = kReplacement;
    }
    if (code < 0x10000) {
      if (units == room) return false;
      out[units++] = static_cast<char16_t>(code);
    } else {
      if (room - units < 2) return false;
      code -= 0x10000;
      out[units++] = static_cast<char16_t>(0xD800 + (code >> 10));
      out[units++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    }
  }
  return true;
}

void DecodeWindows1252Into(const unsigned char* bytes, std::size_t count, char16_t* out) {
  for (std::size_t i = 0; i < count; ++i) {
    out[i] = bytes[i] >= 0x80 && bytes[i] < 0xA0 ? kHighControls[bytes[i] - 0x80] : bytes[i];
  }
}

std::size_t EncodeUtf8Character(const char16_t* units, std::size_t count, std::size_t& consumed,
                                char (&out)[kMaxUtf8CharacterBytes]) {
  char32_t code = units[0];
  consumed = 1;
  if (code >= 0xD800 && code <= 0xDBFF && count > 1 && units[1] >= 0xDC00 && units[1] <= 0xDFFF) {
    code = 0x10000 + ((code - 0xD800) << 10) + (units[1] - 0xDC00u);
    consumed = 2;
  } else if (code >= 0xD800 && code <= 0xDFFF) {
    code = kReplacement;
  }
  if (code < 0x80) {
    out[0] = static_cast<char>(code);
    return 1;
  }
  if (code < 0x800) {
    out[0] = static_cast<char>(0xC0 | (code >> 6));
    out[1] = static_cast<char>(0x80 | (code & 0x3F));
    return 2;
  }
  if (code < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (code >> 12));
    out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (code & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (code >> 18));
  out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (code & 0x3F));
  return 4;
}

}  // namespace winhttp_linux
