// Values taken out of the response headers: raw text, charset, content
// length, location digits, cookies, status code; and the GET page check.
#include "transport/header_extraction.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <emmintrin.h>
#include <limits>
#include <string>
#include <vector>

#include "pattern/pattern_search.h"
#include "pattern/text_fold.h"
#include "transport/failure_codes.h"
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
// The size a head of kMaxHeadUnits reports: its units and a terminator.
constexpr DWORD kMaxHeaderBytes = (kMaxHeadUnits + 1) * sizeof(WideChar);
constexpr DWORD kLowestFinalStatus = 200;
// Units looked at together while no unit in them can begin the lead.
constexpr std::size_t kScanBlock = 128;

bool Found(const WideChar* pattern, const WideChar* text, std::vector<WideString>& captures,
           std::size_t values = kAllValues) {
  return pattern::FindPatternGroups(pattern, text, captures, values) && !captures.empty();
}

// The same for the two cases of an ASCII letter, but also for other pairs
// ('@' and '`', '[' and '{', ...): not a fold but a cheap pre-filter, taken
// eight units at a time. A unit that passes it is compared exactly
// (FoldAscii) before it counts.
WideChar PrefilterKey(WideChar unit) { return static_cast<WideChar>(unit | 0x20); }

// Eight units' keys at once, in SSE2 (which every x86-64 machine has).
__m128i PrefilterKeys(const WideChar* units) {
  return _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(units)), _mm_set1_epi16(0x20));
}

bool AnyFlag(__m128i flags) { return _mm_movemask_epi8(flags) != 0; }

// Whether `lead` (lower case) begins at `units`, ignoring ASCII case. A
// zero-terminated text ends the comparison at its terminator at the latest.
bool LeadBeginsAt(const WideChar* units, const WideChar* lead) {
  std::size_t matched = 0;
  while (lead[matched] != 0 && pattern::FoldAscii(units[matched]) == lead[matched]) ++matched;
  return lead[matched] == 0;
}

// One lead looked for: the keys of its first two units (zero once found
// or when not looked for: no unit's key is zero), and where it was found.
struct LeadScan {
  const WideChar* lead;
  std::size_t at = WideString::npos;
  WideChar first = lead == nullptr ? 0 : PrefilterKey(lead[0]);
  WideChar second = lead == nullptr ? 0 : PrefilterKey(lead[1]);

  // Flags for those of the eight units whose key and the next unit's key
  // are the lead's first two.
  __m128i MayBegin(__m128i here, __m128i next) const {
    return _mm_and_si128(_mm_cmpeq_epi16(here, _mm_set1_epi16(static_cast<short>(first))),
                         _mm_cmpeq_epi16(next, _mm_set1_epi16(static_cast<short>(second))));
  }

  // Where the lead first begins among the units from `block` to `end`,
  // if anywhere; eight units go together while `end` is eight further.
  void CheckBlock(const WideChar* units, std::size_t block, std::size_t end) {
    std::size_t start = block;
    for (; end - start >= 8; start += 8) {
      if (AnyFlag(MayBegin(PrefilterKeys(units + start), PrefilterKeys(units + start + 1))) &&
          CheckUnits(units, start, start + 8)) {
        return;
      }
    }
    CheckUnits(units, start, end);
  }

  bool CheckUnits(const WideChar* units, std::size_t from, std::size_t to) {
    for (std::size_t start = from; start < to; ++start) {
      if (PrefilterKey(units[start]) == first && PrefilterKey(units[start + 1]) == second &&
          LeadBeginsAt(units + start, lead)) {
        at = start;
        first = 0;
        return true;
      }
    }
    return false;
  }
};

// Which of two leads may begin among kScanBlock units (the unit after
// them readable), tested eight units at a time.
void TestBlock(const WideChar* units, const LeadScan* scans, bool* maybe) {
  __m128i one = _mm_setzero_si128();
  __m128i other = _mm_setzero_si128();
  for (std::size_t i = 0; i < kScanBlock; i += 8) {
    const __m128i here = PrefilterKeys(units + i);
    const __m128i next = PrefilterKeys(units + i + 1);
    one = _mm_or_si128(one, scans[0].MayBegin(here, next));
    other = _mm_or_si128(other, scans[1].MayBegin(here, next));
  }
  maybe[0] = AnyFlag(one);
  maybe[1] = AnyFlag(other);
}

