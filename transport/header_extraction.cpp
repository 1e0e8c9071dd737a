// Values taken out of the response headers: raw text, charset, content
// length, location digits, cookies, status code; and the GET page check.
#include "transport/header_extraction.h"

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

#include "pattern/pattern_search.h"
#include "transport/form_post.h"
#include "transport/http_client.h"
#include "transport/wide_text.h"

namespace transport {
namespace {

// Each header pattern with the literal every one of its matches begins
// with (lower case; matching ignores ASCII case), and how many values the
// client takes. Text in front of the literal's first occurrence cannot
// hold a match, and a head without it holds none, so the search starts
// there or is skipped: most heads carry only one of the four, and
// compiling a pattern costs more than the search itself. A search for one
// value stops at its first match instead of walking the rest of the head.
struct HeaderPattern {
  const WideChar* pattern;
  const WideChar* lead;
  std::size_t values;
};

constexpr std::size_t kAllValues = std::numeric_limits<std::size_t>::max();
const HeaderPattern kCharsetPattern = {WTEXT("charset={[A-Za-z0-9\\-_]+}"), WTEXT("charset="), 1};
const HeaderPattern kContentLengthPattern = {WTEXT("Content-Length: {[0-9]+}"), WTEXT("content-length: "), 1};
const HeaderPattern kLocationPattern = {WTEXT("Location: {[0-9]+}"), WTEXT("location: "), 1};
const HeaderPattern kCookiePattern = {WTEXT("Set-Cookie:\\b*{.+?}\\n"), WTEXT("set-cookie:"), kAllValues};
// Far above any real header block; a larger reported size is not believed.
constexpr DWORD kMaxHeaderBytes = 1u << 20;
// Units looked at together while no unit in them can begin the lead.
constexpr std::size_t kScanBlock = 64;

bool Found(const WideChar* pattern, const WideChar* text, std::vector<WideString>& captures,
           std::size_t values = kAllValues) {
  return pattern::FindPatternGroups(pattern, text, captures, values) && !captures.empty();
}

// Equal for the two cases of an ASCII letter (and for some other pairs):
// a cheap test that a unit may be the lead's, exact only with AsciiLower.
WideChar Loosely(WideChar unit) { return static_cast<WideChar>(unit | 0x20); }

// Where `lead` (lower case, two units or more) first occurs in `text`,
// ignoring ASCII case; npos when nowhere. Blocks in which no two adjacent
// units can begin the lead are passed over in one branch-free loop.
std::size_t LeadAt(const WideString& text, const WideChar* lead) {
  std::size_t length = 0;
  while (lead[length] != 0) ++length;
  if (text.size() < length) return WideString::npos;
  const WideChar* const units = text.data();
  const std::size_t starts = text.size() - length + 1;  // the unit after a start is in the text
  const WideChar first = Loosely(lead[0]);
  const WideChar second = Loosely(lead[1]);
  for (std::size_t block = 0; block < starts; block += kScanBlock) {
    if (block + kScanBlock <= starts) {
      unsigned maybe = 0;
      for (std::size_t i = block; i < block + kScanBlock; ++i) {
        maybe |= static_cast<unsigned>(Loosely(units[i]) == first) & static_cast<unsigned>(Loosely(units[i + 1]) == second);
      }
      if (maybe == 0) continue;
    }
    const std::size_t end = std::min(block + kScanBlock, starts);
    for (std::size_t at = block; at < end; ++at) {
      std::size_t matched = 0;
      while (matched < length && AsciiLower(units[at + matched]) == lead[matched]) ++matched;
      if (matched == length) return at;
    }
  }
  return WideString::npos;
}

bool FoundInHeaders(const HeaderPattern& header, const WideString& headers, std::vector<WideString>& captures) {
  const std::size_t at = LeadAt(headers, header.lead);
  if (at == WideString::npos) {
    captures.clear();
    return false;
  }
  return Found(header.pattern, headers.c_str() + at, captures, header.values);
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
  // Queried straight into the text's own zero-filled storage, then cut at
  // its first zero: a large head is not copied once more.
  WideString buffer;
  if (!AllocateText(buffer, size / sizeof(WideChar) + 2)) return HeaderQuery::NoMemory;
  DWORD length = size;
  if (!WinHttpQueryHeaders(request, infoLevel, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &length,
                           WINHTTP_NO_HEADER_INDEX)) {
    return HeaderQuery::Unavailable;
  }
  buffer.resize(UnitsBeforeZero(buffer.data(), buffer.size()));
  text = std::move(buffer);
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
  // Cookies are joined straight from the head: a head full of them is not
  // held once more as a string per value. The head holds no zero (it was
  // cut at its first), so its length is where the search ends.
  const std::size_t cookiesAt = LeadAt(responseHeaders_, kCookiePattern.lead);
  if (cookiesAt == WideString::npos) return;
  const WideChar* const cookiesFrom = responseHeaders_.c_str() + cookiesAt;
  std::vector<pattern::CaptureSpan> cookies;
  if (pattern::FindPatternSpans(kCookiePattern.pattern, cookiesFrom, cookies, pattern::kNoLimit,
                                responseHeaders_.size() - cookiesAt) &&
      !cookies.empty()) {
    AppendCookies(cookiesFrom, cookies);
  }
}

// Cookies of earlier responses stay in front; no blank goes between them
// and the new values. There is at least one value.
void HttpClient::AppendCookies(const WideChar* text, const std::vector<pattern::CaptureSpan>& values) {
  const std::size_t kept = receivedCookies_.size();
  std::size_t joined = kept - 2;  // no separator after the last value
  for (const pattern::CaptureSpan& value : values) joined += value.end - value.start + 2;
  // Room for all of it, the final ';' included, so that a head full of
  // cookies is joined without growing the text (and without the block of
  // twice its size that growing it at the end would take); the values are
  // copied straight into place.
  receivedCookies_.reserve(joined + 1);
  receivedCookies_.resize(joined);
  WideChar* at = receivedCookies_.data() + kept;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      *at++ = WTEXT(';');
      *at++ = WTEXT(' ');
    }
    at = std::copy(text + values[i].start, text + values[i].end, at);
  }
  TrimInPlace(receivedCookies_, WTEXT(" "));
  if (!receivedCookies_.empty() && receivedCookies_.back() != WTEXT(';')) receivedCookies_ += WTEXT(';');
}

bool CheckHtmlComplete(const WideString& text) {
  std::vector<WideString> captures;
  if (!Found(WTEXT("{<html>}"), text.c_str(), captures)) return true;
  return Found(WTEXT("{</html>}"), text.c_str(), captures);
}

void TrimInPlace(WideString& text, const WideString& set) {
  if (set.empty()) return;
  const std::size_t start = text.find_first_not_of(set);
  if (start == WideString::npos) {
    text.clear();
    return;
  }
  text.erase(text.find_last_not_of(set) + 1);
  text.erase(0, start);
}

WideString TrimChars(const WideString& text, const WideString& set) {
  WideString trimmed = text;
  TrimInPlace(trimmed, set);
  return trimmed;
}

}  // namespace transport
