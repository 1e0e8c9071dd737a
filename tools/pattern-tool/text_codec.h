// UTF-8 bytes to and from 16-bit units, for the tool's input and output.
#pragma once

#include <string>

#include "platform/seam.h"

namespace pattern_tool {

// Malformed bytes become U+FFFD; characters beyond the basic plane become
// surrogate pairs.
WideString Utf8ToUnits(const std::string& bytes);
// Lone surrogates become U+FFFD.
std::string UnitsToUtf8(const WideString& units);
// Appends the character `code` as UTF-8.
void AppendUtf8(std::string& out, char32_t code);

}  // namespace pattern_tool
