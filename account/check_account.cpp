// CheckAccount: signs a user in at the account service and hands back its
// reply text.
#include "exports/post_and_convert.h"
#include "exports/services.h"
#include "exports/utf8_out.h"
#include "falloway.h"

namespace {

// The buffer carries no size: only a reply that fits the documented buffer
// with room for a terminator is written, and only whole.
class IntoAccountBuffer final : public exports::ReplyRule {
 public:
  explicit IntoAccountBuffer(char* reply) : reply_(reply) {}

  int Deliver(const WideString& reply) noexcept override {
    const auto bytes = exports::Utf8SizeWithin(reply, FALLOWAY_REPLY_BUFFER_BYTES - 1);
    if (!bytes) return 0;
    exports::WriteUtf8(reply, reply_, *bytes);
    return 1;
  }

  void Fail() noexcept override {}

 private:
  char* reply_;
};

}  // namespace

extern "C" int32_t CheckAccount(const char* email, const char* password, const char* account,
                                const char* source_name, int32_t type, char* reply) {
  exports::FormBody body;
  body.Text("email=", email).Text("&password=", password).Text("&account=", account);
  if (type == 0) body.Text("&source_name=", source_name);
  body.Text("&type=", type != 0 ? "1" : "0");
  IntoAccountBuffer rule(reply);
  return exports::PostAndConvert({exports::kFalloway, "CheckAccount", exports::kAccountService,
                                  "/client/api_copytrade.php"},
                                 body, rule);
}
