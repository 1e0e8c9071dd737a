// Request-handle calls of the fake: options, headers, send, upload, the
// scripted response and its body.
#include <algorithm>
#include <cstring>

#include "fake_state.h"

using namespace fake;
using namespace fake::detail;

namespace {

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char16_t x, char16_t y) { return Lower(x) == Lower(y); });
}

std::u16string Trimmed(const std::u16string& text) {
  std::size_t first = text.find_first_not_of(u" \t");
  if (first == std::u16string::npos) return {};
  return text.substr(first, text.find_last_not_of(u" \t") - first + 1);
}

std::u16string WireHeaders(const RequestState& request) {
  std::string wire;
  for (const auto& header : request.headers.Lines()) wire += header.first + ": " + header.second + "\r\n";
  return Widen(wire);
}

// The value of header `name` in a raw header block, if present.
bool RawHeaderValue(const std::string& raw, const std::u16string& name, std::u16string& value) {
  std::u16string wide = Widen(raw);
  std::size_t at = wide.find(u"\r\n");  // skip the status line
  while (at != std::u16string::npos && at + 2 < wide.size()) {
    std::size_t start = at + 2;
    std::size_t end = wide.find(u"\r\n", start);
    std::u16string line = wide.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
    std::size_t colon = line.find(u':');
    if (colon != std::u16string::npos && SameName(line.substr(0, colon), name)) {
      value = Trimmed(line.substr(colon + 1));
      return true;
    }
    at = end;
  }
  return false;
}

bool ParseNumber(const std::u16string& text, DWORD& number) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + static_cast<std::uint64_t>(c - u'0');
  }
  if (value > 0xFFFFFFFFu) return false;
  number = static_cast<DWORD>(value);
  return true;
}

// The header text or number WinHttpQueryHeaders hands out, by info level.
DWORD LookUpHeader(const RequestState& request, DWORD level, std::u16string& text) {
  switch (level) {
    case WINHTTP_QUERY_RAW_HEADERS_CRLF:
      text = Widen(request.response.rawHeaders);
      return 0;
    case WINHTTP_QUERY_STATUS_CODE: {
      std::string digits = std::to_string(request.response.status);
      text.assign(digits.begin(), digits.end());
      return 0;
    }
    case WINHTTP_QUERY_CONTENT_LENGTH:
      return RawHeaderValue(request.response.rawHeaders, u"Content-Length", text) ? 0
                                                                                   : ERROR_WINHTTP_HEADER_NOT_FOUND;
    case WINHTTP_QUERY_TRANSFER_ENCODING:
      return RawHeaderValue(request.response.rawHeaders, u"Transfer-Encoding", text) ? 0
                                                                                      : ERROR_WINHTTP_HEADER_NOT_FOUND;
    default:
      return ERROR_WINHTTP_HEADER_NOT_FOUND;
  }
}

DWORD CopyHeaderOut(const std::u16string& text, bool asNumber, LPVOID buffer, LPDWORD bufferLength) {
  if (bufferLength == nullptr) return ERROR_INVALID_PARAMETER;
  if (asNumber) {
    DWORD number = 0;
    if (!ParseNumber(text, number)) return ERROR_WINHTTP_INVALID_HEADER;
    if (buffer == nullptr || *bufferLength < sizeof(DWORD)) {
      *bufferLength = sizeof(DWORD);
      return ERROR_INSUFFICIENT_BUFFER;
    }
    std::memcpy(buffer, &number, sizeof number);
    *bufferLength = sizeof(DWORD);
    return 0;
  }
  DWORD needed = static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR));
  if (buffer == nullptr || *bufferLength < needed) {
    *bufferLength = needed;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::memcpy(buffer, text.c_str(), needed);
  *bufferLength = needed - static_cast<DWORD>(sizeof(WCHAR));
  return 0;
}

DWORD CopyWithLiedSize(const std::u16string& text, DWORD reported, LPVOID buffer, LPDWORD bufferLength) {
  if (bufferLength == nullptr) return ERROR_INVALID_PARAMETER;
  if (buffer == nullptr) {
    *bufferLength = reported;
    return ERROR_INSUFFICIENT_BUFFER;
  }
  std::size_t bytes = std::min<std::size_t>(*bufferLength, (text.size() + 1) * sizeof(WCHAR));
  std::memcpy(buffer, text.c_str(), bytes);
  *bufferLength = static_cast<DWORD>(bytes);
  return 0;
}

// Skips body pieces that are used up; the bytes left in the current one.
std::size_t BytesLeftInPiece(RequestState& request) {
  const auto& chunks = request.response.bodyChunks;
  while (request.chunk < chunks.size() && request.offset >= chunks[request.chunk].size()) {
    ++request.chunk;
    request.offset = 0;
  }
  return request.chunk < chunks.size() ? chunks[request.chunk].size() - request.offset : 0;
}

// The request behind `handle` in the needed phase, or the error to report.
DWORD RequestFor(State& state, HINTERNET handle, RequestPhase needed, RequestState*& request) {
  HandleInfo* info = FindHandle(state, handle, HandleKind::Request);
  if (info == nullptr) return state.handles.count(handle) ? ERROR_WINHTTP_INCORRECT_HANDLE_TYPE : ERROR_INVALID_HANDLE;
  request = &info->request;
  return request->phase == needed ? 0 : ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
}

