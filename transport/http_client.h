// A small synchronous HTTP client over WinHTTP: one object per endpoint,
// given the bytes to upload and extra header lines, one exchange with Send,
// the decoded reply from GetResponseText. Any response that arrives counts
// as a successful exchange, whatever its status.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/seam.h"
#include "transport/call_deadline.h"
#include "transport/owned_block.h"

namespace pattern {
struct CaptureSpan;
}

namespace transport {

// Download progress: percent of the announced length, bytes so far, bytes
// announced.
using ProgressCallback = void (*)(double percent, std::uint32_t received, std::uint32_t total);

constexpr std::uint32_t kInitialBodyCapacity = 10240;
// Larger bodies are refused: no reply of these services comes near it, and
// the decoded text must stay within the platform's int-sized conversions.
constexpr std::uint32_t kMaxBodyBytes = 16u * 1024u * 1024u;
// Longer response heads are refused, as Windows' WinHTTP refuses them by
// default: a platform that takes them must not answer otherwise.
constexpr std::size_t kMaxHeadUnits = 64u * 1024u;
constexpr int kMaxAttempts = 3;

// `lastError` for a GET page that came in truncated (ERROR_INVALID_DATA).
constexpr std::uint32_t kErrorInvalidData = 13;

class HttpClient {
 public:
  explicit HttpClient(WideString url);
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Keeps a private copy of the bytes to upload. False (and nothing kept)
  // when the copy cannot be allocated.
  bool SetPostData(const void* bytes, std::uint32_t length);
  // Header lines, each ending in CR LF.
  void SetExtraHeaders(const WideString& text);
  // "GET" or "POST" in any letter case. Starts no wait once CallDeadlineMs
  // of the time-outs has passed; a call ended by the deadline fails with
  // kErrorTimeout. How long the wait in progress may then take is the
  // platform's: one time-out where it bounds a whole stage or each read,
  // more where a server trickles a stage that it bounds per read only (the
  // public headers list the stages).
  bool Send(const WideString& verb);
  WideString GetResponseText() const { return responseText_; }
  // Hands the text over without copying it; the client keeps none.
  WideString TakeResponseText() { return std::move(responseText_); }

  // Settings that keep their defaults in the libraries.
  void SetVerifyCertificates(bool verify) { verifyCertificates_ = verify; }
  void SetProxy(const WideString& server, const WideString& user = {}, const WideString& password = {});
  void SetOutgoingCookies(const WideString& cookies) { outgoingCookies_ = cookies; }
  void SetUserAgent(const WideString& agent) { userAgent_ = agent; }
  void SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs);
  // Decode with `charset` whatever the response headers say.
  void SetFixedCharset(const WideString& charset);
  void SetProgressCallback(ProgressCallback callback) { progressCallback_ = callback; }

  // Results of the latest exchange.
  std::uint32_t LastError() const { return lastError_; }
  const WideString& Host() const { return host_; }
  const WideString& ResponseHeaders() const { return responseHeaders_; }
  const WideString& ResponseCharset() const { return responseCharset_; }
  const WideString& StatusCode() const { return statusCode_; }
  const WideString& ReceivedCookies() const { return receivedCookies_; }
  const WideString& RedirectLocation() const { return redirectLocation_; }
  std::uint32_t ContentLength() const { return contentLength_; }
  std::uint32_t BodyLength() const { return bodyLength_; }
  // Attempts the latest Send started (up to kMaxAttempts).
  int AttemptsMade() const { return attemptsMade_; }
  // The proxy a request of the latest Send went through: one the fallback
  // set for an attempt that followed, else the client's own; empty for none.
  WideString ProxyUsed() const { return attemptsMade_ >= proxyFromAttempt_ ? proxyUsed_ : proxyServer_; }
  // Milliseconds the latest Send has taken so far.
  std::uint64_t ElapsedMs() const { return deadline_.ElapsedMs(); }

 private:
  enum class BodyRead { Ok, NoBuffer, CutShort };
  enum class Attempt { Failed, Complete, CutShort, Abandoned };
  // What a response head is worth: a whole final head, one refused (the
  // reason in `lastError`), or one that could not be held for lack of
  // memory (the charset may then be missing, so the reply is not trusted).
  enum class Head { Whole, Refused, NoMemory };
  // What every attempt's request is opened for.
  struct RequestTarget {
    WideString path;
    bool secure = false;
    bool isGet = false;
  };

