// Opening and closing handles, time-outs and options.
#include <cstring>
#include <memory>

#include "platform/linux/api_guard.h"
#include "platform/linux/http_objects.h"
#include "platform/linux/wire_text.h"

using namespace winhttp_linux;

namespace {

bool ValidTimeout(int ms) { return ms >= -1; }

// Applies `apply` to the settings of whatever kind of handle this is.
template <typename Apply>
bool WithSettings(HINTERNET handle, Apply apply) {
  std::shared_ptr<HandleObject> object = FindHandle(handle);
  if (!object) return false;
  switch (object->Kind()) {
    case HandleKind::Session: apply(static_cast<Session&>(*object).settings); break;
    case HandleKind::Connection: apply(static_cast<Connection&>(*object).settings); break;
    case HandleKind::Request: apply(static_cast<Request&>(*object).settings); break;
  }
  return true;
}

std::u16string StringOption(LPVOID buffer, DWORD bytes) {
  // The length is in bytes; reading stops at a zero unit, never past `bytes`.
  const auto* text = static_cast<const char16_t*>(buffer);
  std::size_t units = bytes / sizeof(char16_t), length = 0;
  while (length < units && text[length] != 0) ++length;
  return std::u16string(text, length);
}

// A DWORD of milliseconds; values beyond int (0xFFFFFFFF among them) mean
// no bound, as 0 does.
int TimeoutOption(LPVOID buffer) {
  DWORD ms = 0;
  std::memcpy(&ms, buffer, sizeof ms);
  return ms > 0x7FFFFFFFu ? 0 : static_cast<int>(ms);
}

BOOL SetProxyOption(Request& request, LPVOID buffer, DWORD length) {
  if (length < sizeof(WINHTTP_PROXY_INFO)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  WINHTTP_PROXY_INFO info;
  std::memcpy(&info, buffer, sizeof info);
  if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
    if (info.lpszProxy == nullptr || info.lpszProxy[0] == 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    request.settings.proxy = {ToSingleByte(info.lpszProxy), ToSingleByte(WideOrEmpty(info.lpszProxyBypass))};
  } else if (info.dwAccessType == WINHTTP_ACCESS_TYPE_NO_PROXY ||
             info.dwAccessType == WINHTTP_ACCESS_TYPE_DEFAULT_PROXY) {
    request.settings.proxy = {};
  } else {
    return Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  return TRUE;
}

BOOL SetRequestOption(Request& request, DWORD option, LPVOID buffer, DWORD length) {
  switch (option) {
    case WINHTTP_OPTION_PROXY:
      return SetProxyOption(request, buffer, length);
    case WINHTTP_OPTION_SECURITY_FLAGS:
      if (length < sizeof(DWORD)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
      std::memcpy(&request.securityFlags, buffer, sizeof(DWORD));
      return TRUE;
    case WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT:
      if (length < sizeof(DWORD)) return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
      request.settings.timeouts.receiveResponseMs = TimeoutOption(buffer);
      return TRUE;
    case WINHTTP_OPTION_PROXY_USERNAME:
      request.proxyUser = StringOption(buffer, length);
      return TRUE;
    case WINHTTP_OPTION_PROXY_PASSWORD:
      request.proxyPassword = StringOption(buffer, length);
      return TRUE;
    case WINHTTP_OPTION_DISABLE_FEATURE:
      // This layer never follows a redirect and keeps no connection past
      // its exchange, so switching either off holds already.
      return length < sizeof(DWORD) ? Fail(ERROR_INSUFFICIENT_BUFFER, FALSE) : TRUE;
    default:
      return Fail(ERROR_WINHTTP_INVALID_OPTION, FALSE);
  }
}

bool IsKnownOption(DWORD option) {
  return option == WINHTTP_OPTION_PROXY || option == WINHTTP_OPTION_SECURITY_FLAGS ||
         option == WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT ||
         option == WINHTTP_OPTION_PROXY_USERNAME || option == WINHTTP_OPTION_PROXY_PASSWORD ||
         option == WINHTTP_OPTION_DISABLE_FEATURE;
}

}  // namespace

HINTERNET WinHttpOpen(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass, DWORD) {
  return Guarded<HINTERNET>(nullptr, [&]() -> HINTERNET {
    auto session = std::make_shared<Session>();
    session->settings.userAgent = ToSingleByte(WideOrEmpty(agent));
    if (accessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY) {
      if (proxy == nullptr || proxy[0] == 0) return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
      session->settings.proxy = {ToSingleByte(proxy), ToSingleByte(WideOrEmpty(bypass))};
    }
    return RegisterHandle(std::move(session));
  });
}

BOOL WinHttpSetTimeouts(HINTERNET handle, int resolveMs, int connectMs, int sendMs, int receiveMs) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (!ValidTimeout(resolveMs) || !ValidTimeout(connectMs) || !ValidTimeout(sendMs) ||
        !ValidTimeout(receiveMs))
      return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return WithSettings(handle, [&](InheritedSettings& settings) {
      settings.timeouts.resolveMs = resolveMs;
      settings.timeouts.connectMs = connectMs;
      settings.timeouts.sendMs = sendMs;
      settings.timeouts.receiveMs = receiveMs;
    });
  });
}

HINTERNET WinHttpConnect(HINTERNET sessionHandle, LPCWSTR server, INTERNET_PORT port, DWORD) {
  return Guarded<HINTERNET>(nullptr, [&]() -> HINTERNET {
    std::shared_ptr<Session> session = FindHandleOf<Session>(sessionHandle);
    if (!session) return nullptr;
    if (server == nullptr || server[0] == 0) return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
    auto connection = std::make_shared<Connection>();
    connection->settings = session->settings;
    connection->host = ToSingleByte(server);
    connection->port = port;
    return RegisterHandle(std::move(connection));
  });
}

HINTERNET WinHttpOpenRequest(HINTERNET connectionHandle, LPCWSTR verb, LPCWSTR object, LPCWSTR,
                             LPCWSTR, LPCWSTR*, DWORD flags) {
  return Guarded<HINTERNET>(nullptr, [&]() -> HINTERNET {
    std::shared_ptr<Connection> connection = FindHandleOf<Connection>(connectionHandle);
    if (!connection) return nullptr;
    auto request = std::make_shared<Request>();
    request->settings = connection->settings;
    request->host = connection->host;
    request->secure = (flags & WINHTTP_FLAG_SECURE) != 0;
    request->port = connection->port != INTERNET_DEFAULT_PORT
                        ? connection->port
                        : (request->secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT);
    request->verb = verb == nullptr || verb[0] == 0 ? "GET" : ToSingleByte(verb);
    request->path = object == nullptr || object[0] == 0 ? "/" : ToSingleByte(object);
    if (request->verb.find_first_of(" \r\n") != std::string::npos ||
        request->path.find_first_of(" \r\n") != std::string::npos)
      return Fail<HINTERNET>(ERROR_INVALID_PARAMETER, nullptr);
    return RegisterHandle(std::move(request));
  });
}

BOOL WinHttpSetOption(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::shared_ptr<HandleObject> object = FindHandle(handle);
    if (!object) return FALSE;
    if (!IsKnownOption(option)) return Fail(ERROR_WINHTTP_INVALID_OPTION, FALSE);
    if (object->Kind() != HandleKind::Request) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE, FALSE);
    if (buffer == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return SetRequestOption(static_cast<Request&>(*object), option, buffer, length);
  });
}

BOOL WinHttpCloseHandle(HINTERNET handle) {
  return Guarded(FALSE, [&]() -> BOOL { return UnregisterHandle(handle) ? TRUE : FALSE; });
}
