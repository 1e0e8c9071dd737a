#include "platform/linux/unicode_codec.h"

namespace winhttp_linux {
namespace {

struct LeadInfo {
  int continuations;         // bytes that must follow
  unsigned char secondLow;   // range the first continuation must lie in
  unsigned char secondHigh;  // (narrowed to exclude overlongs, surrogates, > U+10FFFF)
  char32_t initial;
};

// False for bytes that cannot start a sequence.
bool ReadLead(unsigned char lead, LeadInfo& info) {
  if (lead >= 0xC2 && lead <= 0xDF) info = {1, 0x80, 0xBF, lead & 0x1Fu};
  else if (lead == 0xE0) info = {2, 0xA0, 0xBF, 0};
  else if (lead == 0xED) info = {2, 0x80, 0x9F, 0xD};
  else if (lead >= 0xE1 && lead <= 0xEF) info = {2, 0x80, 0xBF, lead & 0x0Fu};
  else if (lead == 0xF0) info = {3, 0x90, 0xBF, 0};
  else if (lead >= 0xF1 && lead <= 0xF3) info = {3, 0x80, 0xBF, lead & 0x07u};
  else if (lead == 0xF4) info = {3, 0x80, 0x8F, 4};
  else return false;
  return true;
}

void AppendCodePoint(char32_t code, std::u16string& out) {
  if (code < 0x10000) {
    out.push_back(static_cast<char16_t>(code));
    return;
  }
  code -= 0x10000;
  out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
  out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
}

// Windows-1252 at 0x80-0x9F; the five unassigned bytes keep their value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

std::u16string DecodeUtf8(const unsigned char* bytes, std::size_t count, bool& sawInvalid) {
  std::u16string out;
  out.reserve(count);
  sawInvalid = false;
  std::size_t at = 0;
  while (at < count) {
    unsigned char lead = bytes[at++];
    if (lead < 0x80) {
      out.push_back(lead);
      continue;
    }
    LeadInfo info{};
    bool complete = ReadLead(lead, info);
    char32_t code = info.initial;
    for (int i = 0; complete && i < info.continuations; ++i) {
      unsigned char low = i == 0 ? info.secondLow : 0x80;
      unsigned char high = i == 0 ? info.secondHigh : 0xBF;
      if (at >= count || bytes[at] < low || bytes[at] > high) complete = false;
      else code = (code << 6) | (bytes[at++] & 0x3Fu);
    }
    if (complete) {
      AppendCodePoint(code, out);
    } else {
      out.push_back(kReplacement);
      sawInvalid = true;
    }
  }
  return out;
}

std::u16string DecodeWindows1252(const unsigned char* bytes, std::size_t count) {
  std::u16string out(count, u'\0');
  for (std::size_t i = 0; i < count; ++i)
    out[i] = bytes[i] >= 0x80 && bytes[i] < 0xA0 ? kHighControls[bytes[i] - 0x80] : bytes[i];
  return out;
}

std::string EncodeUtf8Character(const char16_t* units, std::size_t count, std::size_t& consumed) {
  char32_t code = units[0];
  consumed = 1;
  if (code >= 0xD800 && code <= 0xDBFF && count > 1 && units[1] >= 0xDC00 && units[1] <= 0xDFFF) {
    code = 0x10000 + ((code - 0xD800) << 10) + (units[1] - 0xDC00u);
    consumed = 2;
  } else if (code >= 0xD800 && code <= 0xDFFF) {
    code = kReplacement;
  }
  std::string out;
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
  return out;
}

}  // namespace winhttp_linux
