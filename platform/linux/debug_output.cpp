#include "platform/linux/debug_output.h"

#include <atomic>

namespace {
std::atomic<DebugOutputHook> hook{nullptr};
}  // namespace

void SetDebugOutputHook(DebugOutputHook installed) { hook.store(installed); }

void OutputDebugStringW(LPCWSTR text) {
  const DebugOutputHook current = hook.load();
  if (current != nullptr && text != nullptr) current(text);
}
