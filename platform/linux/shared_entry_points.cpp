// The stand-in's entry points whose work the tests' fake platform shares.
#include "platform/linux/shared_calls.h"

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest,
                        int destChars) {
  return winhttp_linux::ConvertToWide(codePage, flags, source, sourceBytes, dest, destChars);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars, LPSTR dest,
                        int destBytes, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  return winhttp_linux::ConvertToMultiByte(codePage, flags, source, sourceChars, dest, destBytes, defaultChar,
                                           usedDefaultChar);
}

BOOL WinHttpCrackUrl(LPCWSTR url, DWORD urlLength, DWORD flags, LPURL_COMPONENTS parts) {
  return winhttp_linux::CrackUrl(url, urlLength, flags, parts);
}
