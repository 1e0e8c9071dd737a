// How long a UTF-8 text is once decoded to UTF-16, to check replies by.
#pragma once

#include <cstddef>
#include <string>

namespace bench {

// The number of UTF-16 code units that well-formed `utf8` decodes to.
std::size_t Utf16Units(const std::string& utf8);

}  // namespace bench
