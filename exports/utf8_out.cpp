#include "exports/utf8_out.h"

#include <climits>

namespace exports {

std::optional<std::size_t> Utf8SizeWithin(const WideString& text, std::size_t limit) noexcept {
  if (text.empty()) return 0;
  if (text.size() > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  const int measured = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
  if (measured <= 0 || static_cast<std::size_t>(measured) > limit) return std::nullopt;
  return static_cast<std::size_t>(measured);
}

void WriteUtf8(const WideString& text, char* dest, std::size_t bytes) noexcept {
  if (bytes == 0) return;
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), dest, static_cast<int>(bytes),
                      nullptr, nullptr);
}

}  // namespace exports
