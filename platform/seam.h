// The one place that decides where the platform comes from. On Windows the
// core calls the real WinHTTP and kernel32; elsewhere our own layer under
// platform/linux provides the same calls with the same names and numbers.
// The core includes this header and nothing platform-specific besides.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winhttp.h>

// Wide text is 16-bit code units on every platform.
using WideChar = wchar_t;
#define WTEXT(literal) L##literal
#else
#include "platform/linux/winhttp_api.h"
#endif

static_assert(sizeof(WideChar) == 2, "wide text must be 16-bit code units");

using WideString = std::basic_string<WideChar>;

// Whether the raw response head (WINHTTP_QUERY_RAW_HEADERS_CRLF) may be one
// cut off before its blank line yet handed back as whole. Wine's WinHTTP
// does that; for Windows' no trailing blank line is documented, so only
// where the platform is known to cut can the head's end be checked.
bool PlatformMayCutRawHeads();
