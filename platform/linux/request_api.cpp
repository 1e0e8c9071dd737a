// The calls that drive one request: headers, send, upload, response, body.
#include <cstring>
#include <limits>
#include <memory>

#include "platform/linux/api_guard.h"
#include "platform/linux/http_objects.h"
#include "platform/linux/proxy_rules.h"
#include "platform/linux/wire_text.h"

using namespace winhttp_linux;

namespace {

constexpr DWORD kQueryLevelMask = 0xFFFF;

std::string HostField(const Request& request) {
  std::string host = request.host;
  if (host.find(':') != std::string::npos && host.front() != '[') host = "[" + host + "]";
  unsigned short schemeDefault = request.secure ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
  return request.port == schemeDefault ? host : host + ":" + std::to_string(request.port);
}

// Where to connect and what to put on the request line: the origin itself
// with the path, or the proxy with the absolute URL. ERROR_SUCCESS or why
// there is no route.
DWORD PlanRoute(const Request& request, Destination& destination, RequestLine& line) {
  line.verb = request.verb;
  line.hostField = HostField(request);
  line.userAgent = request.settings.userAgent;
  line.target = request.path;
  destination.host = request.host;
  destination.port = request.port;
  destination.timeouts = request.settings.timeouts;
  destination.secure = request.secure;
  destination.securityFlags = request.securityFlags;
  const ProxySetting& proxy = request.settings.proxy;
  if (proxy.server.empty() || IsBypassed(request.host, proxy.bypass)) return ERROR_SUCCESS;
  // No CONNECT tunnels here: a secure request cannot go through a proxy.
  if (request.secure) return ERROR_WINHTTP_CANNOT_CONNECT;
  if (!ParseProxyServer(proxy.server, destination.host, destination.port)) return ERROR_WINHTTP_NAME_NOT_RESOLVED;
  line.target = "http://" + line.hostField + request.path;
  return ERROR_SUCCESS;
}

std::shared_ptr<Request> FindRequest(HINTERNET handle) { return FindHandleOf<Request>(handle); }

BOOL Outcome(DWORD result) { return result == ERROR_SUCCESS ? TRUE : Fail(result, FALSE); }

// Copies text (as wide units) the way text queries hand it out: a null or
// small buffer fails with ERROR_INSUFFICIENT_BUFFER and the bytes needed,
// terminator included; success reports the bytes written without it.
// Each byte becomes one unit, so the size is known without converting.
BOOL DeliverText(const std::string& bytes, LPVOID buffer, LPDWORD length) {
  std::size_t needed = (bytes.size() + 1) * sizeof(char16_t);
  if (needed > std::numeric_limits<DWORD>::max()) return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
  if (buffer == nullptr || *length < needed) {
    *length = static_cast<DWORD>(needed);
    return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  }
  // Widened straight into the caller's buffer: a large head is not held
  // as text once more on the way.
  auto* units = static_cast<char16_t*>(buffer);
  for (std::size_t i = 0; i < bytes.size(); ++i) units[i] = static_cast<unsigned char>(bytes[i]);
  units[bytes.size()] = u'\0';
  *length = static_cast<DWORD>(needed - sizeof(char16_t));
  return TRUE;
}

BOOL DeliverNumber(std::uint64_t value, LPVOID buffer, LPDWORD length) {
  if (value > std::numeric_limits<DWORD>::max()) return Fail(ERROR_INVALID_DATA, FALSE);
  if (buffer == nullptr || *length < sizeof(DWORD)) {
    *length = sizeof(DWORD);
    return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  }
  DWORD number = static_cast<DWORD>(value);
  std::memcpy(buffer, &number, sizeof number);
  *length = sizeof number;
  return TRUE;
}

BOOL QueryHead(const ResponseHead& head, DWORD infoLevel, LPVOID buffer, LPDWORD length) {
  const bool asNumber = (infoLevel & WINHTTP_QUERY_FLAG_NUMBER) != 0;
  switch (infoLevel & kQueryLevelMask) {
    case WINHTTP_QUERY_RAW_HEADERS_CRLF:
      if (asNumber) return Fail(ERROR_INVALID_PARAMETER, FALSE);
      return DeliverText(head.rawHeaders, buffer, length);
    case WINHTTP_QUERY_STATUS_CODE:
      return asNumber ? DeliverNumber(static_cast<std::uint64_t>(head.status), buffer, length)
                      : DeliverText(head.statusDigits, buffer, length);
    case WINHTTP_QUERY_CONTENT_LENGTH:
      if (!head.hasContentLength) return Fail(ERROR_WINHTTP_HEADER_NOT_FOUND, FALSE);
      return asNumber ? DeliverNumber(head.contentLength, buffer, length)
                      : DeliverText(std::to_string(head.contentLength), buffer, length);
    case WINHTTP_QUERY_TRANSFER_ENCODING:
      if (head.transferEncoding.empty() || asNumber) return Fail(ERROR_WINHTTP_HEADER_NOT_FOUND, FALSE);
      return DeliverText(head.transferEncoding, buffer, length);
    default:
      return Fail(ERROR_WINHTTP_HEADER_NOT_FOUND, FALSE);
  }
}

}  // namespace

