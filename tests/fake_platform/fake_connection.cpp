// Session, URL cracking (by the Linux stand-in's own code), connection and
// request handles of the fake.
#include "fake_state.h"
#include "platform/linux/shared_calls.h"

using namespace fake;
using namespace fake::detail;

HINTERNET WinHttpOpen(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR bypass, DWORD flags) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::Open);
  record.text = TextOf(agent, static_cast<DWORD>(-1));
  record.accessType = accessType;
  record.flags = flags;
  record.hasProxyList = proxy != nullptr;
  record.hasBypassList = bypass != nullptr;
  if (record.succeeded) record.opened = NewHandle(state, HandleKind::Session);
  HINTERNET opened = record.opened;
  Finish(state, std::move(record));
  return opened;
}

BOOL WinHttpSetTimeouts(HINTERNET handle, int resolveMs, int connectMs, int sendMs, int receiveMs) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::SetTimeouts, handle);
  record.timeouts[0] = resolveMs;
  record.timeouts[1] = connectMs;
  record.timeouts[2] = sendMs;
  record.timeouts[3] = receiveMs;
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
  CallRecord record = BeginCall(state, Call::CrackUrl);
  record.text = TextOf(url, urlLength == 0 ? static_cast<DWORD>(-1) : urlLength);
  record.flags = flags;
  if (record.succeeded) {
    record.succeeded = winhttp_linux::CrackUrl(url, urlLength, flags, components) == TRUE;
    record.error = record.succeeded ? 0 : GetLastError();
  }
  return Finish(state, std::move(record));
}

HINTERNET WinHttpConnect(HINTERNET session, LPCWSTR server, INTERNET_PORT port, DWORD reserved) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::Connect, session);
  record.text = TextOf(server, static_cast<DWORD>(-1));
  record.value = port;
  record.flags = reserved;
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
  CallRecord record = BeginCall(state, Call::OpenRequest, connection);
  record.text = verb == nullptr ? std::u16string(u"GET") : TextOf(verb, static_cast<DWORD>(-1));
  record.path = TextOf(object, static_cast<DWORD>(-1));
  record.flags = flags;
  record.nonDefaultArguments = version != nullptr || referrer != nullptr || acceptTypes != nullptr;
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
