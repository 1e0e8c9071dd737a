#include "platform/linux/utf8_wide_steps.h"

#include <cstdint>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace winhttp_linux {

#if defined(__x86_64__)
namespace {

constexpr std::size_t kWindow = 32;

// Byte pairs that never occur in well-formed text, in eight classes, each
// the product of a set of first-byte high nibbles, first-byte low nibbles
// and second-byte high nibbles. A pair's three table entries AND to the
// classes it falls in. The last class (a continuation after one) is right
// exactly where a lead two or three bytes back asks for it.
constexpr std::uint16_t Nibbles(unsigned from, unsigned to) {
  return static_cast<std::uint16_t>(((2u << to) - 1) & ~((1u << from) - 1));
}
constexpr std::uint16_t kAny = 0xFFFF;
constexpr std::uint16_t kAscii = Nibbles(0, 7);
constexpr std::uint16_t kContinuing = Nibbles(8, 0xB);
constexpr std::uint16_t kLeading = Nibbles(0xC, 0xF);
constexpr std::uint8_t kTwoContinuations = 0x80;

struct PairClass {
  std::uint8_t bit;
  std::uint16_t firstHigh, firstLow, secondHigh;
};
constexpr PairClass kPairClasses[] = {
    {0x01, kLeading, kAny, kAscii | kLeading},                              // a lead, no continuation
    {0x02, kAscii, kAny, kContinuing},                                      // a continuation after ASCII
    {0x04, Nibbles(0xE, 0xE), Nibbles(0, 0), Nibbles(8, 9)},                // E0: overlong
    {0x08, Nibbles(0xF, 0xF), Nibbles(4, 0xF), Nibbles(9, 0xB)},            // F4 and up: past U+10FFFF
    {0x10, Nibbles(0xE, 0xE), Nibbles(0xD, 0xD), Nibbles(0xA, 0xB)},        // ED: surrogates
    {0x20, Nibbles(0xC, 0xC), Nibbles(0, 1), kContinuing},                  // C0, C1: overlong
    {0x40, Nibbles(0xF, 0xF), Nibbles(0, 0) | Nibbles(5, 0xF), Nibbles(8, 8)},  // F0: overlong; F5 and up
    {kTwoContinuations, kContinuing, kAny, kContinuing},
};

enum class Nibble { FirstHigh, FirstLow, SecondHigh };

// A nibble's classes, twice: once per 16-byte lane.
struct NibbleTable {
  std::uint8_t entries[2 * 16];
  constexpr explicit NibbleTable(Nibble which) : entries() {
    for (unsigned nibble = 0; nibble < 16; ++nibble) {
      std::uint8_t bits = 0;
      for (const PairClass& c : kPairClasses) {
        const std::uint16_t set = which == Nibble::FirstHigh  ? c.firstHigh
                                  : which == Nibble::FirstLow ? c.firstLow
                                                              : c.secondHigh;
        if ((set >> nibble & 1) != 0) bits = static_cast<std::uint8_t>(bits | c.bit);
      }
      entries[nibble] = entries[16 + nibble] = bits;
    }
  }
};
constexpr NibbleTable kFirstHigh(Nibble::FirstHigh);
constexpr NibbleTable kFirstLow(Nibble::FirstLow);
constexpr NibbleTable kSecondHigh(Nibble::SecondHigh);

// For each set of eight units to keep (a bit per unit), the byte shuffle
// that moves them to the front in order.
struct PackTable {
  std::uint8_t shuffles[256][16];
  constexpr PackTable() : shuffles() {
    for (unsigned keep = 0; keep < 256; ++keep) {
      unsigned to = 0;
      for (unsigned unit = 0; unit < 8; ++unit) {
        if ((keep >> unit & 1) == 0) continue;
        shuffles[keep][to++] = static_cast<std::uint8_t>(2 * unit);
        shuffles[keep][to++] = static_cast<std::uint8_t>(2 * unit + 1);
      }
      while (to < 16) shuffles[keep][to++] = 0x80;  // zero
    }
  }
};
constexpr PackTable kPack;

#define KT_WIDE __attribute__((target("avx2,popcnt")))

KT_WIDE __m256i Load(const unsigned char* at) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)); }

