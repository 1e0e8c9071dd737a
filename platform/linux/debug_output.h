// The stand-in's debug channel. Windows shows OutputDebugStringW's lines in
// a debugger; here nothing is printed, and a test that wants the lines
// installs a hook, which then gets each one as it is written.
#pragma once

#include "platform/linux/winhttp_api.h"

using DebugOutputHook = void (*)(const WideChar* line);

// Process-wide; null removes it. A C name, so that a test can install it in
// a library it loaded by file name.
extern "C" STAND_IN_VISIBLE void SetDebugOutputHook(DebugOutputHook hook);
