#include "header_samples.h"

namespace bench {
namespace {

const char kHead[] =
    "HTTP/1.1 200 OK\r\n"
    "Date: Tue, 14 May 2024 09:12:44 GMT\r\n"
    "Server: Apache/2.4.57 (Debian)\r\n"
    "X-Powered-By: PHP/8.2.7\r\n"
    "Cache-Control: no-store, no-cache, must-revalidate\r\n"
    "Pragma: no-cache\r\n"
    "Expires: Thu, 19 Nov 1981 08:52:00 GMT\r\n"
    "Vary: Accept-Encoding,User-Agent\r\n"
    "Access-Control-Allow-Origin: *\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Strict-Transport-Security: max-age=31536000; includeSubDomains\r\n";

const char kTail[] =
    "Content-Length: 1187\r\n"
    "Keep-Alive: timeout=5, max=100\r\n"
    "Connection: Keep-Alive\r\n"
    "Content-Type: text/html; charset=UTF-8\r\n"
    "\r\n";

std::string Cookie(std::size_t n) {
  return "Set-Cookie: session" + std::to_string(n) + "=3f9a1c77e2b04d58a6c1e0f2b7d49a" +
         std::to_string(n) + "; path=/; HttpOnly\r\n";
}

}  // namespace

std::string TypicalHeaders() { return HeadersWithCookies(2); }

std::string HeadersWithCookies(std::size_t cookies) {
  std::string block = kHead;
  for (std::size_t n = 0; n < cookies; ++n) block += Cookie(n);
  return block + kTail;
}

std::string HeadersOfSize(std::size_t bytes) {
  std::string block = kHead;
  for (std::size_t n = 0; block.size() + sizeof kTail < bytes; ++n) {
    block += "X-Trace-" + std::to_string(n) + ": 0a1b2c3d4e5f60718293a4b5c6d7e8f9\r\n";
  }
  block += Cookie(0) + Cookie(1);
  return block + kTail;
}

}  // namespace bench
