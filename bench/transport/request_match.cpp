#include "request_match.h"

#include "bench_setup.h"
#include "curl_client.h"
#include "raw_client.h"
#include "request_capture.h"

namespace bench {
namespace {

std::string Compare(const char* who, const std::string& ours, const std::string& theirs, bool& identical) {
  identical = ours == theirs;
  if (identical) return std::string(who) + ": identical to ours (" + std::to_string(ours.size()) + " bytes)\n";
  return std::string(who) + ": DIFFERS from ours, " + DescribeDifference(ours, theirs) + "\n";
}

}  // namespace

bool MatchRequests(const std::function<bool()>& oursCall, const std::string& path, MatchedRequests& matched) {
  if (!oursCall()) {
    matched.report = "our request got no reply\n";
    return false;
  }
  std::vector<std::string> captured = ReadCaptures(CaptureFile());
  if (captured.size() != 1) {
    matched.report = "the server did not capture our request\n";
    return false;
  }
  matched.ours = captured[0];
  matched.headerLines = HeaderLines(matched.ours);

  std::string reply;
  const bool curlOk = CurlPoster(matched.headerLines).Post(ServerUrl(path), FormBody(), reply);
  const bool rawOk = RawExchange(kPort, matched.ours, reply);
  captured = ReadCaptures(CaptureFile());
  if (!curlOk || !rawOk || captured.size() != 3) {
    matched.report = "libcurl or the raw client got no reply\n";
    return false;
  }
  matched.report = "ours: " + std::to_string(matched.ours.size()) + " bytes\n" +
                   Compare("libcurl", matched.ours, captured[1], matched.curlIdentical) +
                   Compare("raw floor", matched.ours, captured[2], matched.rawIdentical);
  return matched.curlIdentical && matched.rawIdentical;
}

}  // namespace bench
