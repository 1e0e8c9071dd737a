// What a failed send falls back to: the current user's proxy settings,
// either a configuration script resolved and used at once, or a fixed
// proxy kept for the next attempt's request.
#include <cstring>

#include "transport/http_client.h"

namespace transport {
namespace {

// Strings the proxy functions hand out are the caller's to GlobalFree,
// once each, on every path.
template <typename Record>
class GlobalStrings {
 public:
  GlobalStrings() { std::memset(&record_, 0, sizeof record_); }
  ~GlobalStrings() { record_.Release(); }
  GlobalStrings(const GlobalStrings&) = delete;
  GlobalStrings& operator=(const GlobalStrings&) = delete;
  Record& get() { return record_; }

 private:
  Record record_;
};

void FreeIfSet(LPWSTR text) {
  if (text != nullptr) GlobalFree(text);
}

struct UserConfig : WINHTTP_CURRENT_USER_IE_PROXY_CONFIG {
  void Release() {
    FreeIfSet(lpszAutoConfigUrl);
    FreeIfSet(lpszProxy);
    FreeIfSet(lpszProxyBypass);
  }
};

struct ResolvedProxy : WINHTTP_PROXY_INFO {
  void Release() {
    FreeIfSet(lpszProxy);
    FreeIfSet(lpszProxyBypass);
  }
};

}  // namespace

bool HttpClient::ProxyFallback(HINTERNET session, HINTERNET request, const WideString& url) {
  GlobalStrings<UserConfig> config;
  if (!WinHttpGetIEProxyConfigForCurrentUser(&config.get())) {
    lastError_ = GetLastError();
    return false;
  }
  if (config.get().lpszAutoConfigUrl != nullptr) {
    return SendThroughScriptProxy(session, request, url, config.get().lpszAutoConfigUrl);
  }
  if (config.get().lpszProxy != nullptr) KeepFixedProxy(config.get().lpszProxy, config.get().lpszProxyBypass);
  return false;
}

bool HttpClient::SendThroughScriptProxy(HINTERNET session, HINTERNET request, const WideString& url,
                                        const WideChar* scriptUrl) {
  WINHTTP_AUTOPROXY_OPTIONS options;
  std::memset(&options, 0, sizeof options);
  options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL;
  options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP;
  options.lpszAutoConfigUrl = scriptUrl;
  options.lpvReserved = nullptr;
  options.dwReserved = 0;
  options.fAutoLogonIfChallenged = TRUE;
  GlobalStrings<ResolvedProxy> proxy;
  if (!MayLookUpScriptProxy()) return false;
  if (!WinHttpGetProxyForUrl(session, url.c_str(), &options, &proxy.get())) {
    lastError_ = GetLastError();
    return false;
  }
  WINHTTP_PROXY_INFO* record = &proxy.get();
  if (!WinHttpSetOption(request, WINHTTP_OPTION_PROXY, record, sizeof(WINHTTP_PROXY_INFO))) return false;
  RecordProxy(record->lpszProxy, attemptsMade_);  // the re-send below is this attempt's
  if (!LimitWaitsToBudget(request) || !BoundHeaderWait(request)) return false;
  return WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0);
}

// Copies of the lists, whatever their length: the platform's own strings
// are released before the next attempt sets them.
void HttpClient::KeepFixedProxy(const WideChar* proxyList, const WideChar* bypassList) {
  fallbackProxy_ = proxyList;
  fallbackBypass_ = bypassList == nullptr ? WideString{} : WideString(bypassList);
}

void HttpClient::RecordProxy(const WideChar* proxy, int fromAttempt) {
  proxyUsed_ = proxy != nullptr ? proxy : WTEXT("");
  proxyFromAttempt_ = fromAttempt;
}

}  // namespace transport
