// Scripting and inspection side of the fake: what tests call.
#include <algorithm>
#include <cstring>

#include "fake_state.h"

namespace fake {
namespace detail {

State& TheState() {
  static State state;
  return state;
}

DWORD DurationOf(const State& state, Call call) {
  auto found = state.durations.find(call);
  return found == state.durations.end() ? 0 : found->second;
}

CallRecord BeginCall(State& state, Call call, HINTERNET handle) {
  CallRecord record;
  record.call = call;
  record.handle = handle;
  record.succeeded = true;
  // The waits for a send, a head and body bytes are timed where they happen.
  if (call != Call::ReceiveResponse && call != Call::QueryDataAvailable && call != Call::SendRequest) {
    state.tickMs += DurationOf(state, call);
  }
  std::size_t nth = ++state.callCounts[call];
  for (const FailureRule& rule : state.failures) {
    if (rule.call == call && nth >= rule.fromNth && nth - rule.fromNth < rule.count) {
      record.error = rule.error;
      record.succeeded = false;
      break;
    }
  }
  return record;
}

BOOL Finish(State& state, CallRecord record) {
  if (!record.succeeded) SetLastError(record.error);
  BOOL result = record.succeeded ? TRUE : FALSE;
  state.journal.push_back(std::move(record));
  return result;
}

HINTERNET NewHandle(State& state, HandleKind kind) {
  state.nextHandle += 0x10;
  auto* handle = reinterpret_cast<HINTERNET>(state.nextHandle);
  state.handles[handle].kind = kind;
  return handle;
}

HandleInfo* FindHandle(State& state, HINTERNET handle, HandleKind kind) {
  auto found = state.handles.find(handle);
  if (found == state.handles.end() || found->second.kind != kind) return nullptr;
  return &found->second;
}

LPWSTR HandOut(State& state, const std::string& label, const std::optional<std::u16string>& text) {
  if (!text) return nullptr;
  auto tracked = std::make_unique<TrackedString>();
  tracked->label = label;
  tracked->text = *text;
  LPWSTR pointer = tracked->text.data();
  state.handedOut.push_back(std::move(tracked));
  return pointer;
}

std::u16string Widen(const std::string& bytes) {
  std::u16string wide;
  wide.reserve(bytes.size());
  for (char byte : bytes) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(byte)));
  return wide;
}

std::u16string TextOf(LPCWSTR text, DWORD length) {
  if (text == nullptr) return {};
  if (length == static_cast<DWORD>(-1)) return std::u16string(text);
  return std::u16string(text, length);
}

}  // namespace detail

using detail::TheState;

const char* CallName(Call call) {
  static const char* const names[] = {
      "WinHttpOpen", "WinHttpSetTimeouts", "WinHttpCrackUrl", "WinHttpConnect", "WinHttpOpenRequest",
      "WinHttpSetOption", "WinHttpAddRequestHeaders", "WinHttpSendRequest", "WinHttpWriteData",
      "WinHttpReceiveResponse", "WinHttpQueryHeaders", "WinHttpQueryDataAvailable", "WinHttpReadData",
      "WinHttpCloseHandle", "WinHttpGetIEProxyConfigForCurrentUser", "WinHttpGetProxyForUrl",
      "GlobalFree", "MultiByteToWideChar", "WideCharToMultiByte"};
  return names[static_cast<std::size_t>(call)];
}

Response HttpReply(DWORD status, const std::string& body, const std::string& extraHeaderLines,
                   std::size_t chunkBytes) {
  Response response;
  response.status = status;
  response.rawHeaders = "HTTP/1.1 " + std::to_string(status) + " Scripted\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n" + extraHeaderLines + "\r\n";
  std::size_t piece = chunkBytes == 0 ? std::max<std::size_t>(body.size(), 1) : chunkBytes;
  for (std::size_t at = 0; at < body.size(); at += piece) response.bodyChunks.push_back(body.substr(at, piece));
  return response;
}

void Reset() {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.responses.clear();
  state.nextResponse = 0;
  state.failures.clear();
  state.callCounts.clear();
  state.userConfig = {};
  state.resolved = {};
  state.journal.clear();
  state.handles.clear();
  state.badCloses = 0;
  state.handedOut.clear();
  state.unknownFrees = 0;
  state.tickMs = detail::kClockStartMs;
  state.sessionSendBoundMs = 0;
  state.durations.clear();
  state.cutsRawHeads = false;
}

void SetCutsRawHeads(bool cuts) {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.cutsRawHeads = cuts;
}

void SetCallDuration(Call call, DWORD ms) {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.durations[call] = ms;
}

ULONGLONG ClockMs() {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.tickMs;
}

void QueueResponse(Response response) {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.responses.push_back(std::move(response));
}

void FailCall(Call call, DWORD error, std::size_t fromNth, std::size_t count) {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.failures.push_back({call, error, fromNth, count});
}

void SetUserProxyConfig(UserProxyConfig config) {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.userConfig = std::move(config);
}

void SetResolvedProxy(ResolvedProxy resolved) {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.resolved = std::move(resolved);
}

std::vector<CallRecord> Journal() {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.journal;
}

std::vector<CallRecord> CallsOf(Call call) {
  std::vector<CallRecord> matching;
  for (CallRecord& record : Journal()) {
    if (record.call == call) matching.push_back(std::move(record));
  }
  return matching;
}

std::size_t CountOf(Call call) { return CallsOf(call).size(); }

std::string WrittenBytes() {
  std::string written;
  for (const CallRecord& record : CallsOf(Call::WriteData)) written += record.bytes;
  return written;
}

std::size_t OpenHandleCount() {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.handles.size();
}

std::size_t BadCloseCount() {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.badCloses;
}

std::vector<HandedOutString> HandedOutStrings() {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  std::vector<HandedOutString> strings;
  for (const auto& tracked : state.handedOut) strings.push_back({tracked->label, tracked->text, tracked->freeCount});
  return strings;
}

std::size_t UnknownFreeCount() {
  detail::State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.unknownFrees;
}

}  // namespace fake

ULONGLONG GetTickCount64() { return fake::ClockMs(); }

bool PlatformMayCutRawHeads() {
  fake::detail::State& state = fake::detail::TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.cutsRawHeads;
}
