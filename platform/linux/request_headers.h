// The header lines a request carries, added the way WinHttpAddRequestHeaders
// adds them, and the exact bytes of the request head.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

class RequestHeaders {
 public:
  // Adds the CRLF-separated "Name: value" lines in `text` according to the
  // WINHTTP_ADDREQ_FLAG_* `modifiers`. ERROR_SUCCESS or the failure reason;
  // on failure no line of `text` has been added.
  DWORD Add(std::u16string_view text, DWORD modifiers);

  const std::vector<std::pair<std::string, std::string>>& Lines() const { return lines_; }

 private:
  std::vector<std::pair<std::string, std::string>> lines_;
};

// What goes into the head besides the headers.
struct RequestLine {
  std::string verb;
  std::string target;     // "/path?query", or "http://host:port/path" through a proxy
  std::string hostField;  // "host" or "host:port"
  std::string userAgent;  // no User-Agent line when empty
};

// The request head, byte for byte:
//   "<verb> <target> HTTP/1.1\r\n"
//   "Host: <hostField>\r\n"
//   "User-Agent: <userAgent>\r\n"        (only when the agent is not empty)
//   "<Name>: <value>\r\n"                (each added header, in order)
//   "Connection: close\r\n"
//   "\r\n"
// Nothing else: no Accept, no Expect. Every request has its own connection.
std::string BuildRequestHead(const RequestLine& line, const RequestHeaders& headers);

}  // namespace winhttp_linux
