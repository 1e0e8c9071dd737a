// Values taken out of the response headers: raw text, charset, content
// length, location digits, cookies, status code; and the GET page check.
#include "transport/header_extraction.h"

#include <vector>

#include "pattern/pattern_search.h"
#include "transport/form_post.h"
#include "transport/http_client.h"
#include "transport/wide_text.h"

namespace transport {
namespace {

// Each header pattern with the literal every one of its matches begins
// with (lower case; matching ignores ASCII case). Text in front of the
// literal's first occurrence cannot hold a match, and a head without it
// holds none, so the search starts there or is skipped: most heads carry
// only one of the four, and compiling a pattern costs more than the
// search itself.
struct HeaderPattern {
  const WideChar* pattern;
  const WideChar* lead;
};

const HeaderPattern kCharsetPattern = {WTEXT("charset={[A-Za-z0-9\\-_]+}"), WTEXT("charset=")};
const HeaderPattern kContentLengthPattern = {WTEXT("Content-Length: {[0-9]+}"), WTEXT("content-length: ")};
const HeaderPattern kLocationPattern = {WTEXT("Location: {[0-9]+}"), WTEXT("location: ")};
const HeaderPattern kCookiePattern = {WTEXT("Set-Cookie:\\b*{.+?}\\n"), WTEXT("set-cookie:")};
// Far above any real header block; a larger reported size is not believed.
constexpr DWORD kMaxHeaderBytes = 1u << 20;

bool Found(const WideChar* pattern, const WideChar* text, std::vector<WideString>& captures) {
  return pattern::FindPatternGroups(pattern, text, captures) && !captures.empty();
}

bool FoundInHeaders(const HeaderPattern& header, const WideString& headers, std::vector<WideString>& captures) {
  const std::size_t at = FindIgnoringCase(headers, header.lead);
  if (at == WideString::npos) {
    captures.clear();
    return false;
  }
  return Found(header.pattern, headers.c_str() + at, captures);
}

enum class HeaderQuery { Ok, Unavailable, NoMemory };

// One header query as text. The reported size is not trusted: the buffer
// has room for an odd byte and a terminator the platform never writes, and
// the text ends at the first zero inside it.
HeaderQuery QueryHeaderText(HINTERNET request, DWORD infoLevel, WideString& text) {
  DWORD size = 0;
  if (!WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                           WINHTTP_NO_HEADER_INDEX) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return HeaderQuery::Unavailable;
  }
  if (size > kMaxHeaderBytes) return HeaderQuery::Unavailable;
  std::size_t units = size / sizeof(WideChar) + 2;
  Block<WideChar> buffer = AllocateBlock<WideChar>(units);
  if (!buffer) return HeaderQuery::NoMemory;
  DWORD length = size;
  if (!WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, buffer.get(), &length,
                           WINHTTP_NO_HEADER_INDEX)) {
    return HeaderQuery::Unavailable;
  }
  text = TextUpToZero(buffer.get(), units);
  return HeaderQuery::Ok;
}

}  // namespace

bool HttpClient::ExtractResponseHeaders(HINTERNET request) {
  WideString raw;
  const HeaderQuery rawQuery = QueryHeaderText(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, raw);
  if (rawQuery == HeaderQuery::Ok) {
    responseHeaders_ = std::move(raw);
    TakeHeaderValues();
  }
  // The status is only recorded, so losing it harms no reply.
  WideString status;
  if (QueryHeaderText(request, WINHTTP_QUERY_STATUS_CODE, status) == HeaderQuery::Ok) statusCode_ = std::move(status);
  return rawQuery != HeaderQuery::NoMemory;
}

void HttpClient::TakeHeaderValues() {
  std::vector<WideString> captures;
  if (!charsetFixed_ && FoundInHeaders(kCharsetPattern, responseHeaders_, captures)) {
    responseCharset_ = captures.front();
  }
  if (FoundInHeaders(kContentLengthPattern, responseHeaders_, captures)) {
    // Digits only, so never negative; clamped at the 32-bit maximum.
    contentLength_ = static_cast<std::uint32_t>(ReplyToInt(captures.front()));
  }
  if (FoundInHeaders(kLocationPattern, responseHeaders_, captures)) redirectLocation_ = captures.front();
  if (FoundInHeaders(kCookiePattern, responseHeaders_, captures)) AppendCookies(captures);
}

// Cookies of earlier responses stay in front; no blank goes between them
// and the new values.
void HttpClient::AppendCookies(const std::vector<WideString>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    receivedCookies_ += values[i];
    if (i + 1 < values.size()) receivedCookies_ += WTEXT("; ");
  }
  receivedCookies_ = TrimChars(receivedCookies_, WTEXT(" "));
  if (!receivedCookies_.empty() && receivedCookies_.back() != WTEXT(';')) receivedCookies_ += WTEXT(';');
}

bool CheckHtmlComplete(const WideString& text) {
  std::vector<WideString> captures;
  if (!Found(WTEXT("{<html>}"), text.c_str(), captures)) return true;
  return Found(WTEXT("{</html>}"), text.c_str(), captures);
}

WideString TrimChars(const WideString& text, const WideString& set) {
  if (set.empty()) return text;
  std::size_t start = text.find_first_not_of(set);
  if (start == WideString::npos) return WideString();
  return text.substr(start, text.find_last_not_of(set) - start + 1);
}

}  // namespace transport
