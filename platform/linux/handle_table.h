// The objects behind HINTERNET values. A handle is an opaque number that
// maps to a shared object: a stale, foreign or wrongly typed handle is
// refused instead of dereferenced, and closing a parent never pulls an
// object out from under a child, since children copy what they need.
#pragma once

#include <memory>

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

enum class HandleKind { Session, Connection, Request };

class HandleObject {
 public:
  explicit HandleObject(HandleKind kind) : kind_(kind) {}
  virtual ~HandleObject() = default;
  HandleKind Kind() const { return kind_; }

 private:
  HandleKind kind_;
};

// Registers `object` and returns its new handle.
HINTERNET RegisterHandle(std::shared_ptr<HandleObject> object);

// The object of `handle`, or null with ERROR_INVALID_HANDLE.
std::shared_ptr<HandleObject> FindHandle(HINTERNET handle);

// Removes `handle`; false with ERROR_INVALID_HANDLE when it is not open.
bool UnregisterHandle(HINTERNET handle);

// The object of `handle` as T (whose kind is T::kKind), or null with
// ERROR_INVALID_HANDLE / ERROR_WINHTTP_INCORRECT_HANDLE_TYPE.
template <typename T>
std::shared_ptr<T> FindHandleOf(HINTERNET handle) {
  std::shared_ptr<HandleObject> object = FindHandle(handle);
  if (!object) return nullptr;
  if (object->Kind() != T::kKind) {
    SetLastError(ERROR_WINHTTP_INCORRECT_HANDLE_TYPE);
    return nullptr;
  }
  return std::static_pointer_cast<T>(object);
}

}  // namespace winhttp_linux
