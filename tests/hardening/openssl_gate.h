// OpenSSL's allocations counted (and failed) with the others.
#pragma once

namespace hardening::alloc {

// False when OpenSSL had allocated before the gate could be installed.
bool OpenSslGated();

}  // namespace hardening::alloc
