// RecvSignal: fetches signals into the caller's reply buffer.
#include <cstring>

#include "exports/post_and_convert.h"
#include "exports/services.h"
#include "exports/utf8_out.h"
#include "kestrane.h"

namespace {

constexpr int32_t kDelivered = 1;
constexpr int32_t kNothingThere = 84;
constexpr int32_t kNotDelivered = -1;
constexpr std::size_t kZeroedPrefixBytes = 8;

// The buffer carries no size, so only replies that fit the documented
// buffer with room for a terminator are delivered, and only whole.
class IntoSignalBuffer final : public exports::ReplyRule {
 public:
  IntoSignalBuffer(char* reply, int32_t* status) : reply_(reply), status_(status) {}

  int Deliver(const WideString& reply) noexcept override {
    if (reply.empty() || reply == WTEXT("0")) {
      *status_ = kNothingThere;
      return 0;
    }
    const auto bytes = exports::Utf8SizeWithin(reply, KESTRANE_REPLY_BUFFER_BYTES - 1);
    if (!bytes) {
      Fail();
      return 0;
    }
    *status_ = kDelivered;
    std::memset(reply_, 0, kZeroedPrefixBytes);
    exports::WriteUtf8(reply, reply_, *bytes);
    return 1;
  }

  void Fail() noexcept override { *status_ = kNotDelivered; }

 private:
  char* reply_;
  int32_t* status_;
};

void DotsToDashes(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text == '.') *text = '-';
  }
}

}  // namespace

extern "C" int32_t RecvSignal(const char* user, const char* source, int32_t open_interval, int32_t close_interval,
                              char* requested_at, char* reply, int32_t* status) {
  DotsToDashes(requested_at);
  exports::FormBody body;
  body.Text("user=", user)
      .Text("&source=", source)
      .Int("&open_interval=", open_interval)
      .Int("&close_interval=", close_interval)
      .Int("&interval=", close_interval)
      .Text("&requested_at=", requested_at);
  IntoSignalBuffer rule(reply, status);
  return exports::PostAndConvert({exports::kKestrane, "RecvSignal", exports::kSignalServer,
                                  "/admin/public/api/mt5/receiveSignal"},
                                 body, rule);
}
