// The post through a client in this process.
#include <chrono>

#include "client_post.h"
#include "transport/http_client.h"

namespace hardening {

ClientOutcome PostThroughClient(std::uint16_t port, const ClientTimeouts& timeouts) {
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/stall";
  transport::HttpClient client(WideString(url.begin(), url.end()));
  const std::string body = "a=1";
  client.SetPostData(body.data(), static_cast<std::uint32_t>(body.size()));
  client.SetExtraHeaders(WTEXT("Content-Length: 3\r\n"));
  client.SetTimeouts(0, timeouts.connectMs, timeouts.sendMs, timeouts.receiveMs);
  const auto start = std::chrono::steady_clock::now();
  ClientOutcome outcome;
  outcome.sent = client.Send(WTEXT("POST"));
  outcome.elapsedMs = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
  outcome.lastError = client.LastError();
  for (WideChar unit : client.GetResponseText()) outcome.reply.push_back(static_cast<char>(unit));
  return outcome;
}

}  // namespace hardening
