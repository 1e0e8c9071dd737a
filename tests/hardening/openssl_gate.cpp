// Routes OpenSSL's allocations through the tests' allocation hook, so that the
// torture over TLS fails them one by one as well.
#include <openssl/crypto.h>
#include <openssl/ssl.h>

#include <cstdlib>

#include "allocation_hook.h"
#include "openssl_gate.h"

namespace {

void* GatedMalloc(std::size_t bytes, const char*, int) {
  return testalloc::AllocationHook::Allow() ? std::malloc(bytes) : nullptr;
}
void* GatedRealloc(void* block, std::size_t bytes, const char*, int) {
  return testalloc::AllocationHook::Allow() ? std::realloc(block, bytes) : nullptr;
}
void GatedFree(void* block, const char*, int) { std::free(block); }

// Before main, so before OpenSSL's first allocation. OpenSSL's own global
// state (error strings, the exit-time clean-up) is set up here, ungated:
// its lazy set-up is not robust against a failed allocation, and it is not
// what the torture is about.
bool Gate() {
  if (CRYPTO_set_mem_functions(GatedMalloc, GatedRealloc, GatedFree) != 1) return false;
  return OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_NO_ATEXIT,
                          nullptr) == 1;
}

const bool gGated = Gate();

}  // namespace

namespace hardening::alloc {

bool OpenSslGated() { return gGated; }

}  // namespace hardening::alloc
