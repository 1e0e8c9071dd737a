// The bench server's answers, chosen by request path:
//   /body/<bytes>/<ascii|ascii-utf8|utf8>   a body of exactly <bytes> bytes
//   /headers/<bytes>/<plain|cookies>        a response head of about <bytes>
//   anything else                           the fixed small reply "1"
// Every answer carries Content-Length and Connection: close.
#pragma once

#include <cstddef>
#include <map>
#include <string>

namespace benchserver {

class ReplyCatalog {
 public:
  // The complete response bytes for `path`; built once, then kept.
  const std::string& ReplyFor(const std::string& path);

 private:
  std::map<std::string, std::string> cache_;
};

// Body bytes of one kind: "ascii" and "ascii-utf8" are printable ASCII,
// "utf8" mixes 1- to 4-byte sequences (ASCII-padded to the exact size).
std::string MakeBody(std::size_t bytes, const std::string& kind);

// A response head of `bytes` bytes (status line to the blank line), filled
// with X-Filler lines ("plain") or distinct Set-Cookie lines ("cookies").
std::string MakeHead(std::size_t bytes, const std::string& kind, std::size_t bodyBytes);

}  // namespace benchserver
