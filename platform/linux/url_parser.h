// Splits an http or https URL into the pieces WinHttpCrackUrl hands out.
#pragma once

#include <cstddef>
#include <string>

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

// A piece of the URL, by position in it (length 0 when absent).
struct UrlPiece {
  std::size_t offset = 0;
  std::size_t length = 0;
};

struct ParsedUrl {
  INTERNET_SCHEME scheme = 0;
  INTERNET_PORT port = 0;
  UrlPiece schemeName, userName, password, hostName, path, extraInfo;
};

// Returns ERROR_SUCCESS or the WinHTTP error for the URL.
DWORD ParseUrl(std::u16string_view url, ParsedUrl& parsed);

}  // namespace winhttp_linux
