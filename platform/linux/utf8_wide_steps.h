// UTF-8 checked, counted and decoded 32 bytes at a time, on x86-64
// machines with AVX2 (asked at run time). Only well-formed windows are
// taken; whatever fails their checks is left to the exact decoder, so these
// steps never change a result, only its cost.
#pragma once

#include <cstddef>

namespace winhttp_linux {

// Whether this machine takes the steps below; when not, they take nothing.
bool Utf8WideStepsAvailable();

// Well-formed windows from the front of `bytes`, read as the start of a
// text (nothing before it is looked at): `end` is where they stop (it may
// cut the last character) and `units` what the bytes before it decode to,
// counting a cut character's lead as if it were whole.
void CountWellFormedWindows(const unsigned char* bytes, std::size_t count, std::size_t& end, std::size_t& units);

// Decodes well-formed windows from `at`, where a character starts, into `out` from `units` on (room for `room`); moves
// both past what it took. Units written past the new `units` (at most 8)
// are covered by what the rest of the text decodes to, as the bounds kept
// ahead ensure. True when it stopped at an ill-formed window, false when
// the bounds ran out.
bool DecodeWellFormedWindows(const unsigned char* bytes, std::size_t count, std::size_t& at, char16_t* out,
                             std::size_t room, std::size_t& units);

}  // namespace winhttp_linux
