// The user's proxy settings, script resolution, and the release of the
// strings they hand out.
#include "fake_state.h"

using namespace fake;
using namespace fake::detail;

namespace {
thread_local DWORD tLastError = 0;
}

DWORD GetLastError() { return tLastError; }
void SetLastError(DWORD code) { tLastError = code; }

BOOL WinHttpGetIEProxyConfigForCurrentUser(WINHTTP_CURRENT_USER_IE_PROXY_CONFIG* config) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::GetIEProxyConfig);
  if (record.succeeded && config == nullptr) {
    record.succeeded = false;
    record.error = ERROR_INVALID_PARAMETER;
  }
  if (record.succeeded) {
    const UserProxyConfig& user = state.userConfig;
    config->fAutoDetect = user.autoDetect;
    config->lpszAutoConfigUrl = HandOut(state, "autoConfigUrl", user.autoConfigUrl);
    config->lpszProxy = HandOut(state, "proxy", user.proxy);
    config->lpszProxyBypass = HandOut(state, "bypass", user.bypass);
  }
  return Finish(state, std::move(record));
}

BOOL WinHttpGetProxyForUrl(HINTERNET session, LPCWSTR url, WINHTTP_AUTOPROXY_OPTIONS* options,
                           WINHTTP_PROXY_INFO* proxyInfo) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::GetProxyForUrl, session);
  record.text = TextOf(url, static_cast<DWORD>(-1));
  if (options != nullptr) {
    record.autoProxyFlags = options->dwFlags;
    record.autoDetectFlags = options->dwAutoDetectFlags;
    record.autoConfigUrl = TextOf(options->lpszAutoConfigUrl, static_cast<DWORD>(-1));
    record.reservedPointerNull = options->lpvReserved == nullptr;
    record.reservedNumber = options->dwReserved;
    record.autoLogonIfChallenged = options->fAutoLogonIfChallenged;
  }
  if (record.succeeded && (options == nullptr || proxyInfo == nullptr || url == nullptr)) {
    record.succeeded = false;
    record.error = ERROR_INVALID_PARAMETER;
  } else if (record.succeeded && FindHandle(state, session, HandleKind::Session) == nullptr) {
    record.succeeded = false;
    record.error = ERROR_WINHTTP_INCORRECT_HANDLE_TYPE;
  }
  if (record.succeeded) {
    proxyInfo->dwAccessType = state.resolved.accessType;
    proxyInfo->lpszProxy = HandOut(state, "resolvedProxy", state.resolved.proxy);
    proxyInfo->lpszProxyBypass = HandOut(state, "resolvedBypass", state.resolved.bypass);
  }
  return Finish(state, std::move(record));
}

HGLOBAL GlobalFree(HGLOBAL memory) {
  if (memory == nullptr) return nullptr;
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::GlobalFree;
  record.succeeded = false;
  ++state.callCounts[Call::GlobalFree];
  bool known = false;
  for (const auto& tracked : state.handedOut) {
    if (tracked->text.data() == memory) {
      known = true;
      ++tracked->freeCount;
      record.text = tracked->text;
      record.succeeded = tracked->freeCount == 1;
    }
  }
  if (!known) ++state.unknownFrees;
  if (!record.succeeded) record.error = ERROR_INVALID_HANDLE;
  Finish(state, std::move(record));
  // GlobalFree gives back null on success and the block on failure.
  return known ? nullptr : memory;
}
