#include "platform/linux/unicode_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/linux/utf8_validation.h"
#include "platform/linux/utf8_wide_steps.h"

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

// Bytes below 0x80 from the front, sixteen at a time while it can: bodies are
// mostly ASCII. A run is cut at kAsciiBlock bytes, so that it is widened
// while still in cache.
constexpr std::size_t kAsciiBlock = 4096;

std::size_t AsciiRunLength(const unsigned char* bytes, std::size_t count) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  count = std::min(count, kAsciiBlock);
  std::size_t run = 0;
  for (; count - run >= 2 * sizeof(std::uint64_t); run += 2 * sizeof(std::uint64_t)) {
    std::uint64_t words[2];
    std::memcpy(words, bytes + run, sizeof words);
    if (((words[0] | words[1]) & kHighBits) != 0) break;
  }
  for (; count - run >= sizeof(std::uint64_t); run += sizeof(std::uint64_t)) {
    std::uint64_t word;
    std::memcpy(&word, bytes + run, sizeof word);
    if ((word & kHighBits) != 0) break;
  }
  while (run < count && bytes[run] < 0x80) ++run;
  return run;
}

// A plain loop, so the compiler widens many bytes per step.
void WidenAscii(const unsigned char* bytes, std::size_t count, char16_t* out) {
  for (std::size_t i = 0; i < count; ++i) out[i] = bytes[i];
}

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

// The exact rules, one character at a time, from `at` to the first
// character boundary at or past `limit`. False when the sink refuses more.
template <typename Sink>
bool WalkUtf8(const unsigned char* bytes, std::size_t count, std::size_t& at, std::size_t limit, Sink& sink) {
  while (at < limit) {
    if (bytes[at] < 0x80) {
      if (!sink.CodePoint(bytes[at++])) return false;
      continue;
    }
    char32_t code = 0;
    const bool complete = ReadSequence(bytes, count, at, code);
    if (!(complete ? sink.CodePoint(code) : sink.Invalid())) return false;
  }
  return true;
}

// Bytes walked one by one after a run that failed the block checks,
// before the blocks are tried again.
constexpr std::size_t kWalkedStretch = 32;

bool IsContinuation(unsigned byte) { return (byte & 0xC0) == 0x80; }

