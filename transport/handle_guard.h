// Closes a connection or request handle when its scope is left, however.
#pragma once

#include "platform/seam.h"

namespace transport {

class HandleGuard {
 public:
  explicit HandleGuard(HINTERNET handle) : handle_(handle) {}
  ~HandleGuard() {
    if (handle_ != nullptr) WinHttpCloseHandle(handle_);
  }
  HandleGuard(const HandleGuard&) = delete;
  HandleGuard& operator=(const HandleGuard&) = delete;
  HINTERNET get() const { return handle_; }

 private:
  HINTERNET handle_;
};

}  // namespace transport
