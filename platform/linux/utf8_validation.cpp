#include "platform/linux/utf8_validation.h"

#include <cstdint>
#include <cstring>

#include "platform/linux/utf8_wide_steps.h"

namespace winhttp_linux {
namespace {

// Sixteen bytes in signed lanes, which the compiler keeps in vector
// registers (SSE2 on x86-64); a comparison gives -1 in the lanes where it
// holds and 0 elsewhere.
using Lanes = std::int8_t __attribute__((vector_size(16)));
constexpr std::size_t kBlock = sizeof(Lanes);
constexpr std::size_t kLookBack = 3;  // a block's checks read the three bytes before it
constexpr int kMaxPendingBlocks = 127;  // a lane's running sum stays within a signed byte

Lanes Splat(unsigned byte) {
  const auto lane = static_cast<std::int8_t>(byte);
  return Lanes{lane, lane, lane, lane, lane, lane, lane, lane, lane, lane, lane, lane, lane, lane, lane, lane};
}

Lanes Load(const unsigned char* at) {
  Lanes lanes;
  std::memcpy(&lanes, at, sizeof lanes);
  return lanes;
}

bool Any(Lanes lanes) {
  std::uint64_t halves[2];
  std::memcpy(halves, &lanes, sizeof halves);
  return (halves[0] | halves[1]) != 0;
}

int Sum(Lanes lanes) {
  int sum = 0;
  for (std::size_t i = 0; i < kBlock; ++i) sum += lanes[i];
  return sum;
}

struct BlockCheck {
  Lanes errors;
  Lanes unitChange;  // -1 per continuation byte, +1 per four-byte lead
};

// Signed lanes order the bytes 0x80-0xFF below 0x00-0x7F, so continuation
// bytes (0x80-0xBF) are those below 0xC0. With the top bit flipped, lanes
// order the bytes as unsigned values, which the lead tests need. Only `>`
// and `<` are used: the machine has no `>=` for bytes.
BlockCheck CheckBlock(const unsigned char* at) {
  const Lanes byte = Load(at);
  const Lanes before = Load(at - 1);
  const Lanes flip = Splat(0x80);
  const Lanes ordered = byte ^ flip;
  const Lanes continuation = byte < Splat(0xC0);
  // A byte continues a sequence exactly when a lead one, two or three bytes
  // back asks for that many more.
  const Lanes expected = ((before ^ flip) > Splat(0xBF ^ 0x80)) | ((Load(at - 2) ^ flip) > Splat(0xDF ^ 0x80)) |
                         ((Load(at - 3) ^ flip) > Splat(0xEF ^ 0x80));
  // C0 and C1 only start overlong forms; F5-FF would go beyond U+10FFFF.
  const Lanes neverValid = ((byte & Splat(0xFE)) == Splat(0xC0)) | (ordered > Splat(0xF4 ^ 0x80));
  // The second byte after E0, ED, F0 and F4 is narrowed: no overlong
  // forms, no surrogates, nothing beyond U+10FFFF.
  const Lanes narrowed = ((before == Splat(0xE0)) & (byte < Splat(0xA0))) |
                         ((before == Splat(0xED)) & (byte > Splat(0x9F))) |
                         ((before == Splat(0xF0)) & (byte < Splat(0x90))) |
                         ((before == Splat(0xF4)) & (byte > Splat(0x8F)));
  const Lanes fourByteLead = ordered > Splat(0xEF ^ 0x80);
  return {(expected ^ continuation) | neverValid | narrowed, continuation - fourByteLead};
}

enum class Block { Ascii, WellFormed, IllFormed };

// Counts the units of well-formed blocks: sixteen per block, less one per
// continuation byte, plus one per four-byte lead (its surrogate pair).
class BlockCounter {
 public:
  // Counts nothing for an ill-formed block.
  Block Take(const unsigned char* at) {
    if (!Any((Load(at) | Load(at - kLookBack)) & Splat(0x80))) {  // ASCII, after ASCII
      units_ += kBlock;
      return Block::Ascii;
    }
    const BlockCheck check = CheckBlock(at);
    if (Any(check.errors)) return Block::IllFormed;
    units_ += kBlock;
    change_ += check.unitChange;
    if (++pending_ == kMaxPendingBlocks) Settle();
    return Block::WellFormed;
  }

  void TakeAscii(std::size_t bytes) { units_ += bytes; }

  std::size_t Units() {
    Settle();
    return units_;
  }

 private:
  void Settle() {
    units_ = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(units_) + Sum(change_));
    change_ = Lanes{};
    pending_ = 0;
  }

  std::size_t units_ = 0;
  Lanes change_{};
  int pending_ = 0;
};

// Where the ASCII blocks from `end` on stop, two words at a time. After
// an ASCII block, the next one's look-back is ASCII as well.
std::size_t AsciiBlocksEnd(const unsigned char* bytes, std::size_t end, std::size_t count) {
  for (; count - end >= kBlock; end += kBlock) {
    std::uint64_t words[2];
    std::memcpy(words, bytes + end, sizeof words);
    if (((words[0] | words[1]) & 0x8080808080808080u) != 0) break;
  }
  return end;
}

std::size_t SequenceBytes(unsigned char lead) { return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2; }

// Where the character that `end` falls into starts: `end` itself, unless
// the nearest lead before it asks for more bytes than come before `end`.
std::size_t OpenSequenceStart(const unsigned char* bytes, std::size_t end) {
  for (std::size_t back = 1; back <= kLookBack && back <= end; ++back) {
    const unsigned char byte = bytes[end - back];
    if (byte < 0x80) return end;
    if (byte >= 0xC0) return SequenceBytes(byte) > back ? end - back : end;
  }
  return end;
}

// The well-formed blocks at the front of `bytes`, read as the start of a
// text: where they stop (perhaps within a character) and their units.
void CountWellFormedBlocks(const unsigned char* bytes, std::size_t count, std::size_t& end, std::size_t& units) {
  if (count < kBlock) return;
  // The first block's look-back sees zero bytes, which ask for nothing.
  unsigned char first[kLookBack + kBlock] = {};
  std::memcpy(first + kLookBack, bytes, kBlock);
  BlockCounter counter;
  while (count - end >= kBlock) {
    const Block block = counter.Take(end == 0 ? first + kLookBack : bytes + end);
    if (block == Block::IllFormed) break;
    end += kBlock;
    if (block == Block::Ascii) {
      const std::size_t asciiEnd = AsciiBlocksEnd(bytes, end, count);
      counter.TakeAscii(asciiEnd - end);
      end = asciiEnd;
    }
  }
  units = counter.Units();
}

}  // namespace

ValidUtf8Run ValidUtf8Prefix(const unsigned char* bytes, std::size_t count, bool wide) {
  std::size_t end = 0;
  std::size_t units = 0;
  if (wide && Utf8WideStepsAvailable()) CountWellFormedWindows(bytes, count, end, units);
  else CountWellFormedBlocks(bytes, count, end, units);
  // A sequence cut by the last block's end is left to the next look.
  ValidUtf8Run run;
  run.bytes = OpenSequenceStart(bytes, end);
  run.units = units;
  if (run.bytes < end) run.units -= bytes[run.bytes] >= 0xF0 ? 2 : 1;
  return run;
}

}  // namespace winhttp_linux
