// The kernel32 code-page entry points of the stand-in.
#include "platform/linux/code_pages.h"

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest,
                        int destChars) {
  return winhttp_linux::ConvertToWide(codePage, flags, source, sourceBytes, dest, destChars);
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars, LPSTR dest,
                        int destBytes, LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  return winhttp_linux::ConvertToMultiByte(codePage, flags, source, sourceChars, dest, destBytes, defaultChar,
                                           usedDefaultChar);
}
