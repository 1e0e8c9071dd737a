// Finds how much of a UTF-8 text is well formed, sixteen bytes at a time
// (or 32 where the machine can), and how many UTF-16 units that part
// decodes to. Text that passes needs no per-character checks; the rest
// goes to the exact decoder.
#pragma once

#include <cstddef>

namespace winhttp_linux {

struct ValidUtf8Run {
  std::size_t bytes = 0;  // a character boundary: whole, well-formed characters
  std::size_t units = 0;  // what those bytes decode to
};

// The well-formed run at the front of `bytes`, read as the start of a text:
// nothing before it is looked at. `wide` allows the 32-byte windows.
ValidUtf8Run ValidUtf8Prefix(const unsigned char* bytes, std::size_t count, bool wide);

}  // namespace winhttp_linux
