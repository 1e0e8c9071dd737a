// Display names of the pattern engine's opcodes.
#pragma once

#include <cstdint>

namespace pattern_tool {

// "?" for a number that is no opcode.
const char* OpcodeName(std::int32_t opcode);
const char* ErrorName(std::int32_t error);

}  // namespace pattern_tool