KT_WIDE __m256i And(__m256i a, __m256i b) { return _mm256_and_si256(a, b); }
KT_WIDE __m256i Or(__m256i a, __m256i b) { return _mm256_or_si256(a, b); }

// The byte constants, each in every lane, and the nibble tables, made once
// per run of windows; the constants hidden from the compiler, which would
// otherwise build each one anew at every use.
struct Splats {
  __m256i x03, x0F, x3F, x7F, x80, xC0, xDC, xE0, xE8, xF0;
  __m256i firstHigh, firstLow, secondHigh;
};

KT_WIDE __m256i Opaque(unsigned byte) {
  __m256i lanes = _mm256_set1_epi8(static_cast<char>(byte));
  asm("" : "+x"(lanes));
  return lanes;
}

KT_WIDE Splats MakeSplats() {
  return {Opaque(0x03), Opaque(0x0F), Opaque(0x3F), Opaque(0x7F), Opaque(0x80),
          Opaque(0xC0), Opaque(0xDC), Opaque(0xE0), Opaque(0xE8), Opaque(0xF0),
          Load(kFirstHigh.entries), Load(kFirstLow.entries), Load(kSecondHigh.entries)};
}

// 0xFF in the lanes holding `low` (a splat) or more, as unsigned bytes.
KT_WIDE __m256i AtLeast(__m256i lanes, __m256i low) { return _mm256_cmpeq_epi8(_mm256_max_epu8(lanes, low), lanes); }

// The lanes' bits from `bits` on, in each byte: `mask` takes off what
// crossed over from the next byte.
template <int bits>
KT_WIDE __m256i ShiftRight(__m256i lanes, __m256i mask) {
  return And(_mm256_srli_epi16(lanes, bits), mask);
}
// Shifts each byte left; `lanes` holds no bits that would cross over.
template <int bits>
KT_WIDE __m256i ShiftLeft(__m256i lanes) {
  return _mm256_slli_epi16(lanes, bits);
}

KT_WIDE std::uint32_t Bits(__m256i mask) { return static_cast<std::uint32_t>(_mm256_movemask_epi8(mask)); }

// A window's bytes and, in the same lanes, the bytes one, two and three
// before each.
struct Window {
  __m256i bytes, before1, before2, before3;
};

// A window after the text before it.
KT_WIDE Window WindowAfter(const unsigned char* at) { return {Load(at), Load(at - 1), Load(at - 2), Load(at - 3)}; }

// A window read as the start of a text: zero bytes (which ask for nothing)
// before it.
KT_WIDE Window WindowAtStart(const unsigned char* at) {
  const __m256i bytes = Load(at);
  const __m256i carried = _mm256_permute2x128_si256(bytes, bytes, 0x08);  // zero, then the low lane
  return {bytes, _mm256_alignr_epi8(bytes, carried, 15), _mm256_alignr_epi8(bytes, carried, 14),
          _mm256_alignr_epi8(bytes, carried, 13)};
}

KT_WIDE bool IsAscii(const Window& w) { return Bits(Or(w.bytes, w.before3)) == 0; }

// The bytes a lead two or three back asks for.
KT_WIDE __m256i MustContinue(const Window& w, const Splats& k) {
  return Or(AtLeast(w.before2, k.xE0), AtLeast(w.before3, k.xF0));
}

KT_WIDE bool WellFormed(const Window& w, __m256i mustContinue, const Splats& k) {
  const __m256i firstHigh = _mm256_shuffle_epi8(k.firstHigh, ShiftRight<4>(w.before1, k.x0F));
  const __m256i firstLow = _mm256_shuffle_epi8(k.firstLow, And(w.before1, k.x0F));
  const __m256i secondHigh = _mm256_shuffle_epi8(k.secondHigh, ShiftRight<4>(w.bytes, k.x0F));
  const __m256i errors = _mm256_xor_si256(And(And(firstHigh, firstLow), secondHigh), And(mustContinue, k.x80));
  return _mm256_testz_si256(errors, errors) != 0;
}