// Where two leads (lower case, two units or more; null for one not looked
// for) first occur in `text` (which holds no zero), ignoring ASCII case;
// npos where nowhere. One pass serves both: blocks in which no two
// adjacent units can begin either are passed over in one branch-free loop.
std::array<std::size_t, 2> LeadsAt(const WideString& text, const WideChar* one, const WideChar* other) {
  LeadScan scans[2] = {LeadScan{one}, LeadScan{other}};
  const WideChar* const units = text.c_str();  // the unit after the last is the terminator
  for (std::size_t block = 0; block < text.size() && (scans[0].first | scans[1].first) != 0; block += kScanBlock) {
    const std::size_t end = std::min(block + kScanBlock, text.size());
    // A short last block is looked at by each lead itself.
    bool maybe[2] = {true, true};
    if (end - block == kScanBlock) TestBlock(units + block, scans, maybe);
    for (std::size_t k = 0; k < 2; ++k) {
      if (maybe[k] && scans[k].first != 0) scans[k].CheckBlock(units, block, end);
    }
  }
  return {scans[0].at, scans[1].at};
}

bool FoundAt(const HeaderPattern& header, const WideString& headers, std::size_t at,
             std::vector<WideString>& captures) {
  return at != WideString::npos && Found(header.pattern, headers.c_str() + at, captures, header.values);
}

enum class HeaderQuery { Ok, Unavailable, TooLarge, NoMemory };

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
  if (size > kMaxHeaderBytes) return HeaderQuery::TooLarge;
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

// A head the platform read to its end carries the blank line after it.
bool EndsWithBlankLine(const WideString& raw) {
  const WideString blankLine = WTEXT("\r\n\r\n");
  return raw.size() >= blankLine.size() && raw.compare(raw.size() - blankLine.size(), blankLine.size(), blankLine) == 0;
}

}  // namespace

HttpClient::Head HttpClient::ExtractResponseHeaders(HINTERNET request) {
  WideString raw;
  const HeaderQuery rawQuery = QueryHeaderText(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, raw);
  if (rawQuery == HeaderQuery::TooLarge) {
    lastError_ = kErrorHeadTooLarge;
    return Head::Refused;
  }
  // Beyond what it refuses the status is only recorded, so losing it harms
  // no reply.
  WideString status;
  if (QueryHeaderText(request, WINHTTP_QUERY_STATUS_CODE, status) == HeaderQuery::Ok) {
    if (!status.empty() && ReplyToInt(status) < static_cast<int>(kLowestFinalStatus)) {
      lastError_ = kErrorInterimResponse;
      return Head::Refused;
    }
    statusCode_ = std::move(status);
  }
  if (rawQuery == HeaderQuery::Ok) {
    if (PlatformMayCutRawHeads() && !EndsWithBlankLine(raw)) {
      lastError_ = kErrorIncompleteHead;
      return Head::Refused;
    }
    responseHeaders_ = std::move(raw);
    TakeHeaderValues();
  }
  if (rawQuery == HeaderQuery::NoMemory) {
    lastError_ = kErrorOutOfMemory;
    return Head::NoMemory;
  }
  return Head::Whole;
}

void HttpClient::TakeHeaderValues() {
  // Two passes over the head, each looking for two leads. A pass ends once
  // it has found both, so the two that most heads carry go together.
  const std::array<std::size_t, 2> charsetAndLocation =
      LeadsAt(responseHeaders_, charsetFixed_ ? nullptr : kCharsetPattern.lead, kLocationPattern.lead);
  const std::array<std::size_t, 2> lengthAndCookies =
      LeadsAt(responseHeaders_, kContentLengthPattern.lead, kCookiePattern.lead);
  std::vector<WideString> captures;
  if (FoundAt(kCharsetPattern, responseHeaders_, charsetAndLocation[0], captures)) {
    responseCharset_ = captures.front();
  }
  if (FoundAt(kContentLengthPattern, responseHeaders_, lengthAndCookies[0], captures)) {
    // Digits only, so never negative; clamped at the 32-bit maximum.
    contentLength_ = static_cast<std::uint32_t>(ReplyToInt(captures.front()));
  }
  if (FoundAt(kLocationPattern, responseHeaders_, charsetAndLocation[1], captures)) {
    redirectLocation_ = captures.front();
  }
  // Cookies are joined straight from the head: a head full of them is not
  // held once more as a string per value. The head holds no zero (it was
  // cut at its first), so its length is where the search ends.
  const std::size_t cookiesAt = lengthAndCookies[1];
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
