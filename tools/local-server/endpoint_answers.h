// What the local server answers on each endpoint: plausible stand-ins for
// the signal server and the account service, with the sent signals kept
// in memory for later retrieval.
#pragma once

#include <string>
#include <vector>

namespace localserver {

class EndpointAnswers {
 public:
  // The reply body for a POST of `body` to `path`.
  std::string Answer(const std::string& path, const std::string& body);

 private:
  std::vector<std::string> signals_;
};

}  // namespace localserver
