// The peer: libcurl posting a form the way a Linux user of it would for a
// one-off exchange, with a fresh easy handle per request (no reuse).
#pragma once

#include <string>
#include <vector>

namespace bench {

class CurlPoster {
 public:
  // `headerLines` replace libcurl's own (Host, Accept, Content-Type,
  // Content-Length, Expect) and go out in their order, except that libcurl
  // always sends Host first; so the request bytes can match those of a
  // client that does the same (the bench checks them on the server).
  // With `caFile`, https peers are verified against that file alone.
  explicit CurlPoster(std::vector<std::string> headerLines, std::string caFile = {});

  // One POST of `body` to `url`; the reply body lands in `reply`.
  bool Post(const std::string& url, const std::string& body, std::string& reply) const;

 private:
  std::vector<std::string> headerLines_;
  std::string caFile_;
};

// libcurl's process-wide set-up, once per bench program.
bool InitCurl();

}  // namespace bench
