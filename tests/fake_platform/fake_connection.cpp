// Session, URL cracking, connection and request handles of the fake.
#include <cstring>

#include "fake_state.h"

using namespace fake;
using namespace fake::detail;

namespace {

struct CrackedUrl {
  INTERNET_SCHEME scheme = 0;
  std::u16string host;
  INTERNET_PORT port = 0;
  std::u16string path;
  std::u16string extra;
};

// The error WinHTTP reports for `url`, or 0 with `cracked` filled.
DWORD Crack(const std::u16string& url, bool splitExtra, CrackedUrl& cracked) {
  std::size_t schemeEnd = url.find(u"://");
  if (schemeEnd == std::u16string::npos) return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
  std::u16string scheme = url.substr(0, schemeEnd);
  for (char16_t& c : scheme) c = (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
  if (scheme == u"http") {
    cracked.scheme = INTERNET_SCHEME_HTTP;
    cracked.port = INTERNET_DEFAULT_HTTP_PORT;
  } else if (scheme == u"https") {
    cracked.scheme = INTERNET_SCHEME_HTTPS;
    cracked.port = INTERNET_DEFAULT_HTTPS_PORT;
  } else {
    return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
  }
  std::size_t hostStart = schemeEnd + 3;
  std::size_t hostEnd = url.find_first_of(u":/?#", hostStart);
  if (hostEnd == std::u16string::npos) hostEnd = url.size();
  cracked.host = url.substr(hostStart, hostEnd - hostStart);
  if (cracked.host.empty()) return ERROR_WINHTTP_INVALID_URL;
  std::size_t pathStart = hostEnd;
  if (hostEnd < url.size() && url[hostEnd] == u':') {
    pathStart = url.find_first_of(u"/?#", hostEnd);
    if (pathStart == std::u16string::npos) pathStart = url.size();
    if (pathStart == hostEnd + 1 || pathStart - hostEnd > 6) return ERROR_WINHTTP_INVALID_URL;
    std::uint32_t port = 0;
    for (std::size_t i = hostEnd + 1; i < pathStart; ++i) {
      if (url[i] < u'0' || url[i] > u'9') return ERROR_WINHTTP_INVALID_URL;
      port = port * 10 + static_cast<std::uint32_t>(url[i] - u'0');
    }
    if (port == 0 || port > 65535) return ERROR_WINHTTP_INVALID_URL;
    cracked.port = static_cast<INTERNET_PORT>(port);
  }
  cracked.path = url.substr(pathStart);
  if (splitExtra) {
    std::size_t extraStart = cracked.path.find_first_of(u"?#");
    if (extraStart != std::u16string::npos) {
      cracked.extra = cracked.path.substr(extraStart);
      cracked.path.resize(extraStart);
    }
  }
  return 0;
}

// Hands one component out the WinHTTP way: into the caller's buffer when it
// gave one (it must have room for the zero), else as a pointer into the URL.
bool StoreComponent(const std::u16string& value, LPWSTR& buffer, DWORD& length, LPCWSTR url,
                    std::size_t offsetInUrl) {
  if (length == 0) return true;
  if (buffer == nullptr) {
    buffer = const_cast<LPWSTR>(url) + offsetInUrl;
    length = static_cast<DWORD>(value.size());
    return true;
  }
  if (length <= value.size()) return false;
  std::memcpy(buffer, value.data(), value.size() * sizeof(WCHAR));
  buffer[value.size()] = 0;
  length = static_cast<DWORD>(value.size());
  return true;
}

}  // namespace

HINTERNET WinHttpOpen(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass, DWORD flags) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::Open;
  record.text = TextOf(agent, static_cast<DWORD>(-1));
  record.accessType = accessType;
  record.flags = flags;
  record.hasProxyList = proxy != nullptr;
  record.hasBypassList = bypass != nullptr;
  record.succeeded = !ScriptedFailure(state, Call::Open, record.error);
  if (record.succeeded) record.opened = NewHandle(state, HandleKind::Session);
  HINTERNET opened = record.opened;
  Finish(state, std::move(record));
  return opened;
}

BOOL WinHttpSetTimeouts(HINTERNET handle, int resolveMs, int connectMs, int sendMs, int receiveMs) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::SetTimeouts;
  record.handle = handle;
  record.timeouts[0] = resolveMs;
  record.timeouts[1] = connectMs;
  record.timeouts[2] = sendMs;
  record.timeouts[3] = receiveMs;
  record.succeeded = !ScriptedFailure(state, Call::SetTimeouts, record.error);
  if (record.succeeded && state.handles.count(handle) == 0) {
    record.succeeded = false;
    record.error = ERROR_INVALID_HANDLE;
  }
  if (record.succeeded) {
    const long long sendBound = connectMs > 0 && sendMs > 0 ? static_cast<long long>(connectMs) + sendMs : 0;
    HandleInfo& info = state.handles[handle];
    if (info.kind == HandleKind::Request) info.request.sendBoundMs = sendBound;
    if (info.kind == HandleKind::Session) state.sessionSendBoundMs = sendBound;
  }
  return Finish(state, std::move(record));
}