// Signed, the bytes 0x80-0xBF are those below 0xC0.
KT_WIDE __m256i Continuations(__m256i bytes, const Splats& k) { return _mm256_cmpgt_epi8(k.xC0, bytes); }

// The UTF-16 units of a well-formed window: every byte that ends a
// character gets its character's unit (a four-byte character's low
// surrogate), and its third byte the high surrogate; other lanes hold
// what they hold. Returned as low and high bytes.
struct UnitBytes {
  __m256i low, high;
};

KT_WIDE UnitBytes Units(const Window& w, __m256i continuation, __m256i third, __m256i fourth, __m256i pairThird,
                        const Splats& k) {
  // One byte: itself. Two to four: the last two payload bits of the byte
  // before, then the last byte's six.
  __m256i low = Or(And(ShiftLeft<6>(And(w.before1, k.x03)), continuation), And(w.bytes, k.x7F));
  // The four payload bits before those, and a three-byte lead's four.
  const __m256i middle = ShiftRight<2>(w.before1, k.x0F);
  __m256i high = Or(And(middle, continuation), And(ShiftLeft<4>(And(w.before2, k.x0F)), third));
  // A low surrogate keeps ten bits.
  high = _mm256_blendv_epi8(high, Or(And(middle, k.x03), k.xDC), fourth);
  // The high surrogate: 0xD800 + (code >> 10) - 0x40, from the lead's
  // three bits, the second byte's six and the third byte's top two.
  const __m256i above = Or(ShiftLeft<2>(And(w.before1, k.x3F)), ShiftRight<4>(w.bytes, k.x03));
  const __m256i borrow = _mm256_cmpeq_epi8(_mm256_min_epu8(above, k.x3F), above);  // -1 where 0x40 borrows
  low = _mm256_blendv_epi8(low, _mm256_add_epi8(above, k.xC0), pairThird);  // less 0x40
  // Leads F0-F4 become D8-DC.
  const __m256i pairHigh = _mm256_add_epi8(_mm256_add_epi8(w.before2, k.xE8), borrow);
  high = _mm256_blendv_epi8(high, pairHigh, pairThird);
  return {low, high};
}

// Writes the units `keep` marks of the eight in `units`, in order, and
// returns the place after them. Writes eight units.
KT_WIDE char16_t* Pack(char16_t* to, __m128i units, std::uint32_t keep) {
  const __m128i shuffle = _mm_loadu_si128(reinterpret_cast<const __m128i*>(kPack.shuffles[keep]));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), _mm_shuffle_epi8(units, shuffle));
  return to + __builtin_popcount(keep);
}

KT_WIDE void WidenAscii(__m256i bytes, char16_t* out) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_cvtepu8_epi16(_mm256_castsi256_si128(bytes)));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16), _mm256_cvtepu8_epi16(_mm256_extracti128_si256(bytes, 1)));
}

// Decodes the characters that end before the window's last byte; false
// when the window is not well formed. `at` is where the exact decoder
// would start a character, which may follow ill-formed bytes, so nothing
// before it is looked at.
KT_WIDE bool DecodeWindow(const unsigned char* at, char16_t* out, const Splats& k, std::size_t& consumed,
                          std::size_t& written) {
  const Window w = WindowAtStart(at);
  if (Bits(w.bytes) == 0) {  // ASCII: each byte a character
    WidenAscii(w.bytes, out);
    consumed = written = kWindow;
    return true;
  }
  if (!WellFormed(w, MustContinue(w, k), k)) return false;
  const __m256i continuation = Continuations(w.bytes, k);
  const __m256i pairThird = AtLeast(w.before2, k.xF0);
  const UnitBytes units =
      Units(w, continuation, AtLeast(w.before2, k.xE0), AtLeast(w.before3, k.xF0), pairThird, k);
  // A byte ends a character when the next does not continue it. The last
  // byte's next lies outside, so the window ends at the last byte before
  // it that does; a four-byte character's third byte is kept with its end.
  const std::uint32_t ends = ~Bits(continuation) >> 1;
  const unsigned last = 31u - static_cast<unsigned>(__builtin_clz(ends));
  const std::uint32_t keep = ends | (Bits(pairThird) & ends >> 1);
  const __m256i first = _mm256_unpacklo_epi8(units.low, units.high);   // bytes 0-7 and 16-23
  const __m256i second = _mm256_unpackhi_epi8(units.low, units.high);  // bytes 8-15 and 24-31
  char16_t* to = Pack(out, _mm256_castsi256_si128(first), keep & 0xFF);
  to = Pack(to, _mm256_castsi256_si128(second), keep >> 8 & 0xFF);
  to = Pack(to, _mm256_extracti128_si256(first, 1), keep >> 16 & 0xFF);
  to = Pack(to, _mm256_extracti128_si256(second, 1), keep >> 24);
  consumed = last + 1;
  written = static_cast<std::size_t>(to - out);
  return true;
}