void RecordOptionBuffer(CallRecord& record, LPVOID buffer, DWORD length) {
  if (buffer == nullptr) return;
  if (record.option == WINHTTP_OPTION_PROXY) {
    if (length != sizeof(WINHTTP_PROXY_INFO)) return;
    const auto* info = static_cast<const WINHTTP_PROXY_INFO*>(buffer);
    record.accessType = info->dwAccessType;
    record.hasProxyList = info->lpszProxy != nullptr;
    record.hasBypassList = info->lpszProxyBypass != nullptr;
    record.text = TextOf(info->lpszProxy, static_cast<DWORD>(-1));
    record.bypass = TextOf(info->lpszProxyBypass, static_cast<DWORD>(-1));
    return;
  }
  record.bytes.assign(static_cast<const char*>(buffer), length);
  if (record.option == WINHTTP_OPTION_PROXY_USERNAME || record.option == WINHTTP_OPTION_PROXY_PASSWORD) {
    record.text = TextOf(static_cast<LPCWSTR>(buffer), length / static_cast<DWORD>(sizeof(WCHAR)));
  }
}

bool SetReceiveResponseTimeout(State& state, HINTERNET handle, LPVOID buffer, DWORD length, DWORD& error) {
  HandleInfo* info = FindHandle(state, handle, HandleKind::Request);
  error = info == nullptr ? ERROR_WINHTTP_INCORRECT_HANDLE_TYPE
                          : (buffer == nullptr || length != sizeof(DWORD) ? ERROR_INVALID_PARAMETER : 0);
  if (error != 0) return false;
  std::memcpy(&info->request.receiveResponseMs, buffer, sizeof(DWORD));
  return true;
}

// The simulated wait for the head: what the call takes, unless the
// request's bound on the head comes first.
void WaitForHead(State& state, const RequestState& request, DWORD& error) {
  const DWORD takes = DurationOf(state, Call::ReceiveResponse);
  if (request.receiveResponseMs != 0 && takes >= request.receiveResponseMs) {
    state.tickMs += request.receiveResponseMs;
    error = ERROR_WINHTTP_TIMEOUT;
    return;
  }
  state.tickMs += takes;
}

// The simulated connect and send: what the call takes, unless the
// connect and send time-outs together come first.
void WaitToSend(State& state, const RequestState& request, CallRecord& record) {
  const DWORD takes = DurationOf(state, Call::SendRequest);
  const long long bound = request.sendBoundMs.value_or(state.sessionSendBoundMs);
  if (bound == 0 || takes < bound) {
    state.tickMs += takes;
    return;
  }
  state.tickMs += static_cast<ULONGLONG>(bound);
  if (record.succeeded) record.error = ERROR_WINHTTP_TIMEOUT;
  record.succeeded = false;
}

}  // namespace

BOOL WinHttpSetOption(HINTERNET handle, DWORD option, LPVOID buffer, DWORD bufferLength) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::SetOption, handle);
  record.option = option;
  record.value = bufferLength;
  RecordOptionBuffer(record, buffer, bufferLength);
  if (record.succeeded && state.handles.count(handle) == 0) {
    record.succeeded = false;
    record.error = ERROR_INVALID_HANDLE;
  } else if (record.succeeded && option == WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT) {
    record.succeeded = SetReceiveResponseTimeout(state, handle, buffer, bufferLength, record.error);
  } else if (record.succeeded && (buffer == nullptr || (option == WINHTTP_OPTION_PROXY &&
                                                        bufferLength != sizeof(WINHTTP_PROXY_INFO)))) {
    record.succeeded = false;
    record.error = ERROR_INVALID_PARAMETER;
  }
  return Finish(state, std::move(record));
}

BOOL WinHttpAddRequestHeaders(HINTERNET request, LPCWSTR headers, DWORD headersLength, DWORD modifiers) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::AddRequestHeaders, request);
  record.text = TextOf(headers, headersLength);
  record.flags = modifiers;
  record.value = headersLength;
  HandleInfo* info = FindHandle(state, request, HandleKind::Request);
  if (record.succeeded && info == nullptr) {
    record.succeeded = false;
    record.error = ERROR_INVALID_HANDLE;
  }
  if (record.succeeded) {
    record.error = info->request.headers.Add(record.text, modifiers);
    record.succeeded = record.error == 0;
  }
  return Finish(state, std::move(record));
}

BOOL WinHttpSendRequest(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                        DWORD optionalLength, DWORD totalLength, DWORD_PTR context) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::SendRequest, request);
  record.value = totalLength;
  record.nonDefaultArguments = headers != nullptr || headersLength != 0 || optional != nullptr ||
                               optionalLength != 0 || totalLength != 0 || context != 0;
  HandleInfo* info = FindHandle(state, request, HandleKind::Request);
  if (info == nullptr) {
    record.succeeded = false;
    record.error = ERROR_INVALID_HANDLE;
  } else {
    WaitToSend(state, info->request, record);
    record.text = WireHeaders(info->request);
    // A failed send leaves the request unable to receive, as a real one does.
    info->request.phase = record.succeeded ? RequestPhase::Sent : RequestPhase::Opened;
  }
  return Finish(state, std::move(record));
}

