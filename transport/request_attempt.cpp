// The attempt loop, each attempt on a request handle of its own: header
// lines, proxies, send (with the proxy fallback), upload, response, body.
#include "transport/handle_guard.h"
#include "transport/header_extraction.h"
#include "transport/http_client.h"

namespace transport {

bool HttpClient::RunAttempts(HINTERNET connection, const RequestTarget& target) {
  for (int attempt = 0; attempt < kMaxAttempts; ++attempt) {
    if (OutOfTime()) return false;
    HandleGuard request(OpenRequest(connection, target));
    if (request.get() == nullptr) return false;
    attemptsMade_ = attempt + 1;
    Attempt outcome = RunAttempt(request.get(), target.isGet);
    if (outcome != Attempt::Failed) return outcome == Attempt::Complete;
  }
  return false;
}

HttpClient::Attempt HttpClient::RunAttempt(HINTERNET request, bool isGet) {
  // Without its header lines the body would go out without its length.
  if (!AddHeaderLines(request)) return Attempt::Failed;
  ApplyFallbackProxy(request);
  ApplyOwnProxy(request);
  if (!LimitWaitsToBudget(request) || !BoundHeaderWait(request)) return Attempt::Abandoned;
  if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0)) {
    // The send's own reason stands unless the fallback records a later one.
    lastError_ = GetLastError();
    if (!ProxyFallback(session_, request, url_)) return Attempt::Failed;
  }
  if (OutOfTime()) return Attempt::Abandoned;
  UploadPostData(request);
  if (!BoundHeaderWait(request)) return Attempt::Abandoned;
  if (!WinHttpReceiveResponse(request, nullptr)) {
    lastError_ = GetLastError();
    return Attempt::Failed;
  }
  const Head head = ExtractResponseHeaders(request);
  if (head == Head::Refused) return Attempt::Failed;
  BodyRead body = ReadResponseBody(request);
  if (body == BodyRead::NoBuffer) return Attempt::Abandoned;
  const bool decoded = DecodeResponseBody();
  if (isGet && !CheckHtmlComplete(responseText_)) {
    lastError_ = kErrorInvalidData;
    return Attempt::Failed;
  }
  // A reply decoded without its charset, or not decoded at all, would be
  // handed on as the server's answer: such an attempt ends cut short.
  return body == BodyRead::Ok && head == Head::Whole && decoded ? Attempt::Complete : Attempt::CutShort;
}

bool HttpClient::AddHeaderLines(HINTERNET request) {
  if (!extraHeaders_.empty() && !AddHeaderText(request, extraHeaders_)) return false;
  return outgoingCookies_.empty() || AddHeaderText(request, WTEXT("Cookie: ") + outgoingCookies_);
}

bool HttpClient::AddHeaderText(HINTERNET request, const WideString& lines) {
  if (WinHttpAddRequestHeaders(request, lines.c_str(), static_cast<DWORD>(lines.size()),
                               WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON)) {
    return true;
  }
  lastError_ = GetLastError();
  return false;
}

void HttpClient::ApplyFallbackProxy(HINTERNET request) {
  if (fallbackProxy_.empty()) return;
  WINHTTP_PROXY_INFO record;
  record.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
  record.lpszProxy = fallbackProxy_.data();
  record.lpszProxyBypass = fallbackBypass_.empty() ? nullptr : fallbackBypass_.data();
  if (!WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &record, sizeof record)) {
    lastError_ = GetLastError();
    return;
  }
  RecordProxy(fallbackProxy_.c_str(), attemptsMade_);
}

void HttpClient::ApplyOwnProxy(HINTERNET request) {
  if (proxyServer_.empty()) return;
  // The record points at the whole text, however long: WinHttpSetOption
  // takes its own copy.
  WideString proxy = proxyServer_;
  WINHTTP_PROXY_INFO record;
  record.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
  record.lpszProxy = proxy.data();
  record.lpszProxyBypass = nullptr;
  if (!WinHttpSetOption(request, WINHTTP_OPTION_PROXY, &record, sizeof record)) lastError_ = GetLastError();
  if (proxyUser_.empty()) return;
  SetTextOption(request, WINHTTP_OPTION_PROXY_USERNAME, proxyUser_);
  if (!proxyPassword_.empty()) SetTextOption(request, WINHTTP_OPTION_PROXY_PASSWORD, proxyPassword_);
}

void HttpClient::SetTextOption(HINTERNET request, DWORD option, const WideString& text) {
  WideString copy = text;
  if (!WinHttpSetOption(request, option, copy.data(), static_cast<DWORD>(copy.size() * sizeof(WideChar)))) {
    lastError_ = GetLastError();
  }
}

void HttpClient::UploadPostData(HINTERNET request) {
  if (!postData_) return;
  DWORD written = 0;
  if (!WinHttpWriteData(request, postData_.get(), postDataLength_, &written)) lastError_ = GetLastError();
}

}  // namespace transport
