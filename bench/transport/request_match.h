// Makes the three clients send the same bytes: one request of ours is
// captured on the server, its header lines configure libcurl and its bytes
// become the raw client's request; then one request of each of the others
// is captured and compared byte for byte with ours.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct MatchedRequests {
  std::string ours;                     // raw bytes of our request
  std::vector<std::string> headerLines;  // its header lines, in order
  bool curlIdentical = false;
  bool rawIdentical = false;
  std::string report;  // what was compared, and any difference
};

// The server must capture its first three requests into CaptureFile().
// `oursCall` posts FormBody() to `path` once; curl and raw do the same.
bool MatchRequests(const std::function<bool()>& oursCall, const std::string& path, MatchedRequests& matched);

}  // namespace bench
