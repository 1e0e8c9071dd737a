#include "reply_catalog.h"

#include <cstdio>
#include <cstdlib>

namespace benchserver {
namespace {

const std::size_t kMaxBodyBytes = std::size_t{64} << 20;
const std::size_t kMaxHeadBytes = std::size_t{1} << 20;
const std::size_t kPadLine = 8;  // "X-Pad:" and CR LF

std::string Response(const std::string& contentType, const std::string& body) {
  return "HTTP/1.1 200 OK\r\nContent-Type: " + contentType +
         "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + body;
}

const std::string& SmallReply() {
  static const std::string reply = Response("text/plain", "1");
  return reply;
}

// Splits "/<a>/<n>/<kind>" into its number and kind; false when it isn't.
bool ParseSized(const std::string& path, const std::string& prefix, std::size_t& bytes,
                std::string& kind) {
  if (path.compare(0, prefix.size(), prefix) != 0) return false;
  const std::size_t slash = path.find('/', prefix.size());
  if (slash == std::string::npos) return false;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(path.c_str() + prefix.size(), &end, 10);
  if (end != path.c_str() + slash) return false;
  bytes = static_cast<std::size_t>(value);
  kind = path.substr(slash + 1);
  return true;
}

std::string BuildReply(const std::string& path) {
  std::size_t bytes = 0;
  std::string kind;
  if (ParseSized(path, "/body/", bytes, kind) && bytes <= kMaxBodyBytes) {
    if (kind == "ascii") return Response("text/plain", MakeBody(bytes, kind));
    if (kind == "ascii-utf8" || kind == "utf8")
      return Response("text/plain; charset=utf-8", MakeBody(bytes, kind));
  }
  if (ParseSized(path, "/headers/", bytes, kind) && bytes <= kMaxHeadBytes &&
      (kind == "plain" || kind == "cookies")) {
    return MakeHead(bytes, kind, 1) + "1";
  }
  return SmallReply();
}

}  // namespace

const std::string& ReplyCatalog::ReplyFor(const std::string& path) {
  auto found = cache_.find(path);
  if (found == cache_.end()) found = cache_.emplace(path, BuildReply(path)).first;
  return found->second;
}

std::string MakeBody(std::size_t bytes, const std::string& kind) {
  static const std::string ascii = "The quick brown fox jumps over the lazy dog 0123456789.\n";
  // e-acute, euro sign, grinning face: 2, 3 and 4 bytes.
  static const std::string mixed = "price \xC3\xA9t\xC3\xA9 42\xE2\x82\xAC \xF0\x9F\x98\x80 ok\n";
  const std::string& unit = kind == "utf8" ? mixed : ascii;
  std::string body;
  body.reserve(bytes);
  while (body.size() + unit.size() <= bytes) body += unit;
  body.append(bytes - body.size(), 'x');
  return body;
}

std::string MakeHead(std::size_t bytes, const std::string& kind, std::size_t bodyBytes) {
  const std::string first = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                            std::to_string(bodyBytes) + "\r\nConnection: close\r\n";
  std::string head = first;
  const std::string value(48, 'v');
  char name[32];
  for (unsigned line = 0;; ++line) {
    if (kind == "cookies")
      std::snprintf(name, sizeof name, "Set-Cookie: k%05u=", line);
    else
      std::snprintf(name, sizeof name, "X-Filler-%05u: ", line);
    const std::string next = std::string(name) + value + "\r\n";
    // Leave room for the pad line (at least "X-Pad:\r\n") and the blank line.
    if (head.size() + next.size() + kPadLine + 2 > bytes) break;
    head += next;
  }
  // One pad line brings the head to exactly the asked size.
  if (head.size() + kPadLine + 2 <= bytes)
    head += "X-Pad:" + std::string(bytes - head.size() - kPadLine - 2, 'p') + "\r\n";
  return head + "\r\n";
}

}  // namespace benchserver