struct UnitCounter {
  std::size_t units = 0;
  bool sawInvalid = false;
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

// The bytes below 0x80 at the front of the eight at `bytes`: 1 to 8.
std::size_t LeadingAscii(const unsigned char* bytes) {
  static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the first byte is the word's lowest");
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  const std::uint64_t high = word & 0x8080808080808080u;
  return high == 0 ? 8 : static_cast<std::size_t>(__builtin_ctzll(high)) / 8;
}

using EightBytes = unsigned char __attribute__((vector_size(8)));
using EightUnits = std::uint16_t __attribute__((vector_size(16)));

void WidenEight(const unsigned char* bytes, char16_t* out) {
  EightBytes narrow;
  std::memcpy(&narrow, bytes, sizeof narrow);
  const EightUnits wide = __builtin_convertvector(narrow, EightUnits);
  std::memcpy(out, &wide, sizeof wide);
}

// Whether the sixteen bytes at `bytes` are all below 0x80.
bool StartsAsciiBlock(const unsigned char* bytes) {
  std::uint64_t words[2];
  std::memcpy(words, bytes, sizeof words);
  return ((words[0] | words[1]) & 0x8080808080808080u) == 0;
}

// Widens the ASCII run at the front of `bytes` (at most `limit` bytes, and
// at most kAsciiBlock); returns its length.
std::size_t WidenAsciiRun(const unsigned char* bytes, std::size_t limit, char16_t* out) {
  const std::size_t run = AsciiRunLength(bytes, limit);
  WidenAscii(bytes, run, out);
  return run;
}

// The second bytes a lead allows, as bits: for three-byte leads by their
// low four bits, bit 4 standing for 0x80-0x9F and bit 5 for 0xA0-0xBF (E0
// refuses overlong forms, ED surrogates); for four-byte leads, bits 8 to
// 11 for 0x80-0x8F to 0xB0-0xBF (F0 refuses overlong forms, F4 anything
// beyond U+10FFFF, F5-FF lead nothing).
constexpr std::uint8_t kThreeByteSeconds[16] = {0x20, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30, 0x30,
                                                0x30, 0x30, 0x30, 0x30, 0x30, 0x10, 0x30, 0x30};
constexpr std::uint16_t kFourByteSeconds[16] = {0xE00, 0xF00, 0xF00, 0xF00, 0x100};

// An ASCII step widens eight bytes, also those past its run; the units so
// written past the run must all be written over by what follows. Text
// decodes to at least a unit per three bytes (an ill-formed subpart is at
// most three bytes long), hence the bytes kept ahead; and when the room
// runs out, the exact walk stops at most one unit short of it (a pair
// that does not fit), hence the room kept ahead.
constexpr std::size_t kBytesAhead = 8 + 3 * 7;
constexpr std::size_t kRoomAhead = 8 + 1;

// Decodes from `position` for as long as the text and the room ahead allow
// steps without bounds checks, leaving the rest to the exact walk. Well-
// formed characters are read inline (with each byte's marker bits taken
// off in one subtraction); anything else goes the exact way.
void DecodeAhead(const unsigned char* bytes, std::size_t count, std::size_t& position, UnitWriter& writer) {
  if (count < kBytesAhead || writer.room < kRoomAhead) return;
  const std::size_t lastAt = count - kBytesAhead;
  const std::size_t lastUnits = writer.room - kRoomAhead;
  char16_t* out = writer.out;
  std::size_t units = writer.units;
  std::size_t at = position;
  while (at <= lastAt && units <= lastUnits) {
    unsigned lead = bytes[at];
    if (lead < 0x80) {
      const std::size_t run = LeadingAscii(bytes + at);
      WidenEight(bytes + at, out + units);
      at += run;
      units += run;
      if (run == 8) {
        // A long run goes in bulk; a short one on by the next step.
        if (StartsAsciiBlock(bytes + at)) {
          const std::size_t more = WidenAsciiRun(bytes + at, std::min(count - at, writer.room - units), out + units);
          at += more;
          units += more;
        }
        continue;
      }
      // A character of two or more bytes follows, within the bounds kept
      // ahead less the seven bytes and units just taken.
      lead = bytes[at];
    }
    const unsigned second = bytes[at + 1];
    const unsigned third = bytes[at + 2];
    if (lead < 0xE0) {
      if (lead >= 0xC2 && IsContinuation(second)) {
        out[units++] = static_cast<char16_t>((lead << 6) + second - 0x3080);
        at += 2;
        continue;
      }
    } else if (lead < 0xF0) {
      if ((kThreeByteSeconds[lead & 0xF] >> (second >> 5) & 1) != 0 && IsContinuation(third)) {
        out[units++] = static_cast<char16_t>((lead << 12) + (second << 6) + third - 0xE2080);
        at += 3;
        continue;
      }
    } else if ((kFourByteSeconds[lead & 0xF] >> (second >> 4) & 1) != 0 && IsContinuation(third) &&
               IsContinuation(bytes[at + 3])) {
      const char32_t code = (lead << 18) + (second << 12) + (third << 6) + bytes[at + 3] - 0x3C82080 - 0x10000;
      out[units++] = static_cast<char16_t>(0xD800 + (code >> 10));
      out[units++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
      at += 4;
      continue;
    }
    std::size_t next = at;
    char32_t code = 0;
    writer.units = units;
    const bool complete = ReadSequence(bytes, count, next, code);
    complete ? writer.CodePoint(code) : writer.Invalid();
    units = writer.units;
    at = next;
  }
  writer.units = units;
  position = at;
}

// Well-formed windows for as long as the bounds ahead allow, each stretch
// that fails their checks walked the exact way.
void DecodeWindowsAhead(const unsigned char* bytes, std::size_t count, std::size_t& at, UnitWriter& writer) {
  while (DecodeWellFormedWindows(bytes, count, at, writer.out, writer.room, writer.units)) {
    if (!WalkUtf8(bytes, count, at, std::min(count, at + kWalkedStretch), writer)) return;
  }
}

}  // namespace

std::size_t Utf8DecodedUnits(const unsigned char* bytes, std::size_t count, bool& sawInvalid, Utf8Steps steps) {
  // Well-formed runs are counted many bytes at a time; whatever fails
  // their checks is walked for a stretch before the runs are tried again.
  UnitCounter counter;
  std::size_t at = 0;
  while (at < count) {
    const ValidUtf8Run run = ValidUtf8Prefix(bytes + at, count - at, steps == Utf8Steps::Widest);
    counter.units += run.units;
    at += run.bytes;
    WalkUtf8(bytes, count, at, std::min(count, at + kWalkedStretch), counter);
  }
  sawInvalid = counter.sawInvalid;
  return counter.units;
}

bool DecodeUtf8Into(const unsigned char* bytes, std::size_t count, char16_t* out, std::size_t room,
                    std::size_t& units, bool& sawInvalid, Utf8Steps steps) {
  UnitWriter writer{out, room};
  std::size_t at = 0;
  if (steps == Utf8Steps::Widest) DecodeWindowsAhead(bytes, count, at, writer);
  DecodeAhead(bytes, count, at, writer);
  const bool fitted = WalkUtf8(bytes, count, at, count, writer);
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