BOOL WinHttpWriteData(HINTERNET request, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::WriteData, request);
  record.value = bytesToWrite;
  RequestState* requestState = nullptr;
  if (record.succeeded) {
    record.error = RequestFor(state, request, RequestPhase::Sent, requestState);
    if (record.error == 0 && buffer == nullptr && bytesToWrite != 0) record.error = ERROR_INVALID_PARAMETER;
    record.succeeded = record.error == 0;
  }
  if (record.succeeded) {
    if (bytesToWrite != 0) record.bytes.assign(static_cast<const char*>(buffer), bytesToWrite);
    if (bytesWritten != nullptr) *bytesWritten = bytesToWrite;
  }
  return Finish(state, std::move(record));
}

BOOL WinHttpReceiveResponse(HINTERNET request, LPVOID reserved) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::ReceiveResponse, request);
  record.nonDefaultArguments = reserved != nullptr;
  // The wait takes its time whether or not the script then fails the call.
  RequestState* requestState = nullptr;
  DWORD error = RequestFor(state, request, RequestPhase::Sent, requestState);
  if (error == 0) WaitForHead(state, *requestState, error);
  if (record.succeeded) {
    record.error = error;
    record.succeeded = error == 0;
  }
  if (record.succeeded) {
    Response response = HttpReply(200, "");
    if (!state.responses.empty()) {
      response = state.responses[std::min(state.nextResponse, state.responses.size() - 1)];
      ++state.nextResponse;
    }
    requestState->response = std::move(response);
    requestState->chunk = 0;
    requestState->offset = 0;
    requestState->phase = RequestPhase::Received;
    record.value = requestState->response.status;
  }
  return Finish(state, std::move(record));
}

BOOL WinHttpQueryHeaders(HINTERNET request, DWORD infoLevel, LPCWSTR name, LPVOID buffer, LPDWORD bufferLength,
                         LPDWORD index) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::QueryHeaders, request);
  record.flags = infoLevel;
  record.value = bufferLength == nullptr ? 0 : *bufferLength;
  record.nonDefaultArguments = name != nullptr || index != nullptr;
  RequestState* requestState = nullptr;
  if (record.succeeded) record.error = RequestFor(state, request, RequestPhase::Received, requestState);
  std::u16string text;
  if (record.succeeded && record.error == 0) {
    record.error = LookUpHeader(*requestState, infoLevel & ~static_cast<DWORD>(WINHTTP_QUERY_FLAG_NUMBER), text);
  }
  bool lying = record.succeeded && record.error == 0 && infoLevel == WINHTTP_QUERY_RAW_HEADERS_CRLF &&
               requestState->response.reportedHeaderBytes != 0;
  if (lying) {
    record.error = CopyWithLiedSize(text, requestState->response.reportedHeaderBytes, buffer, bufferLength);
  } else if (record.succeeded && record.error == 0) {
    record.error = CopyHeaderOut(text, (infoLevel & WINHTTP_QUERY_FLAG_NUMBER) != 0, buffer, bufferLength);
    record.text = text;
  }
  record.succeeded = record.succeeded && record.error == 0;
  return Finish(state, std::move(record));
}

BOOL WinHttpQueryDataAvailable(HINTERNET request, LPDWORD bytesAvailable) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::QueryDataAvailable, request);
  RequestState* requestState = nullptr;
  if (record.succeeded) {
    record.error = RequestFor(state, request, RequestPhase::Received, requestState);
    record.succeeded = record.error == 0;
  }
  if (record.succeeded) {
    record.value = static_cast<DWORD>(BytesLeftInPiece(*requestState));
    if (bytesAvailable != nullptr) *bytesAvailable = record.value;
    // Each piece takes its time to come; the end of the body is known at once.
    if (record.value != 0) state.tickMs += DurationOf(state, Call::QueryDataAvailable);
  }
  return Finish(state, std::move(record));
}

BOOL WinHttpReadData(HINTERNET request, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, Call::ReadData, request);
  RequestState* requestState = nullptr;
  if (record.succeeded) {
    record.error = RequestFor(state, request, RequestPhase::Received, requestState);
    if (record.error == 0 && buffer == nullptr) record.error = ERROR_INVALID_PARAMETER;
    record.succeeded = record.error == 0;
  }
  if (record.succeeded) {
    std::size_t count = requestState->response.readsNothing
                            ? 0
                            : std::min<std::size_t>(bytesToRead, BytesLeftInPiece(*requestState));
    if (count != 0) {
      std::memcpy(buffer, requestState->response.bodyChunks[requestState->chunk].data() + requestState->offset, count);
    }
    requestState->offset += count;
    record.value = static_cast<DWORD>(count + (requestState->response.claimsMoreRead ? 1 : 0));
    if (bytesRead != nullptr) *bytesRead = record.value;
  }
  return Finish(state, std::move(record));
}
