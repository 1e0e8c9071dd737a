#include "echo_server.h"

#include "loopback_server.h"

namespace hardening {

std::string EchoFirstField(const std::string& request) {
  const std::string body = testsupport::RequestBody(request);
  const std::size_t equals = body.find('=');
  if (equals == std::string::npos) return testsupport::HttpResponse(200, {}, "");
  const std::size_t ampersand = body.find('&', equals);
  return testsupport::HttpResponse(
      200, {}, body.substr(equals + 1, ampersand == std::string::npos ? std::string::npos : ampersand - equals - 1));
}

}  // namespace hardening
