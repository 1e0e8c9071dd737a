// Replies go into caller buffers as UTF-8, through the platform's
// WideCharToMultiByte(CP_UTF8). The size is measured first, so a reply is
// either written whole or not at all: never cut.
#pragma once

#include <cstddef>
#include <optional>

#include "platform/seam.h"

namespace exports {

// The UTF-8 size of `text` in bytes when it converts and is at most `limit`
// bytes; nothing otherwise. An empty text has size 0.
std::optional<std::size_t> Utf8SizeWithin(const WideString& text, std::size_t limit) noexcept;

// Writes the UTF-8 form of `text` into `dest`: `bytes` must be the size
// measured by Utf8SizeWithin. No terminating zero.
void WriteUtf8(const WideString& text, char* dest, std::size_t bytes) noexcept;

}  // namespace exports
