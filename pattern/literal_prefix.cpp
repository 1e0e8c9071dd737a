#include "pattern/literal_prefix.h"

#include "pattern/pattern_search.h"
#include "pattern/text_fold.h"
#include "platform/unit_words.h"

namespace pattern {
namespace {

bool Is(const PatternInstruction& instruction, Opcode opcode) {
  return instruction.opcode == static_cast<std::int32_t>(opcode);
}

// The prefix's length: Char instructions (not the terminator's) after the
// frame's opening Fork to 2 and NextStart.
std::size_t PrefixLength(const InstructionList& code) {
  if (code.size() < 3 || !Is(code.At(0), Opcode::Fork) || code.At(0).operand != 2 || !Is(code.At(1), Opcode::NextStart)) {
    return 0;
  }
  std::size_t length = 0;
  while (2 + length < code.size() && Is(code.At(2 + length), Opcode::Char) && code.At(2 + length).operand != 0) {
    ++length;
  }
  return length;
}

}  // namespace

LiteralPrefix::LiteralPrefix(const PatternProgram& program, const WideChar* text, std::size_t length)
    : text_(text), textLength_(length), length_(PrefixLength(program.instructions)) {
  if (length_ == 0) return;
  units_ = &program.instructions.At(2);
  first_ = static_cast<WideChar>(units_[0].operand);
  firstOtherCase_ = OtherAsciiCase(first_);
  if (length != kLengthUnknown) HoldAsWords();
}

// Only units that some text unit folds to (no upper-case letter, nothing
// past 16 bits) and at most kMaxWords words are held as words.
void LiteralPrefix::HoldAsWords() {
  if (length_ > 4 * kMaxWords) return;
  for (std::size_t i = 0; i < length_; ++i) {
    const std::uint64_t unit = units_[i].operand;
    if (unit > 0xFFFF || IsAsciiUpper(static_cast<WideChar>(unit))) return;
  }
  for (std::size_t i = 0; i < length_; ++i) {
    const std::uint64_t unit = units_[i].operand;
    const unsigned shift = 16 * (i % 4);
    const bool lowerLetter = IsAsciiLower(static_cast<WideChar>(unit));
    wordUnits_[i / 4] |= unit << shift;
    caseBits_[i / 4] |= std::uint64_t{lowerLetter ? kAsciiCaseBit : WideChar{0}} << shift;
    lanes_[i / 4] |= std::uint64_t{0xFFFF} << shift;
  }
  words_ = (length_ + 3) / 4;
}

std::size_t LiteralPrefix::NextCandidate(std::size_t from) const {
  if (length_ == 0) return from;
  for (std::size_t at = from;; ++at) {
    const WideChar unit = text_[at];
    if (unit == 0) return at;
    if ((unit == first_ || unit == firstOtherCase_) && BeginsAt(at)) return at;
  }
}

bool LiteralPrefix::BeginsAt(std::size_t position) const {
  if (words_ != 0 && position + 4 * words_ <= textLength_) return WordsBeginAt(position);
  for (std::size_t i = 0; i < length_; ++i) {
    if (FoldAscii(text_[position + i]) != units_[i].operand) return false;
  }
  return true;
}

bool LiteralPrefix::WordsBeginAt(std::size_t position) const {
  for (std::size_t word = 0; word < words_; ++word) {
    const std::uint64_t units = unit_words::Load(text_ + position + 4 * word) | caseBits_[word];
    if ((units & lanes_[word]) != wordUnits_[word]) return false;
  }
  return true;
}

}  // namespace pattern
