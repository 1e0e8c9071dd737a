#include "opcode_names.h"

namespace pattern_tool {

const char* OpcodeName(std::int32_t opcode) {
  switch (opcode) {
    case 0: return "Pass";
    case 1: return "OpenGroup";
    case 2: return "CloseGroup";
    case 3: return "Char";
    case 4: return "AnyChar";
    case 7: return "InRanges";
    case 8: return "NotInRanges";
    case 13: return "Jump";
    case 14: return "PushPos";
    case 15: return "PopPos";
    case 16: return "Fork";
    case 17: return "Backtrack";
    case 20: return "PushSlot";
    case 21: return "PopSlot";
    case 22: return "SavePos";
    case 23: return "SaveDepth";
    case 24: return "LoadPos";
    case 25: return "LoadDepth";
    case 26: return "RequireProgress";
    case 27: return "BackRef";
    case 28: return "GiveUp";
    case 29: return "NextStart";
    case 30: return "Accept";
    case 31: return "PushGroup";
    case 32: return "PopGroup";
    default: return "?";
  }
}

const char* ErrorName(std::int32_t error) {
  static const char* const kNames[] = {"Ok",      "OutOfMemory", "UnclosedCapture", "UnclosedGroup",
                                       "BadClass", "BadAbbreviation", "EmptyClass", "BadBackReference",
                                       "ReversedRange", "EmptyRepeat"};
  return error >= 0 && error < 10 ? kNames[error] : "?";
}

}  // namespace pattern_tool
