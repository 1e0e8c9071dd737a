// The form body of one export: key=value fields appended in order, every
// key literal bringing its own "&". Values are never encoded: texts go out
// byte for byte. Appending never throws; a body that could not be built
// whole (memory ran out, or a double that has no rendering) reports itself
// as not postable, and the export then takes its failure path.
#pragma once

#include <cstdint>
#include <string>

namespace exports {

class FormBody {
 public:
  // `value` is copied up to its terminating zero; a null pointer counts as
  // an empty text.
  FormBody& Text(const char* key, const char* value) noexcept;
  // "%d": signed decimal, no padding, no plus sign.
  FormBody& Int(const char* key, std::int32_t value) noexcept;
  // Fixed point with six decimals; a NaN or an infinity spoils the body.
  FormBody& Decimal(const char* key, double value) noexcept;

  bool Postable() const noexcept { return intact_ && finite_; }
  // False when a number had no rendering (the caller's fault, not memory's).
  bool Finite() const noexcept { return finite_; }
  const std::string& Bytes() const noexcept { return bytes_; }

 private:
  template <typename AppendValue>
  FormBody& Field(const char* key, AppendValue appendValue) noexcept;

  std::string bytes_;
  bool intact_ = true;
  bool finite_ = true;
};

}  // namespace exports
