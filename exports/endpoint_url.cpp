#include "exports/endpoint_url.h"

namespace exports {

namespace {

void AppendWidened(WideString& out, const char* ascii) {
  for (; *ascii != '\0'; ++ascii) out.push_back(static_cast<WideChar>(static_cast<unsigned char>(*ascii)));
}

}  // namespace

WideString EndpointUrl(const char* host, const char* path) {
  WideString url = WTEXT("http://");
  AppendWidened(url, host);
  AppendWidened(url, path);
  return url;
}

}  // namespace exports
