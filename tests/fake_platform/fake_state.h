// Internal state shared by the fake's translation units.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fake_platform.h"
#include "platform/linux/request_headers.h"

namespace fake::detail {

enum class HandleKind { Session, Connection, Request };
enum class RequestPhase { Opened, Sent, Received };

struct RequestState {
  winhttp_linux::RequestHeaders headers;  // merged by the Linux stand-in's rules
  RequestPhase phase = RequestPhase::Opened;
  Response response;
  std::size_t chunk = 0;   // current body piece
  std::size_t offset = 0;  // bytes of it already read
  DWORD receiveResponseMs = 0;  // WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT; 0: none
  // Connect plus send time-out set on the request itself (0: none, as a 0
  // time-out means to the platform); unset: the session's.
  std::optional<long long> sendBoundMs;
};

struct HandleInfo {
  HandleKind kind = HandleKind::Session;
  RequestState request;
};

struct FailureRule {
  Call call;
  DWORD error;
  std::size_t fromNth;
  std::size_t count;
};

struct TrackedString {
  std::string label;
  std::u16string text;  // storage handed out; never resized while tracked
  std::size_t freeCount = 0;
};

// Where the simulated clock starts: far from 0, so that arithmetic
// below the start would show.
constexpr ULONGLONG kClockStartMs = 1000000000;

struct State {
  std::mutex mutex;
  std::vector<Response> responses;
  std::size_t nextResponse = 0;
  std::vector<FailureRule> failures;
  std::map<Call, std::size_t> callCounts;
  UserProxyConfig userConfig;
  ResolvedProxy resolved;
  std::vector<CallRecord> journal;
  std::map<HINTERNET, HandleInfo> handles;
  std::uintptr_t nextHandle = 0x1000;
  std::size_t badCloses = 0;
  std::vector<std::unique_ptr<TrackedString>> handedOut;
  std::size_t unknownFrees = 0;
  ULONGLONG tickMs = kClockStartMs;
  long long sessionSendBoundMs = 0;  // connect plus send time-out of the sessions; 0: none
  std::map<Call, DWORD> durations;
  bool cutsRawHeads = false;
};

State& TheState();

// How long a call of this kind takes on the simulated clock.
DWORD DurationOf(const State& state, Call call);

// The record a call starts with: counted, and failed (with the scripted
// error) when the script says so.
CallRecord BeginCall(State& state, Call call, HINTERNET handle = nullptr);

// Journals `record`, sets the thread's last error on failure, returns the
// BOOL the call gives back.
BOOL Finish(State& state, CallRecord record);

HINTERNET NewHandle(State& state, HandleKind kind);
HandleInfo* FindHandle(State& state, HINTERNET handle, HandleKind kind);

// A tracked copy of `text` (zero-terminated), or null when absent.
LPWSTR HandOut(State& state, const std::string& label, const std::optional<std::u16string>& text);

std::u16string Widen(const std::string& bytes);
std::u16string TextOf(LPCWSTR text, DWORD length);  // length (DWORD)-1: up to the zero

}  // namespace fake::detail
