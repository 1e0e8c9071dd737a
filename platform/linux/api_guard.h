// Entry guard for every exported call: nothing may unwind into the caller,
// and a failure always leaves its reason for GetLastError.
#pragma once

#include <new>

#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

// Runs `body`; an escaping exception becomes `failed` with an error code.
template <typename Result, typename Body>
Result Guarded(Result failed, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  } catch (...) {
    SetLastError(ERROR_WINHTTP_INTERNAL_ERROR);
  }
  return failed;
}

// Records `code` and returns `failed`, for the many early exits.
template <typename Result>
Result Fail(DWORD code, Result failed) {
  SetLastError(code);
  return failed;
}

}  // namespace winhttp_linux
