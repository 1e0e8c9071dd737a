#include "platform/linux/unicode_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace winhttp_linux {
namespace {

struct LeadInfo {
  unsigned char continuations;  // bytes that must follow; 0 for bytes that cannot lead
  unsigned char secondLow;      // range the first continuation must lie in
  unsigned char secondHigh;     // (narrowed to exclude overlongs, surrogates, > U+10FFFF)
  unsigned char initial;        // the lead's payload bits
};

constexpr LeadInfo LeadOf(unsigned lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x80, 0xBF, static_cast<unsigned char>(lead & 0x1F)};
  if (lead == 0xE0) return {2, 0xA0, 0xBF, 0};
  if (lead == 0xED) return {2, 0x80, 0x9F, 0xD};
  if (lead >= 0xE1 && lead <= 0xEF) return {2, 0x80, 0xBF, static_cast<unsigned char>(lead & 0x0F)};
  if (lead == 0xF0) return {3, 0x90, 0xBF, 0};
  if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x80, 0xBF, static_cast<unsigned char>(lead & 0x07)};
  if (lead == 0xF4) return {3, 0x80, 0x8F, 4};
  return {0, 0, 0, 0};
}

struct LeadTable {
  LeadInfo entries[128];  // for 0x80-0xFF
  constexpr LeadTable() : entries() {
    for (unsigned i = 0; i < 128; ++i) entries[i] = LeadOf(0x80 + i);
  }
};
constexpr LeadTable kLeads;

// Windows-1252 at 0x80-0x9F; the five unassigned bytes keep their value.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t Windows1252Unit(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : byte;
}

// Bytes below 0x80 from the front, eight at a time while it can: bodies are
// mostly ASCII, and such runs decode the same in both code pages. A run is
// cut at kAsciiBlock bytes, so that it is widened while still in cache.
constexpr std::size_t kAsciiBlock = 4096;

std::size_t AsciiRunLength(const unsigned char* bytes, std::size_t count) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  count = std::min(count, kAsciiBlock);
  std::size_t run = 0;
  for (; count - run >= sizeof(std::uint64_t); run += sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, bytes + run, sizeof word);
    if ((word & kHighBits) != 0) break;
  }
  while (run < count && bytes[run] < 0x80) ++run;
  return run;
}

bool StartsAsciiWord(const unsigned char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  return (word & 0x8080808080808080u) == 0;
}

