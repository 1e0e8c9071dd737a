// A raw HTTP request as a test server received it, split for checking.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace winetest {

struct HttpRequest {
  std::string requestLine;
  std::vector<std::pair<std::string, std::string>> headers;  // in order, value without leading blanks
  std::string body;                                           // everything after the blank line
  bool complete = false;                                      // a blank line ended the head

  std::vector<std::string> Values(const std::string& name) const;  // name compared ignoring case
  std::vector<std::string> Names() const;
};

HttpRequest ParseHttpRequest(const std::string& raw);

// Port after the last ':' of "host:port"; 0 when there is none.
int PortOf(const std::string& hostAndPort);

}  // namespace winetest
