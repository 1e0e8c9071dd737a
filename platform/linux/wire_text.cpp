#include "platform/linux/wire_text.h"

#include <cstdlib>
#include <cstring>

namespace winhttp_linux {

std::string ToSingleByte(std::u16string_view text) {
  std::string bytes(text.size(), '\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    bytes[i] = text[i] <= 0xFF ? static_cast<char>(text[i]) : '?';
  return bytes;
}

std::u16string FromSingleByte(std::string_view bytes) {
  std::u16string text(bytes.size(), u'\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = static_cast<unsigned char>(bytes[i]);
  return text;
}

std::u16string_view WideView(LPCWSTR text, DWORD length) {
  if (text == nullptr) return {};
  if (length == static_cast<DWORD>(-1)) return std::u16string_view(text);
  return std::u16string_view(text, length);
}

std::u16string WideOrEmpty(LPCWSTR text) { return text == nullptr ? std::u16string() : text; }

LPWSTR DuplicateForGlobalFree(std::u16string_view text) {
  auto* copy = static_cast<LPWSTR>(std::calloc(text.size() + 1, sizeof(WCHAR)));
  if (copy != nullptr) std::memcpy(copy, text.data(), text.size() * sizeof(WCHAR));
  return copy;
}

}  // namespace winhttp_linux
