// The printed form of a compiled program, for people: the pattern tool
// shows it and the compiler's tests compare it.
#pragma once

#include <cstdint>
#include <string>

#include "pattern/pattern_program.h"

namespace pattern {

// "?" for a number that is no opcode or error code.
const char* OpcodeName(std::int32_t opcode);
const char* ErrorName(std::int32_t error);

// One instruction: the opcode's name and its operand, with the character
// after a printable unit ("Char 97 'a'").
std::string InstructionText(const PatternInstruction& instruction);

// The compile result, the counts, then one line per instruction:
//   error 0 (Ok)
//   groups 1, slots 0
//      0  Fork             2
std::string ProgramListing(const PatternProgram& program);

}  // namespace pattern
