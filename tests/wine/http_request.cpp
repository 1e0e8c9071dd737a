#include "http_request.h"

#include <strings.h>

#include <cstdlib>

namespace winetest {

std::vector<std::string> HttpRequest::Values(const std::string& name) const {
  std::vector<std::string> values;
  for (const auto& [key, value] : headers) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) values.push_back(value);
  }
  return values;
}

std::vector<std::string> HttpRequest::Names() const {
  std::vector<std::string> names;
  for (const auto& header : headers) names.push_back(header.first);
  return names;
}

HttpRequest ParseHttpRequest(const std::string& raw) {
  HttpRequest request;
  const std::size_t headEnd = raw.find("\r\n\r\n");
  request.complete = headEnd != std::string::npos;
  const std::string head = raw.substr(0, request.complete ? headEnd + 2 : raw.size());
  if (request.complete) request.body = raw.substr(headEnd + 4);
  std::size_t start = 0;
  for (std::size_t end; (end = head.find("\r\n", start)) != std::string::npos; start = end + 2) {
    const std::string line = head.substr(start, end - start);
    if (start == 0) {
      request.requestLine = line;
      continue;
    }
    const std::size_t colon = line.find(':');
    const std::size_t valueStart = line.find_first_not_of(' ', colon + 1);
    request.headers.emplace_back(line.substr(0, colon),
                                 valueStart == std::string::npos ? "" : line.substr(valueStart));
  }
  return request;
}

int PortOf(const std::string& hostAndPort) {
  const std::size_t colon = hostAndPort.rfind(':');
  return colon == std::string::npos ? 0 : std::atoi(hostAndPort.c_str() + colon + 1);
}

}  // namespace winetest
