// Endpoint URLs: a build-time scheme ("http" or "https") + "://" + a
// build-time host (possibly "host:port") + a fixed path. Without a port the
// scheme's default applies. All of it is ASCII, so widening is byte for byte.
#pragma once

#include "platform/seam.h"

namespace exports {

struct Service {
  const char* scheme;
  const char* host;
};

WideString EndpointUrl(const Service& service, const char* path);

}  // namespace exports
