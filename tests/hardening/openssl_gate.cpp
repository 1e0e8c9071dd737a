// Routes OpenSSL's allocations through the counting allocator, so that the
// torture over TLS fails them one by one as well.
#include <openssl/crypto.h>

#include <cstdlib>

#include "counting_allocator.h"
#include "openssl_gate.h"

namespace {

void* GatedMalloc(std::size_t bytes, const char*, int) {
  return hardening::alloc::Admit() ? std::malloc(bytes) : nullptr;
}
void* GatedRealloc(void* block, std::size_t bytes, const char*, int) {
  return hardening::alloc::Admit() ? std::realloc(block, bytes) : nullptr;
}
void GatedFree(void* block, const char*, int) { std::free(block); }

// Before main, so before OpenSSL's first allocation.
const bool gGated = CRYPTO_set_mem_functions(GatedMalloc, GatedRealloc, GatedFree) == 1;

}  // namespace

namespace hardening::alloc {

bool OpenSslGated() { return gGated; }

}  // namespace hardening::alloc
