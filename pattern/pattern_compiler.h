// Turns a pattern into a PatternProgram in one left-to-right pass. When a
// quantifier or a `|` follows an element, the element's code is moved (or,
// for `+` and `+?`, copied) into its final layout, with its instruction
// indexes and slots renumbered: the same code as compiling the element
// again in that place, without parsing it again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "pattern/pattern_program.h"

namespace pattern {

class PatternCompiler {
 public:
  explicit PatternCompiler(PatternProgram& program) : program_(program) {}
  PatternError Run(const WideChar* pattern);

 private:
  // What the compiler knows of a compiled element.
  struct Element {
    std::size_t first;        // index of its first instruction
    bool canBeEmpty;          // the judgement that guards repetition
    bool mayConsumeNothing;   // it can succeed without advancing (a superset)
    bool fixedLength;         // every way it succeeds consumes the same
  };
  // Empty: the element was missing (a stop) or an error was recorded.
  using Parsed = std::optional<Element>;

  struct Body {
    bool empty;
    bool canBeEmpty;
    bool mayConsumeNothing;
    bool fixedLength;
  };

  // Where to return to when code is removed.
  struct Mark {
    std::size_t code;
    std::int32_t groups;
    std::int32_t slots;
  };


  enum class Quantifier { None, Star, LazyStar, Plus, LazyPlus, Option, LazyOption };

  // Grammar levels (pattern_compiler.cpp).
  Body Sequence();
  Parsed Alternation();  // a quantified element, then optionally `|` and another
  Parsed Quantified();
  Parsed ApplyQuantifier(const Mark& mark, const Element& element, Quantifier quantifier);
  void GreedyLayout(const Mark& mark, bool keepsFirstCopy, bool repeat);
  void LazyLayout(const Mark& mark, bool keepsFirstCopy, bool repeat);
  std::size_t HeadBeforeBody(const Mark& mark, std::size_t headLength, bool copy, std::int32_t slotsBefore);
  Quantifier PeekQuantifier(std::size_t& length) const;

  // Elements (pattern_elements.cpp).
  Parsed ParseElement();
  Parsed Capture();
  Parsed PlainGroup();
  Body GroupBody();
  Parsed CharacterClass();
  bool ClassItem();
  bool ClassBound(WideChar& bound);
  Parsed Escape();
  Parsed BackReference();
  Parsed Abbreviation(const WideChar* body);
  Parsed LookAhead();
  Parsed Single(Opcode opcode, std::uint64_t operand);

  // Emission and bookkeeping.
  std::size_t Emit(Opcode opcode, std::uint64_t operand = 0);
  void Patch(std::size_t index, std::uint64_t operand);
  void Place(std::size_t index, Opcode opcode, std::uint64_t operand);
  std::size_t Count() const { return program_.instructions.size(); }
  std::uint64_t NewSlot() { return static_cast<std::uint64_t>(program_.slotCount++); }
  Mark Here() const;
  void Remove(const Mark& mark);  // code and counters, not the position
  void Fail(PatternError error);
  bool Failed() const { return program_.parseError != 0; }
  PatternError Error() const { return static_cast<PatternError>(program_.parseError); }
  WideChar Peek() const { return source_[position_]; }
  WideChar PeekNext() const { return Peek() == 0 ? WideChar(0) : source_[position_ + 1]; }
  Parsed Finish(const Element& element);

  PatternProgram& program_;
  const WideChar* source_ = nullptr;
  std::size_t position_ = 0;
};

}  // namespace pattern
