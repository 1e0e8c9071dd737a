// GetLastUpdate: the 19-character time of an account's last update.
#include "exports/post_and_convert.h"
#include "exports/services.h"
#include "exports/utf8_out.h"
#include "falloway.h"

namespace {

constexpr std::size_t kStampLength = 19;

// Only a reply of 19 characters that are 19 UTF-8 bytes is passed on; any
// other, a non-ASCII one included, would leave a cut or misleading stamp.
class IntoStampBuffer final : public exports::ReplyRule {
 public:
  explicit IntoStampBuffer(char* lastUpdate) : lastUpdate_(lastUpdate) {}

  int Deliver(const WideString& reply) noexcept override {
    if (reply.size() == kStampLength && exports::Utf8SizeWithin(reply, kStampLength) == kStampLength)
      exports::WriteUtf8(reply, lastUpdate_, kStampLength);
    else
      exports::WriteFailedWord(lastUpdate_);
    return 1;
  }

  void Fail() noexcept override { exports::WriteFailedWord(lastUpdate_); }

 private:
  char* lastUpdate_;
};

}  // namespace

extern "C" int32_t GetLastUpdate(const char* account_number, char* last_update) {
  exports::FormBody body;
  body.Text("account_number=", account_number);
  IntoStampBuffer rule(last_update);
  return exports::PostAndConvert({exports::kFalloway, "GetLastUpdate", exports::kSignalServer,
                                  "/admin/public/api/mt5/getLastUpdatedDate"},
                                 body, rule);
}
