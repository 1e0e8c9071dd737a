// The work behind the calls that the tests' fake platform makes with the
// stand-in's very code, so that the two cannot disagree: the code-page
// conversions (UTF-8, and the ANSI code page, which here is Windows-1252)
// and URL cracking. The stand-in's entry points only forward here.
#pragma once

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

int ConvertToWide(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest, int destChars);
int ConvertToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars, LPSTR dest, int destBytes,
                       LPCSTR defaultChar, LPBOOL usedDefaultChar);
BOOL CrackUrl(LPCWSTR url, DWORD urlLength, DWORD flags, LPURL_COMPONENTS parts);

}  // namespace winhttp_linux