  bool OpenSession();
  // True, with the time-out as `lastError`, once the deadline has passed:
  // no further wait is started then.
  bool OutOfTime();
  // The time left, at least 1 ms; false, with the time-out as `lastError`,
  // once the deadline has passed.
  bool TimeLeft(DWORD& remainingMs);
  // What one attempt's time-outs add up to.
  std::uint64_t AttemptMs() const;
  // A late attempt's waits are shortened to the time left; false (the
  // exchange ends) once there is none.
  bool LimitWaitsToBudget(HINTERNET request);
  // The wait for the response head ends within one receive time-out and
  // the time left, however the server paces it (where the platform bounds
  // the whole head); false once there is no time left.
  bool BoundHeaderWait(HINTERNET request);
  // Whether a proxy script lookup may start: only with one attempt's
  // time-outs left, since nothing bounds the lookup itself.
  bool MayLookUpScriptProxy();
  bool RunAttempts(HINTERNET connection, const RequestTarget& target);
  // A request handle of the attempt's own, so that nothing an earlier
  // attempt's connection still holds can be read as this attempt's answer.
  HINTERNET OpenRequest(HINTERNET connection, const RequestTarget& target);
  Attempt RunAttempt(HINTERNET request, bool isGet);
  bool AddHeaderLines(HINTERNET request);
  bool AddHeaderText(HINTERNET request, const WideString& lines);
  void ApplyFallbackProxy(HINTERNET request);
  void ApplyOwnProxy(HINTERNET request);
  void SetTextOption(HINTERNET request, DWORD option, const WideString& text);
  void UploadPostData(HINTERNET request);

  bool ProxyFallback(HINTERNET session, HINTERNET request, const WideString& url);
  bool SendThroughScriptProxy(HINTERNET session, HINTERNET request, const WideString& url,
                              const WideChar* scriptUrl);
  // Kept for the next attempt, whose request goes through it.
  void KeepFixedProxy(const WideChar* proxyList, const WideChar* bypassList);
  // For the report: `proxy` carries the requests from attempt `fromAttempt` on.
  void RecordProxy(const WideChar* proxy, int fromAttempt);

  // Only a whole final head is taken: one over kMaxHeadUnits, one with an
  // interim status (1xx), or one the platform cut before its blank line is
  // refused.
  Head ExtractResponseHeaders(HINTERNET request);
  void TakeHeaderValues();
  void AppendCookies(const WideChar* text, const std::vector<pattern::CaptureSpan>& values);

  BodyRead ReadResponseBody(HINTERNET request);
  BodyRead ReadBodyChunks(HINTERNET request, std::uint64_t wanted, std::uint64_t& total, std::uint64_t& capacity);
  bool StoreChunk(const unsigned char* chunk, std::uint64_t read, std::uint64_t& total, std::uint64_t& capacity);
  // Records `error` and ends the read cut short.
  BodyRead Refuse(std::uint32_t error);
  // False when the body could not be turned into text; `responseText`
  // then still holds an earlier reply or nothing.
  bool DecodeResponseBody();
  // Records the platform's reason why the body could not be decoded.
  bool Undecodable();
  bool ReportProgress(std::uint32_t received);

  HINTERNET session_ = nullptr;
  bool verifyCertificates_ = false;
  WideString url_;
  WideString host_;
  WideString responseHeaders_;
  WideString responseText_;
  WideString responseCharset_;
  Block<unsigned char> bodyBuffer_;
  std::uint32_t bodyLength_ = 0;
  ProgressCallback progressCallback_ = nullptr;
  std::uint32_t contentLength_ = 0;
  WideString receivedCookies_;
  WideString outgoingCookies_;
  Block<unsigned char> postData_;
  std::uint32_t postDataLength_ = 0;
  WideString extraHeaders_;
  WideString proxyServer_;
  std::uint32_t lastError_ = 0;
  WideString statusCode_;
  WideString userAgent_ = WTEXT("WinHttpClient");
  bool charsetFixed_ = false;
  WideString proxyUser_;
  WideString proxyPassword_;
  WideString redirectLocation_;
  int resolveTimeoutMs_ = 0;
  int connectTimeoutMs_ = 60000;
  int sendTimeoutMs_ = 30000;
  int receiveTimeoutMs_ = 30000;
  CallDeadline deadline_;
  // The user's fixed proxy, once a failed send has fallen back to it; an
  // empty bypass list stands for none.
  WideString fallbackProxy_;
  WideString fallbackBypass_;
  int attemptsMade_ = 0;
  // The fallback's proxy, and the first attempt that goes through it.
  WideString proxyUsed_;
  int proxyFromAttempt_ = kMaxAttempts + 1;
};

}  // namespace transport
