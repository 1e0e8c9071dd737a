// The status line and header block of a response, checked and taken apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

// WinHTTP refuses response headers beyond this size.
constexpr std::size_t kResponseHeaderLimit = 64 * 1024;

enum class BodyFraming { None, Length, Chunked, UntilClose };

struct ResponseHead {
  int status = 0;
  std::string statusDigits;
  std::string rawHeaders;  // status line and header lines, each ending CR LF, then CR LF
  bool hasContentLength = false;
  std::uint64_t contentLength = 0;
  std::string transferEncoding;  // as the header gave it; empty without one
  bool chunked = false;
};

// Where the head in `data` ends (just past its blank line), skipping blank
// lines in front of it; npos while incomplete.
std::size_t FindHeadEnd(std::string_view data);

// Parses one head (as delimited by FindHeadEnd). ERROR_SUCCESS or
// ERROR_WINHTTP_INVALID_SERVER_RESPONSE.
DWORD ParseResponseHead(std::string_view block, ResponseHead& head);

// How the body is delimited: chunked over Content-Length over the close of
// the connection; none for 204, 304 and replies to HEAD.
BodyFraming FramingOf(const ResponseHead& head, bool replyToHead);

}  // namespace winhttp_linux
