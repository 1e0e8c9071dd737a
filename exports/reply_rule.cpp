#include "exports/reply_rule.h"

#include <cstring>

#include "transport/form_post.h"

namespace exports {

int IntoResult::Deliver(const WideString& reply) noexcept {
  *result_ = transport::ReplyToInt(reply);
  return 1;
}

void IntoResult::Fail() noexcept { *result_ = -1; }

int IntoOutcomeWord::Deliver(const WideString& reply) noexcept {
  if (transport::ReplyToInt(reply) == 1) std::memcpy(outcome_, "success", sizeof "success");
  else WriteFailedWord(outcome_);
  return 1;
}

void IntoOutcomeWord::Fail() noexcept { WriteFailedWord(outcome_); }

void WriteFailedWord(char* buffer) noexcept { std::memcpy(buffer, "failed", sizeof "failed"); }

}  // namespace exports
