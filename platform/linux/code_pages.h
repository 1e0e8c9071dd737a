// MultiByteToWideChar and WideCharToMultiByte for the code pages the core
// uses: UTF-8, and the ANSI code page, which here is Windows-1252. Kept
// apart from the exported entry points so that the tests' fake platform
// converts with this very code (and cannot disagree with it).
#pragma once

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

int ConvertToWide(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest, int destChars);
int ConvertToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars, LPSTR dest, int destBytes,
                       LPCSTR defaultChar, LPBOOL usedDefaultChar);

}  // namespace winhttp_linux