BOOL WinHttpCrackUrl(LPCWSTR url, DWORD urlLength, DWORD flags, LPURL_COMPONENTS components) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::CrackUrl;
  record.text = TextOf(url, urlLength == 0 ? static_cast<DWORD>(-1) : urlLength);
  record.flags = flags;
  record.succeeded = !ScriptedFailure(state, Call::CrackUrl, record.error);
  if (record.succeeded && (url == nullptr || components == nullptr ||
                           components->dwStructSize != sizeof(URL_COMPONENTS))) {
    record.succeeded = false;
    record.error = ERROR_INVALID_PARAMETER;
  }
  CrackedUrl cracked;
  if (record.succeeded) {
    record.error = Crack(record.text, components->dwExtraInfoLength != 0, cracked);
    record.succeeded = record.error == 0;
  }
  if (record.succeeded) {
    components->nScheme = cracked.scheme;
    components->nPort = cracked.port;
    std::size_t hostAt = record.text.find(u"://") + 3;
    std::size_t pathAt = record.text.size() - cracked.path.size() - cracked.extra.size();
    bool stored = StoreComponent(record.text.substr(0, hostAt - 3), components->lpszScheme,
                                 components->dwSchemeLength, url, 0) &&
                  StoreComponent(cracked.host, components->lpszHostName, components->dwHostNameLength, url, hostAt) &&
                  StoreComponent(cracked.path, components->lpszUrlPath, components->dwUrlPathLength, url, pathAt) &&
                  StoreComponent(cracked.extra, components->lpszExtraInfo, components->dwExtraInfoLength, url,
                                 pathAt + cracked.path.size());
    if (!stored) {
      record.succeeded = false;
      record.error = ERROR_INSUFFICIENT_BUFFER;
    }
  }
  return Finish(state, std::move(record));
}

HINTERNET WinHttpConnect(HINTERNET session, LPCWSTR server, INTERNET_PORT port, DWORD reserved) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::Connect;
  record.handle = session;
  record.text = TextOf(server, static_cast<DWORD>(-1));
  record.value = port;
  record.flags = reserved;
  record.succeeded = !ScriptedFailure(state, Call::Connect, record.error);
  if (record.succeeded && (FindHandle(state, session, HandleKind::Session) == nullptr || record.text.empty())) {
    record.succeeded = false;
    record.error = server == nullptr || record.text.empty() ? ERROR_INVALID_PARAMETER
                                                             : ERROR_WINHTTP_INCORRECT_HANDLE_TYPE;
  }
  if (record.succeeded) record.opened = NewHandle(state, HandleKind::Connection);
  HINTERNET opened = record.opened;
  Finish(state, std::move(record));
  return opened;
}

HINTERNET WinHttpOpenRequest(HINTERNET connection, LPCWSTR verb, LPCWSTR object, LPCWSTR version,
                             LPCWSTR referrer, LPCWSTR* acceptTypes, DWORD flags) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::OpenRequest;
  record.handle = connection;
  record.text = verb == nullptr ? std::u16string(u"GET") : TextOf(verb, static_cast<DWORD>(-1));
  record.path = TextOf(object, static_cast<DWORD>(-1));
  record.flags = flags;
  record.nonDefaultArguments = version != nullptr || referrer != nullptr || acceptTypes != nullptr;
  record.succeeded = !ScriptedFailure(state, Call::OpenRequest, record.error);
  if (record.succeeded && FindHandle(state, connection, HandleKind::Connection) == nullptr) {
    record.succeeded = false;
    record.error = ERROR_WINHTTP_INCORRECT_HANDLE_TYPE;
  }
  if (record.succeeded) record.opened = NewHandle(state, HandleKind::Request);
  HINTERNET opened = record.opened;
  Finish(state, std::move(record));
  return opened;
}

BOOL WinHttpCloseHandle(HINTERNET handle) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record;
  record.call = Call::CloseHandle;
  record.handle = handle;
  record.succeeded = state.handles.erase(handle) == 1;
  if (!record.succeeded) {
    ++state.badCloses;
    record.error = ERROR_INVALID_HANDLE;
  }
  ++state.callCounts[Call::CloseHandle];
  return Finish(state, std::move(record));
}
