#include "platform/linux/url_parser.h"

namespace winhttp_linux {
namespace {

bool EqualsIgnoringCase(std::u16string_view text, const char* ascii) {
  std::size_t i = 0;
  for (; ascii[i] != 0; ++i) {
    if (i >= text.size()) return false;
    char16_t c = text[i] >= u'A' && text[i] <= u'Z' ? static_cast<char16_t>(text[i] + 32) : text[i];
    if (c != static_cast<char16_t>(ascii[i])) return false;
  }
  return i == text.size();
}

UrlPiece Piece(std::size_t from, std::size_t to) { return {from, to - from}; }

// Reads "host[:port]" (host may be a bracketed IPv6 literal) from the authority.
DWORD ParseHostPort(std::u16string_view url, std::size_t from, std::size_t to, ParsedUrl& parsed) {
  std::size_t hostEnd = from;
  if (from < to && url[from] == u'[') {
    hostEnd = url.find(u']', from);
    if (hostEnd == std::u16string_view::npos || hostEnd >= to) return ERROR_WINHTTP_INVALID_URL;
    ++hostEnd;
  } else {
    while (hostEnd < to && url[hostEnd] != u':') ++hostEnd;
  }
  parsed.hostName = Piece(from, hostEnd);
  if (parsed.hostName.length == 0) return ERROR_WINHTTP_INVALID_URL;
  if (hostEnd == to || hostEnd + 1 == to) return ERROR_SUCCESS;  // no port, or "host:"
  if (url[hostEnd] != u':') return ERROR_WINHTTP_INVALID_URL;
  unsigned long port = 0;
  for (std::size_t i = hostEnd + 1; i < to; ++i) {
    if (url[i] < u'0' || url[i] > u'9') return ERROR_WINHTTP_INVALID_URL;
    port = port * 10 + (url[i] - u'0');
    if (port > 65535) return ERROR_WINHTTP_INVALID_URL;
  }
  if (port == 0) return ERROR_WINHTTP_INVALID_URL;
  parsed.port = static_cast<INTERNET_PORT>(port);
  return ERROR_SUCCESS;
}

// Splits "[user[:password]@]host[:port]".
DWORD ParseAuthority(std::u16string_view url, std::size_t from, std::size_t to, ParsedUrl& parsed) {
  std::size_t at = url.substr(from, to - from).rfind(u'@');
  if (at != std::u16string_view::npos) {
    std::size_t credentialsEnd = from + at;
    std::size_t colon = url.substr(from, at).find(u':');
    std::size_t userEnd = colon == std::u16string_view::npos ? credentialsEnd : from + colon;
    parsed.userName = Piece(from, userEnd);
    if (userEnd < credentialsEnd) parsed.password = Piece(userEnd + 1, credentialsEnd);
    from = credentialsEnd + 1;
  }
  return ParseHostPort(url, from, to, parsed);
}

}  // namespace

DWORD ParseUrl(std::u16string_view url, ParsedUrl& parsed) {
  parsed = ParsedUrl{};
  std::size_t colon = url.find(u':');
  if (colon == std::u16string_view::npos || url.compare(colon, 3, u"://") != 0)
    return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
  parsed.schemeName = Piece(0, colon);
  std::u16string_view scheme = url.substr(0, colon);
  if (EqualsIgnoringCase(scheme, "http")) {
    parsed.scheme = INTERNET_SCHEME_HTTP;
    parsed.port = INTERNET_DEFAULT_HTTP_PORT;
  } else if (EqualsIgnoringCase(scheme, "https")) {
    parsed.scheme = INTERNET_SCHEME_HTTPS;
    parsed.port = INTERNET_DEFAULT_HTTPS_PORT;
  } else {
    return ERROR_WINHTTP_UNRECOGNIZED_SCHEME;
  }
  std::size_t authority = colon + 3;
  std::size_t authorityEnd = url.find_first_of(u"/?#", authority);
  if (authorityEnd == std::u16string_view::npos) authorityEnd = url.size();
  DWORD result = ParseAuthority(url, authority, authorityEnd, parsed);
  if (result != ERROR_SUCCESS) return result;
  std::size_t extra = url.find_first_of(u"?#", authorityEnd);
  if (extra == std::u16string_view::npos) extra = url.size();
  parsed.path = Piece(authorityEnd, extra);
  parsed.extraInfo = Piece(extra, url.size());
  return ERROR_SUCCESS;
}

}  // namespace winhttp_linux
