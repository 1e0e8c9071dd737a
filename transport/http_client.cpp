// Construction, settings and the outer steps of one exchange: session,
// time-outs, URL, connection and request handles.
#include "transport/http_client.h"

#include <cstring>
#include <utility>

#include "transport/handle_guard.h"
#include "transport/wide_text.h"

namespace transport {
namespace {

constexpr std::uint32_t kErrorPathNotFound = 3;
constexpr std::uint32_t kErrorInvalidParameter = 87;
constexpr DWORD kHostBufferChars = 260;
constexpr DWORD kPathBufferChars = 1300;
constexpr DWORD kIgnoreCertificateErrors =
    SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID | SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;

struct UrlParts {
  INTERNET_SCHEME scheme = 0;
  INTERNET_PORT port = 0;
  WideString host;
  WideString path;
};

// Redirects are not followed: a 3xx is the server's answer like any other,
// and following it would re-send the form elsewhere, or as a GET without
// it, and report that page. No connection outlives its exchange: a pooled
// one could hand a later call what a server sent after this one's answer.
constexpr DWORD kDisabledFeatures = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE;

bool CrackEndpoint(const WideString& url, UrlParts& parts) {
  WideChar host[kHostBufferChars] = {};
  WideChar path[kPathBufferChars] = {};
  URL_COMPONENTS components;
  std::memset(&components, 0, sizeof components);
  components.dwStructSize = sizeof components;
  components.dwSchemeLength = 1;
  components.lpszHostName = host;
  components.dwHostNameLength = kHostBufferChars;
  components.lpszUrlPath = path;
  components.dwUrlPathLength = kPathBufferChars;
  if (!WinHttpCrackUrl(url.c_str(), static_cast<DWORD>(url.size()), 0, &components)) return false;
  parts.scheme = components.nScheme;
  parts.port = components.nPort;
  parts.host = TextUpToZero(host, kHostBufferChars);
  parts.path = TextUpToZero(path, kPathBufferChars);
  return true;
}

}  // namespace

HttpClient::HttpClient(WideString url) : url_(std::move(url)) {}

HttpClient::~HttpClient() {
  bodyBuffer_.reset();
  postData_.reset();
  if (session_ != nullptr) WinHttpCloseHandle(session_);
}

bool HttpClient::SetPostData(const void* bytes, std::uint32_t length) {
  postData_.reset();
  Block<unsigned char> copy = AllocateBlock<unsigned char>(length);
  if (!copy) return false;
  if (length != 0) std::memcpy(copy.get(), bytes, length);
  postData_ = std::move(copy);
  postDataLength_ = length;
  return true;
}

void HttpClient::SetExtraHeaders(const WideString& text) { extraHeaders_ = text; }

void HttpClient::SetProxy(const WideString& server, const WideString& user, const WideString& password) {
  proxyServer_ = server;
  proxyUser_ = user;
  proxyPassword_ = password;
}

void HttpClient::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
  resolveTimeoutMs_ = resolveMs;
  connectTimeoutMs_ = connectMs;
  sendTimeoutMs_ = sendMs;
  receiveTimeoutMs_ = receiveMs;
}

void HttpClient::SetFixedCharset(const WideString& charset) {
  responseCharset_ = charset;
  charsetFixed_ = true;
}

bool HttpClient::OpenSession() {
  if (session_ != nullptr) return true;
  session_ = WinHttpOpen(userAgent_.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, 0);
  if (session_ != nullptr) return true;
  lastError_ = GetLastError();
  return false;
}

bool HttpClient::Send(const WideString& verb) {
  if (url_.empty()) {
    lastError_ = kErrorPathNotFound;
    return false;
  }
  bool isGet = EqualsIgnoringCase(verb, WTEXT("get"));
  if (!isGet && !EqualsIgnoringCase(verb, WTEXT("post"))) {
    lastError_ = kErrorInvalidParameter;
    return false;
  }
  deadline_.Start(CallDeadlineMs(connectTimeoutMs_, sendTimeoutMs_, receiveTimeoutMs_));
  if (!OpenSession()) return false;
  WinHttpSetTimeouts(session_, resolveTimeoutMs_, connectTimeoutMs_, sendTimeoutMs_, receiveTimeoutMs_);

  UrlParts target;
  if (!CrackEndpoint(url_, target)) return false;
  host_ = target.host;
  HandleGuard connection(WinHttpConnect(session_, host_.c_str(), target.port, 0));
  if (connection.get() == nullptr) return false;
  fallbackProxy_.clear();
  fallbackBypass_.clear();
  return RunAttempts(connection.get(), {target.path, target.scheme == INTERNET_SCHEME_HTTPS, isGet});
}

HINTERNET HttpClient::OpenRequest(HINTERNET connection, const RequestTarget& target) {
  HINTERNET request = WinHttpOpenRequest(connection, target.isGet ? WTEXT("GET") : WTEXT("POST"),
                                         target.path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, target.secure ? WINHTTP_FLAG_SECURE : 0);
  if (request == nullptr) return nullptr;
  if (target.secure && !verifyCertificates_) {
    DWORD flags = kIgnoreCertificateErrors;
    WinHttpSetOption(request, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
  }
  DWORD disabled = kDisabledFeatures;
  WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof disabled);
  return request;
}

}  // namespace transport
