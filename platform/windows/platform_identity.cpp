// Which WinHTTP the DLL runs over. Wine's ntdll exports wine_get_version;
// Windows' does not. Asked afresh on each call: the libraries keep no state.
#include "platform/seam.h"

bool PlatformMayCutRawHeads() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}
