#include "text_codec.h"

namespace pattern_tool {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendUnits(WideString& out, char32_t code) {
  if (code < 0x10000) {
    out.push_back(static_cast<WideChar>(code));
    return;
  }
  code -= 0x10000;
  out.push_back(static_cast<WideChar>(0xD800 + (code >> 10)));
  out.push_back(static_cast<WideChar>(0xDC00 + (code & 0x3FF)));
}

// Length of the sequence a lead byte starts, 0 for a byte that starts none.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead < 0xE0) return 2;
  if (lead >= 0xE0 && lead < 0xF0) return 3;
  if (lead >= 0xF0 && lead < 0xF5) return 4;
  return 0;
}

}  // namespace

void AppendUtf8(std::string& out, char32_t code) {
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
}

WideString Utf8ToUnits(const std::string& bytes) {
  WideString out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t length = SequenceLength(lead);
    if (length == 0 || i + length > bytes.size()) {
      out.push_back(static_cast<WideChar>(kReplacement));
      ++i;
      continue;
    }
    char32_t code = length == 1 ? lead : static_cast<char32_t>(lead & (0x7F >> length));
    bool valid = true;
    for (std::size_t k = 1; k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(bytes[i + k]);
      valid = valid && (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3F);
    }
    const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && code >= smallest[length] && code < 0x110000 && !(code >= 0xD800 && code < 0xE000);
    AppendUnits(out, valid ? code : kReplacement);
    i += valid ? length : 1;
  }
  return out;
}

std::string UnitsToUtf8(const WideString& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    const char32_t unit = units[i];
    const bool high = unit >= 0xD800 && unit < 0xDC00;
    const bool low = unit >= 0xDC00 && unit < 0xE000;
    if (high && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (units[i + 1] - 0xDC00));
      ++i;
    } else {
      AppendUtf8(out, high || low ? kReplacement : unit);
    }
  }
  return out;
}

}  // namespace pattern_tool
