#include "exports/endpoint_url.h"

namespace exports {

namespace {

void AppendWidened(WideString& out, const char* ascii) {
  for (; *ascii != '\0'; ++ascii) out.push_back(static_cast<WideChar>(static_cast<unsigned char>(*ascii)));
}

}  // namespace

WideString EndpointUrl(const Service& service, const char* path) {
  WideString url;
  AppendWidened(url, service.scheme);
  AppendWidened(url, "://");
  AppendWidened(url, service.host);
  AppendWidened(url, path);
  return url;
}

}  // namespace exports
