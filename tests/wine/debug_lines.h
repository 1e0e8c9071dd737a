// The debug-channel lines the calls on this thread wrote, kept as UTF-8 for
// the result line. Whoever catches the lines (the Windows caller's
// exception handler, a Linux library's hook, the fake's) keeps them here.
#pragma once

#include <string>
#include <vector>

namespace dllcaller {

void KeepDebugLine(std::string utf8);
std::string Utf8Of(const std::u16string& text);

// `units`: zero-terminated UTF-16 (wchar_t on Windows, char16_t elsewhere).
template <typename Unit>
void KeepWideDebugLine(const Unit* units) {
  static_assert(sizeof(Unit) == sizeof(char16_t), "UTF-16 units");
  std::u16string text;
  for (; *units != 0; ++units) text.push_back(static_cast<char16_t>(*units));
  KeepDebugLine(Utf8Of(text));
}

// The lines kept on this thread so far; forgets them.
std::vector<std::string> TakeDebugLines();

}  // namespace dllcaller
