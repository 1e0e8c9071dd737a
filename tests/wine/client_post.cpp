// The client-level call of the dispatcher: the transport with short
// time-outs, so that quiet servers can be tried in a fraction of a second
// on both builds.
#include <string>

#include "call_dispatch.h"
#include "transport/http_client.h"

namespace dllcaller {

std::int32_t ClientPost(const char* url, std::int32_t connectMs, std::int32_t sendMs, std::int32_t receiveMs,
                        const char* body, std::int32_t* lastError, char* reply) {
  const std::string narrowUrl(url);
  const std::string bytes(body);
  transport::HttpClient client(WideString(narrowUrl.begin(), narrowUrl.end()));
  client.SetPostData(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  const std::string length = "Content-Length: " + std::to_string(bytes.size()) + "\r\n";
  client.SetExtraHeaders(WideString(length.begin(), length.end()));
  client.SetTimeouts(0, connectMs, sendMs, receiveMs);
  const bool answered = client.Send(WTEXT("POST"));
  *lastError = static_cast<std::int32_t>(client.LastError());
  const WideString text = answered ? client.GetResponseText() : WideString();
  std::size_t i = 0;
  for (; i < text.size() && i < 255; ++i) reply[i] = static_cast<char>(text[i] & 0xFF);
  reply[i] = '\0';
  return answered ? 1 : 0;
}

}  // namespace dllcaller
