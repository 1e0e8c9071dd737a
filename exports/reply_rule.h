// How an export turns the outcome of its exchange into its result. Both
// operations write only into the caller's memory and never throw, so the
// export boundary can always fall back on Fail.
#pragma once

#include <cstdint>

#include "platform/seam.h"

namespace exports {

class ReplyRule {
 public:
  // A reply arrived; returns the export's return value (1 or 0).
  virtual int Deliver(const WideString& reply) noexcept = 0;
  // No reply: the exchange failed or could not take place.
  virtual void Fail() noexcept = 0;

 protected:
  ~ReplyRule() = default;
};

// The reply read by ReplyToInt into `*result`; -1 when no reply arrived.
class IntoResult final : public ReplyRule {
 public:
  explicit IntoResult(std::int32_t* result) : result_(result) {}
  int Deliver(const WideString& reply) noexcept override;
  void Fail() noexcept override;

 private:
  std::int32_t* result_;
};

// "success" (8 bytes with its zero) when the reply reads as 1, otherwise
// "failed" (7 bytes with its zero; the eighth byte keeps its value).
class IntoOutcomeWord final : public ReplyRule {
 public:
  explicit IntoOutcomeWord(char* outcome) : outcome_(outcome) {}
  int Deliver(const WideString& reply) noexcept override;
  void Fail() noexcept override;

 private:
  char* outcome_;
};

// Writes "failed" and its zero: 7 bytes, nothing after them.
void WriteFailedWord(char* buffer) noexcept;

}  // namespace exports