// A plain loop, so the compiler widens many bytes per step.
void WidenAscii(const unsigned char* bytes, std::size_t count, char16_t* out) {
  for (std::size_t i = 0; i < count; ++i) out[i] = bytes[i];
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Reads the sequence that starts with the byte at `at` (0x80 or above) and
// moves `at` past it: past the whole sequence when it is well formed (the
// code point is then in `code`), else past its maximal ill-formed subpart.
bool ReadSequence(const unsigned char* bytes, std::size_t count, std::size_t& at, char32_t& code) {
  const LeadInfo& info = kLeads.entries[bytes[at++] - 0x80];
  if (info.continuations == 0) return false;
  code = info.initial;
  for (unsigned i = 0; i < info.continuations; ++i) {
    const unsigned char low = i == 0 ? info.secondLow : 0x80;
    const unsigned char high = i == 0 ? info.secondHigh : 0xBF;
    if (at >= count || bytes[at] < low || bytes[at] > high) return false;
    code = (code << 6) | (bytes[at++] & 0x3Fu);
  }
  return true;
}

// Walks the UTF-8 text once, telling `sink` about ASCII runs, decoded code
// points and invalid subparts; counting and decoding share it. Stops early
// (false) when the sink refuses more. Two-byte sequences, and three-byte
// ones whose lead puts no bound on the second byte, are read inline: they
// are most of the non-ASCII text there is.
template <typename Sink>
bool WalkUtf8(const unsigned char* bytes, std::size_t count, Sink& sink) {
  std::size_t at = 0;
  while (at < count) {
    const unsigned char lead = bytes[at];
    if (lead < 0x80) {
      // A run of eight or more goes in blocks; a short one between
      // multi-byte characters unit by unit, without a run's set-up.
      if (count - at < sizeof(std::uint64_t) || !StartsAsciiWord(bytes + at)) {
        if (!sink.CodePoint(lead)) return false;
        ++at;
        continue;
      }
      const std::size_t run = AsciiRunLength(bytes + at, count - at);
      if (!sink.Ascii(bytes + at, run)) return false;
      at += run;
      continue;
    }
    const std::size_t left = count - at;
    if (lead >= 0xC2 && lead <= 0xDF && left >= 2 && IsContinuation(bytes[at + 1])) {
      if (!sink.CodePoint(static_cast<char32_t>((lead & 0x1Fu) << 6 | (bytes[at + 1] & 0x3Fu)))) return false;
      at += 2;
      continue;
    }
    if (lead >= 0xE1 && lead <= 0xEF && lead != 0xED && left >= 3 && IsContinuation(bytes[at + 1]) &&
        IsContinuation(bytes[at + 2])) {
      if (!sink.CodePoint(static_cast<char32_t>((lead & 0x0Fu) << 12 | (bytes[at + 1] & 0x3Fu) << 6 |
                                                (bytes[at + 2] & 0x3Fu))))
        return false;
      at += 3;
      continue;
    }
    char32_t code = 0;
    const bool complete = ReadSequence(bytes, count, at, code);
    if (!(complete ? sink.CodePoint(code) : sink.Invalid())) return false;
  }
  return true;
}

struct UnitCounter {
  std::size_t units = 0;
  bool sawInvalid = false;
  bool Ascii(const unsigned char*, std::size_t run) {
    units += run;
    return true;
  }
  bool CodePoint(char32_t code) {
    units += code < 0x10000 ? 1 : 2;
    return true;
  }
  bool Invalid() {
    ++units;
    sawInvalid = true;
    return true;
  }
};

// Writes into `out` and refuses whatever would not fit in `room` units.
struct UnitWriter {
  char16_t* out;
  std::size_t room;
  std::size_t units = 0;
  bool sawInvalid = false;
  bool Ascii(const unsigned char* run, std::size_t length) {
    if (length > room - units) return false;
    WidenAscii(run, length, out + units);
    units += length;
    return true;
  }
  bool CodePoint(char32_t code) {
    if (code < 0x10000) return Put(static_cast<char16_t>(code));
    if (room - units < 2) return false;
    code -= 0x10000;
    out[units++] = static_cast<char16_t>(0xD800 + (code >> 10));
    out[units++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    return true;
  }
  bool Invalid() {
    sawInvalid = true;
    return Put(kReplacement);
  }
  bool Put(char16_t unit) {
    if (units == room) return false;
    out[units++] = unit;
    return true;
  }
};

}  // namespace

std::size_t Utf8DecodedUnits(const unsigned char* bytes, std::size_t count, bool& sawInvalid) {
  UnitCounter counter;
  WalkUtf8(bytes, count, counter);
  sawInvalid = counter.sawInvalid;
  return counter.units;
}

bool DecodeUtf8Into(const unsigned char* bytes, std::size_t count, char16_t* out, std::size_t room,
                    std::size_t& units, bool& sawInvalid) {
  UnitWriter writer{out, room};
  const bool fitted = WalkUtf8(bytes, count, writer);
  units = writer.units;
  sawInvalid = writer.sawInvalid;
  return fitted;
}

void DecodeWindows1252Into(const unsigned char* bytes, std::size_t count, char16_t* out) {
  std::size_t at = 0;
  while (at < count) {
    std::size_t run = AsciiRunLength(bytes + at, count - at);
    WidenAscii(bytes + at, run, out + at);
    at += run;
    if (at < count) {
      out[at] = Windows1252Unit(bytes[at]);
      ++at;
    }
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
