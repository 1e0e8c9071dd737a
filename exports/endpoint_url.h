// Endpoint URLs: "http://" + a build-time host (possibly "host:port") + a
// fixed path. Hosts and paths are ASCII, so widening is byte for byte.
#pragma once

#include "platform/seam.h"

namespace exports {

WideString EndpointUrl(const char* host, const char* path);

}  // namespace exports
