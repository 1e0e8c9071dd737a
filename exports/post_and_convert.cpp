#include "exports/post_and_convert.h"

#include "transport/form_post.h"

namespace exports {

int PostAndConvert(const Service& service, const char* path, const FormBody& body, ReplyRule& rule) noexcept {
  try {
    if (body.Postable()) {
      WideString reply;
      if (transport::FormPost(EndpointUrl(service, path), body.Bytes(), reply)) return rule.Deliver(reply);
    }
  } catch (...) {
    // Out of memory, or the pattern engine's failure: the host program must
    // not see it, and no reply was delivered.
  }
  rule.Fail();
  return 0;
}

}  // namespace exports
