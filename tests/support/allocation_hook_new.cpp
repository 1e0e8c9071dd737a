// operator new under the allocation hook, for the programs that link it:
// the allocation the hook picks throws std::bad_alloc.
#include <cstdlib>
#include <new>

#include "allocation_hook.h"

void* operator new(std::size_t bytes) {
  if (!testalloc::AllocationHook::Allow()) throw std::bad_alloc();
  if (void* block = std::malloc(bytes == 0 ? 1 : bytes)) return block;
  throw std::bad_alloc();
}

void* operator new[](std::size_t bytes) { return ::operator new(bytes); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
