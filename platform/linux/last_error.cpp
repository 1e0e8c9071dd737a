#include "platform/linux/winhttp_api.h"

namespace {
// Each thread sees only the failures of its own calls, as on Windows.
thread_local DWORD lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD code) { lastError = code; }
