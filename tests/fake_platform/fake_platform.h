// A scriptable stand-in for the WinHTTP and kernel32 calls of
// platform/linux/winhttp_api.h, for unit tests that must control every
// answer the platform gives and see every call the core makes.
//
// How to use:
//
//   fake::Reset();                                   // fresh script, empty journal
//   fake::QueueResponse(fake::HttpReply(200, "42")); // answers of ReceiveResponse
//   fake::FailCall(fake::Call::SendRequest, ERROR_WINHTTP_CANNOT_CONNECT, 1, 2);
//   ... run the code under test ...
//   EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), 3u);
//   EXPECT_EQ(fake::WrittenBytes(), "a=1&b=2");
//   EXPECT_EQ(fake::OpenHandleCount(), 0u);
//
// Every successful WinHttpReceiveResponse takes the next queued response;
// the last one repeats; with none queued it is a 200 with an empty body.
// Headers added to a request are kept as WinHTTP would (ADD, REPLACE,
// ADD_IF_NEW and both COALESCE flags) and each WinHttpSendRequest journals
// the header block it would put on the wire.
//
// All state is process-wide and guarded by one mutex; GetLastError is per
// thread. Strings handed out by the proxy functions stay allocated until the
// next Reset, so a second GlobalFree is counted instead of crashing.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "platform/seam.h"

namespace fake {

enum class Call {
  Open,
  SetTimeouts,
  CrackUrl,
  Connect,
  OpenRequest,
  SetOption,
  AddRequestHeaders,
  SendRequest,
  WriteData,
  ReceiveResponse,
  QueryHeaders,
  QueryDataAvailable,
  ReadData,
  CloseHandle,
  GetIEProxyConfig,
  GetProxyForUrl,
  GlobalFree,
  MultiByteToWideChar,
  WideCharToMultiByte,
};

const char* CallName(Call call);

// One answer to WinHttpReceiveResponse.
struct Response {
  DWORD status = 200;
  // Raw header block, widened byte for byte, e.g.
  // "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n". The Content-Length that
  // WinHttpQueryHeaders reports as a number is read from these lines.
  std::string rawHeaders;
  // The body, delivered in these pieces: each QueryDataAvailable reports
  // what is left of the current piece.
  std::vector<std::string> bodyChunks;
  // When not 0, a platform that lies about the raw headers: their size
  // query reports this many bytes, and a query with a buffer fills as much
  // of it as the text covers, with no terminator when the text is longer.
  DWORD reportedHeaderBytes = 0;
  // A platform that reports the body's bytes as available but reads none.
  bool readsNothing = false;
  // A platform that claims one byte more read than it was asked for (and
  // wrote only what it was asked for).
  bool claimsMoreRead = false;
};

// A response with a status line, a Content-Length line for `body`, then
// `extraHeaderLines` (each ending in CR LF), the blank line, and the body
// in pieces of `chunkBytes` (0 = one piece).
Response HttpReply(DWORD status, const std::string& body, const std::string& extraHeaderLines = "",
                   std::size_t chunkBytes = 0);

void Reset();
void QueueResponse(Response response);

// Simulated time: GetTickCount64 reads a clock that moves only when a call
// takes time. Each call of `call` takes `ms`, as a server would make it
// wait, except a WinHttpQueryDataAvailable that reports the end of the
// body. Two waits have a bound that ends them with ERROR_WINHTTP_TIMEOUT:
// WinHttpSendRequest the connect and send time-outs together (the
// request's own, else the session's), WinHttpReceiveResponse the request's
// WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT. A time-out of 0 is none, as to
// the platform.
void SetCallDuration(Call call, DWORD ms);

// A platform that may hand back a raw head cut before its blank line as if
// whole, as Wine's WinHTTP does (PlatformMayCutRawHeads then says so).
void SetCutsRawHeads(bool cuts);
ULONGLONG ClockMs();

// Calls number `fromNth` .. `fromNth + count - 1` (1-based, counted per
// function since the last Reset) fail with `error`.
void FailCall(Call call, DWORD error, std::size_t fromNth = 1, std::size_t count = static_cast<std::size_t>(-1));

// What WinHttpGetIEProxyConfigForCurrentUser reports. Present strings are
// handed out as fresh tracked allocations on each call.
struct UserProxyConfig {
  BOOL autoDetect = FALSE;
  std::optional<std::u16string> autoConfigUrl;
  std::optional<std::u16string> proxy;
  std::optional<std::u16string> bypass;
};
void SetUserProxyConfig(UserProxyConfig config);

// What WinHttpGetProxyForUrl fills in when it succeeds (make it fail with
// FailCall(Call::GetProxyForUrl, ...)).
struct ResolvedProxy {
  DWORD accessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
  std::optional<std::u16string> proxy;
  std::optional<std::u16string> bypass;
};
void SetResolvedProxy(ResolvedProxy resolved);

// One call as the core made it. Only the fields that the call has are set.
struct CallRecord {
  Call call = Call::Open;
  HINTERNET handle = nullptr;  // the handle the call was made on
  HINTERNET opened = nullptr;  // the handle it returned, if any
  bool succeeded = false;
  DWORD error = 0;             // what GetLastError reports after a failure

  std::u16string text;    // agent, URL, server, verb, headers, proxy list, option text
  std::u16string path;    // OpenRequest object name
  std::u16string bypass;  // proxy bypass list of an option record
  DWORD flags = 0;        // open/request flags, header modifiers, info level, code page flags
  DWORD option = 0;       // SetOption option number
  DWORD accessType = 0;   // WINHTTP_PROXY_INFO access type, WinHttpOpen access type
  DWORD value = 0;        // DWORD option value, port, byte or character count
  bool hasProxyList = false;   // proxy record carried a proxy list (not null)
  bool hasBypassList = false;  // proxy record carried a bypass list (not null)
  bool nonDefaultArguments = false;  // SendRequest given headers, data, lengths or a context
  UINT codePage = 0;      // MultiByteToWideChar / WideCharToMultiByte
  std::string bytes;      // bytes written, or the raw option buffer
  int timeouts[4] = {0, 0, 0, 0};

  // WinHttpGetProxyForUrl: the auto-proxy options as passed
  DWORD autoProxyFlags = 0;
  DWORD autoDetectFlags = 0;
  std::u16string autoConfigUrl;
  bool reservedPointerNull = true;
  DWORD reservedNumber = 0;
  BOOL autoLogonIfChallenged = FALSE;
};

std::vector<CallRecord> Journal();
std::vector<CallRecord> CallsOf(Call call);
std::size_t CountOf(Call call);
// Every byte passed to WinHttpWriteData, in order.
std::string WrittenBytes();
// Handles returned by WinHttpOpen/Connect/OpenRequest and not yet closed.
std::size_t OpenHandleCount();
// WinHttpCloseHandle calls on handles that were not open.
std::size_t BadCloseCount();

// A string handed out by the proxy functions, with how often it was freed.
struct HandedOutString {
  std::string label;  // "autoConfigUrl", "proxy", "bypass", "resolvedProxy", "resolvedBypass"
  std::u16string text;
  std::size_t freeCount = 0;
};
std::vector<HandedOutString> HandedOutStrings();
// GlobalFree calls with a pointer the fake never handed out (null excluded).
std::size_t UnknownFreeCount();

}  // namespace fake
