#include <chrono>

#include "platform/linux/winhttp_api.h"

ULONGLONG GetTickCount64() {
  return static_cast<ULONGLONG>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}