// The units of a window read from its start: a unit per byte but for
// continuations, one more per four-byte lead. -1 if not well formed.
KT_WIDE int CountWindow(const Window& w, const Splats& k) {
  if (IsAscii(w)) return static_cast<int>(kWindow);
  if (!WellFormed(w, MustContinue(w, k), k)) return -1;
  return static_cast<int>(kWindow) - __builtin_popcount(Bits(Continuations(w.bytes, k))) +
         __builtin_popcount(Bits(AtLeast(w.bytes, k.xF0)));
}

// A step writes at most 32 units (the last eight from where the first 24
// kept ones end), up to eight of them past the ones it keeps. Those must be
// written over by what follows: the text after the window decodes to at
// least a unit per three bytes, and when the room runs out the exact walk
// stops at most one unit short of it.
constexpr std::size_t kPackSpill = 8;
constexpr std::size_t kBytesAhead = kWindow + 3 * kPackSpill;
constexpr std::size_t kRoomAhead = kWindow + 1;

KT_WIDE void CountWindows(const unsigned char* bytes, std::size_t count, std::size_t& end, std::size_t& units) {
  const Splats k = MakeSplats();
  while (count - end >= kWindow) {
    const int windowUnits = CountWindow(end == 0 ? WindowAtStart(bytes) : WindowAfter(bytes + end), k);
    if (windowUnits < 0) return;
    units += static_cast<std::size_t>(windowUnits);
    end += kWindow;
  }
}

KT_WIDE bool DecodeWindows(const unsigned char* bytes, std::size_t count, std::size_t& at, char16_t* out,
                           std::size_t room, std::size_t& units) {
  const Splats k = MakeSplats();
  std::size_t from = at;
  std::size_t to = units;
  bool wellFormed = true;
  while (count - from >= kBytesAhead && room - to >= kRoomAhead && wellFormed) {
    std::size_t consumed = 0;
    std::size_t written = 0;
    wellFormed = DecodeWindow(bytes + from, out + to, k, consumed, written);
    from += consumed;
    to += written;
  }
  at = from;
  units = to;
  return !wellFormed;
}

#undef KT_WIDE

}  // namespace

bool Utf8WideStepsAvailable() {
  static const bool available = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
  }();
  return available;
}

void CountWellFormedWindows(const unsigned char* bytes, std::size_t count, std::size_t& end, std::size_t& units) {
  end = units = 0;
  if (Utf8WideStepsAvailable()) CountWindows(bytes, count, end, units);
}

bool DecodeWellFormedWindows(const unsigned char* bytes, std::size_t count, std::size_t& at, char16_t* out,
                             std::size_t room, std::size_t& units) {
  return Utf8WideStepsAvailable() && DecodeWindows(bytes, count, at, out, room, units);
}

#else

bool Utf8WideStepsAvailable() { return false; }

void CountWellFormedWindows(const unsigned char*, std::size_t, std::size_t& end, std::size_t& units) {
  end = units = 0;
}

bool DecodeWellFormedWindows(const unsigned char*, std::size_t, std::size_t&, char16_t*, std::size_t,
                             std::size_t&) {
  return false;
}

#endif

}  // namespace winhttp_linux
