#include "platform/memory.h"

#include <atomic>
#include <cstdlib>

namespace memory {
namespace {
std::atomic<FailureGate> gFailureGate{nullptr};
}

void SetFailureGate(FailureGate gate) { gFailureGate.store(gate); }

bool GateAllows() {
  FailureGate gate = gFailureGate.load();
  return gate == nullptr || gate();
}

void* AllocateZeroed(std::size_t bytes) {
  if (!GateAllows()) return nullptr;
  return std::calloc(bytes == 0 ? 1 : bytes, 1);
}

void* AllocateUninitialized(std::size_t bytes) {
  if (!GateAllows()) return nullptr;
  return std::malloc(bytes == 0 ? 1 : bytes);
}

void* Reallocate(void* block, std::size_t bytes) {
  if (!GateAllows()) return nullptr;
  return std::realloc(block, bytes == 0 ? 1 : bytes);
}

void Release(void* block) { std::free(block); }

}  // namespace memory