BOOL WinHttpAddRequestHeaders(HINTERNET handle, LPCWSTR headers, DWORD headersLength, DWORD modifiers) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::shared_ptr<Request> request = FindRequest(handle);
    if (!request) return FALSE;
    if (headers == nullptr || headersLength == 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return Outcome(request->headers.Add(WideView(headers, headersLength), modifiers));
  });
}

BOOL WinHttpSendRequest(HINTERNET handle, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                        DWORD optionalLength, DWORD, DWORD_PTR) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::shared_ptr<Request> request = FindRequest(handle);
    if (!request) return FALSE;
    if (headers != nullptr && headersLength != 0) {
      DWORD added = request->headers.Add(WideView(headers, headersLength), WINHTTP_ADDREQ_FLAG_ADD);
      if (added != ERROR_SUCCESS) return Fail(added, FALSE);
    }
    Destination destination;
    RequestLine line;
    DWORD route = PlanRoute(*request, destination, line);
    if (route != ERROR_SUCCESS) return Fail(route, FALSE);
    std::string head = BuildRequestHead(line, request->headers);
    const char* extra = optional == nullptr ? nullptr : static_cast<const char*>(optional);
    return Outcome(request->exchange.Send(destination, head, extra, extra ? optionalLength : 0));
  });
}

BOOL WinHttpWriteData(HINTERNET handle, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (bytesWritten != nullptr) *bytesWritten = 0;
    std::shared_ptr<Request> request = FindRequest(handle);
    if (!request) return FALSE;
    if (buffer == nullptr && bytesToWrite > 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD result = request->exchange.Write(static_cast<const char*>(buffer), bytesToWrite);
    if (result == ERROR_SUCCESS && bytesWritten != nullptr) *bytesWritten = bytesToWrite;
    return Outcome(result);
  });
}

BOOL WinHttpReceiveResponse(HINTERNET handle, LPVOID) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::shared_ptr<Request> request = FindRequest(handle);
    if (!request) return FALSE;
    return Outcome(request->exchange.Receive(request->verb == "HEAD"));
  });
}

BOOL WinHttpQueryHeaders(HINTERNET handle, DWORD infoLevel, LPCWSTR, LPVOID buffer, LPDWORD length,
                         LPDWORD) {
  return Guarded(FALSE, [&]() -> BOOL {
    std::shared_ptr<Request> request = FindRequest(handle);
    if (!request) return FALSE;
    if (length == nullptr) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    const ResponseHead* head = request->exchange.Head();
    if (head == nullptr) return Fail(ERROR_WINHTTP_INCORRECT_HANDLE_STATE, FALSE);
    return QueryHead(*head, infoLevel, buffer, length);
  });
}

BOOL WinHttpQueryDataAvailable(HINTERNET handle, LPDWORD bytesAvailable) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (bytesAvailable != nullptr) *bytesAvailable = 0;
    std::shared_ptr<Request> request = FindRequest(handle);
    if (!request) return FALSE;
    std::size_t available = 0;
    DWORD result = request->exchange.Available(available);
    if (result == ERROR_SUCCESS && bytesAvailable != nullptr) *bytesAvailable = static_cast<DWORD>(available);
    return Outcome(result);
  });
}

BOOL WinHttpReadData(HINTERNET handle, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (bytesRead != nullptr) *bytesRead = 0;
    std::shared_ptr<Request> request = FindRequest(handle);
    if (!request) return FALSE;
    if (buffer == nullptr && bytesToRead > 0) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::size_t read = 0;
    DWORD result = request->exchange.Read(static_cast<char*>(buffer), bytesToRead, read);
    if (result == ERROR_SUCCESS && bytesRead != nullptr) *bytesRead = static_cast<DWORD>(read);
    return Outcome(result);
  });
}
