// The post sequence every export runs.
#include "transport/form_post.h"

#include <limits>
#include <string>

#include "transport/http_client.h"

namespace transport {
namespace {

WideString Decimal(std::uint32_t value) {
  std::string digits = std::to_string(value);
  return WideString(digits.begin(), digits.end());
}

}  // namespace

bool FormPost(const WideString& endpointUrl, const std::string& body, WideString& reply) {
  // The length goes out as a signed 32-bit decimal.
  if (body.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return false;
  auto length = static_cast<std::uint32_t>(body.size());
  HttpClient client(endpointUrl);
  // The client's default ignores certificate errors on https, which would
  // hand the posted credentials to any machine in the middle.
  client.SetVerifyCertificates(true);
  // Without its copy the body would be announced and never sent.
  if (!client.SetPostData(body.data(), length)) return false;
  client.SetExtraHeaders(WTEXT("Content-Length: ") + Decimal(length) +
                         WTEXT("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
  if (!client.Send(WTEXT("POST"))) return false;
  reply = client.TakeResponseText();  // the client goes right after
  return true;
}

}  // namespace transport
