// Our transport driven directly (FormPost over the Linux layer, decoding
// included), for the benches that vary the reply.
#pragma once

#include <string>

#include "platform/seam.h"

namespace bench {

// One FormPost of `body` to `url`; nothing escapes (as at the export
// boundary), a throw counts as a failed call.
bool OursFormPost(const std::string& url, const std::string& body, WideString& reply);

}  // namespace bench
