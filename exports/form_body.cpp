#include "exports/form_body.h"

#include <charconv>
#include <new>

#include "exports/fixed_decimal.h"

namespace exports {

template <typename AppendValue>
FormBody& FormBody::Field(const char* key, AppendValue appendValue) noexcept {
  if (!Postable()) return *this;
  try {
    bytes_.append(key);
    finite_ = appendValue();
  } catch (const std::bad_alloc&) {
    intact_ = false;
  }
  return *this;
}

FormBody& FormBody::Text(const char* key, const char* value) noexcept {
  return Field(key, [&] {
    if (value != nullptr) bytes_.append(value);
    return true;
  });
}

FormBody& FormBody::Int(const char* key, std::int32_t value) noexcept {
  return Field(key, [&] {
    char digits[12];  // "-2147483648"
    const auto rendered = std::to_chars(digits, digits + sizeof digits, value);
    bytes_.append(digits, rendered.ptr);
    return true;
  });
}

FormBody& FormBody::Decimal(const char* key, double value) noexcept {
  return Field(key, [&] { return AppendFixedSix(value, bytes_); });
}

}  // namespace exports
