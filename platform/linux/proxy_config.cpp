// The user's proxy configuration, which on this platform lives in the
// conventional environment variables; there is no auto-detection.
#include <cstdlib>
#include <string>

#include "platform/linux/api_guard.h"
#include "platform/linux/http_objects.h"
#include "platform/linux/proxy_rules.h"
#include "platform/linux/wire_text.h"

using namespace winhttp_linux;

namespace {

std::string FirstSet(const char* lowerName, const char* upperName) {
  const char* value = std::getenv(lowerName);
  if (value == nullptr || value[0] == 0) value = std::getenv(upperName);
  return value == nullptr ? std::string() : std::string(value);
}

// A GlobalFree-able copy of `text`, or null for empty text; false when out of memory.
bool HandOut(const std::string& text, LPWSTR& out) {
  out = nullptr;
  if (text.empty()) return true;
  out = DuplicateForGlobalFree(FromSingleByte(text));
  return out != nullptr;
}

}  // namespace

BOOL WinHttpGetIEProxyConfigForCurrentUser(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* config) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (config == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    *config = WINHTTP_CURRENT_USER_IE_PROXY_CONFIG{};
    std::string proxy = ProxyFromEnvironmentValue(FirstSet("http_proxy", "HTTP_PROXY"));
    std::string bypass = BypassFromEnvironmentValue(FirstSet("no_proxy", "NO_PROXY"));
    if (HandOut(proxy, config->lpszProxy) && HandOut(bypass, config->lpszProxyBypass)) return TRUE;
    GlobalFree(config->lpszProxy);
    GlobalFree(config->lpszProxyBypass);
    *config = WINHTTP_CURRENT_USER_IE_PROXY_CONFIG{};
    return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  });
}

BOOL WinHttpGetProxyForUrl(HINTERNET session, LPCWSTR, WINHTTP_AUTOPROXY_OPTIONS*, WINHTTP_PROXY_INFO*) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (!FindHandleOf<Session>(session)) return FALSE;
    return Fail(ERROR_WINHTTP_AUTODETECTION_FAILED, FALSE);
  });
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  std::free(memory);
  return nullptr;
}
