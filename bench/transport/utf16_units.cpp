#include "utf16_units.h"

namespace bench {

std::size_t Utf16Units(const std::string& utf8) {
  std::size_t units = 0;
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte & 0xC0) != 0x80) ++units;  // each lead byte starts a character
    if (byte >= 0xF0) ++units;           // four-byte characters need a surrogate pair
  }
  return units;
}

}  // namespace bench
