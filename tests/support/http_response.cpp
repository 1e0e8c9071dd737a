#include <algorithm>
#include <cctype>
#include <cstdio>

#include "loopback_server.h"

namespace testsupport {
namespace {

const char* ReasonPhrase(int status) {
  switch (status) {
    case 100: return "Continue";
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    default: return "Status";
  }
}

bool SameNameIgnoringCase(const std::string& a, const char* b) {
  std::string lower(a);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower == b;
}

bool FramesItsOwnBody(const HeaderList& headers) {
  return std::any_of(headers.begin(), headers.end(), [](const auto& header) {
    return SameNameIgnoringCase(header.first, "content-length") ||
           SameNameIgnoringCase(header.first, "transfer-encoding");
  });
}

}  // namespace

std::string HttpResponse(int status, const HeaderList& headers, const std::string& body) {
  std::string response = "HTTP/1.1 " + std::to_string(status) + " " + ReasonPhrase(status) + "\r\n";
  if (!FramesItsOwnBody(headers))
    response += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  for (const auto& header : headers) response += header.first + ": " + header.second + "\r\n";
  return response + "\r\n" + body;
}

std::string ChunkedBody(const std::vector<std::string>& pieces) {
  std::string body;
  for (const std::string& piece : pieces) {
    if (piece.empty()) continue;  // an empty chunk would end the body early
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
    body += size + piece + "\r\n";
  }
  return body + "0\r\n\r\n";
}

}  // namespace testsupport
