#include "ours_client.h"

#include "transport/form_post.h"

namespace bench {

bool OursFormPost(const std::string& url, const std::string& body, WideString& reply) {
  try {
    return transport::FormPost(WideString(url.begin(), url.end()), body, reply);
  } catch (...) {
    return false;
  }
}

}  // namespace bench
