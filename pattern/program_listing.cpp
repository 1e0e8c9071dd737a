#include "pattern/program_listing.h"

#include <cstdio>

namespace pattern {
namespace {

std::string OperandText(const PatternInstruction& instruction) {
  std::string text = std::to_string(instruction.operand);
  const bool carriesUnit = instruction.opcode == static_cast<std::int32_t>(Opcode::Char) ||
                           instruction.opcode == static_cast<std::int32_t>(Opcode::Pass);
  if (carriesUnit && instruction.operand >= 0x20 && instruction.operand < 0x7F) {
    text += " '";
    text.push_back(static_cast<char>(instruction.operand));
    text += "'";
  }
  return text;
}

}  // namespace

const char* OpcodeName(std::int32_t opcode) {
  switch (static_cast<Opcode>(opcode)) {
    case Opcode::Pass: return "Pass";
    case Opcode::OpenGroup: return "OpenGroup";
    case Opcode::CloseGroup: return "CloseGroup";
    case Opcode::Char: return "Char";
    case Opcode::AnyChar: return "AnyChar";
    case Opcode::InRanges: return "InRanges";
    case Opcode::NotInRanges: return "NotInRanges";
    case Opcode::Jump: return "Jump";
    case Opcode::PushPos: return "PushPos";
    case Opcode::PopPos: return "PopPos";
    case Opcode::Fork: return "Fork";
    case Opcode::Backtrack: return "Backtrack";
    case Opcode::PushSlot: return "PushSlot";
    case Opcode::PopSlot: return "PopSlot";
    case Opcode::SavePos: return "SavePos";
    case Opcode::SaveDepth: return "SaveDepth";
    case Opcode::LoadPos: return "LoadPos";
    case Opcode::LoadDepth: return "LoadDepth";
    case Opcode::RequireProgress: return "RequireProgress";
    case Opcode::BackRef: return "BackRef";
    case Opcode::GiveUp: return "GiveUp";
    case Opcode::NextStart: return "NextStart";
    case Opcode::Accept: return "Accept";
    case Opcode::PushGroup: return "PushGroup";
    case Opcode::PopGroup: return "PopGroup";
  }
  return "?";
}

const char* ErrorName(std::int32_t error) {
  static const char* const kNames[] = {"Ok",       "OutOfMemory",     "UnclosedCapture", "UnclosedGroup",
                                       "BadClass", "BadAbbreviation", "EmptyClass",      "BadBackReference",
                                       "ReversedRange", "EmptyRepeat"};
  return error >= 0 && error < 10 ? kNames[error] : "?";
}

std::string InstructionText(const PatternInstruction& instruction) {
  return std::string(OpcodeName(instruction.opcode)) + " " + OperandText(instruction);
}

std::string ProgramListing(const PatternProgram& program) {
  std::string listing = "error " + std::to_string(program.parseError) + " (" + ErrorName(program.parseError) +
                        ")\ngroups " + std::to_string(program.groupCount) + ", slots " +
                        std::to_string(program.slotCount) + "\n";
  char line[96];
  for (std::size_t i = 0; i < program.instructions.size(); ++i) {
    const PatternInstruction& instruction = program.instructions.At(i);
    std::snprintf(line, sizeof line, "%4zu  %-16s %s\n", i, OpcodeName(instruction.opcode),
                  OperandText(instruction).c_str());
    listing += line;
  }
  return listing;
}

}  // namespace pattern
