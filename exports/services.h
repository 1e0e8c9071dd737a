// The two services as this library was built for them (CMake's
// *_SCHEME and *_HOST values, handed in by add_export_library).
#pragma once

#include "exports/endpoint_url.h"

namespace exports {

inline constexpr Service kSignalServer{SIGNAL_SERVER_SCHEME, SIGNAL_SERVER_HOST};
inline constexpr Service kAccountService{ACCOUNT_SERVICE_SCHEME, ACCOUNT_SERVICE_HOST};

// The libraries as their debug lines name them.
inline constexpr char kKestrane[] = "Kestrane";
inline constexpr char kFalloway[] = "Falloway";

}  // namespace exports
