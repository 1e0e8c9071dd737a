// Text helpers of the header extraction that the rest of the transport uses
// too: the GET page check and trimming.
#pragma once

#include "platform/seam.h"

namespace transport {

// True unless `text` has an opening html tag and no closing one.
bool CheckHtmlComplete(const WideString& text);

// `text` without its leading and trailing characters that occur in `set`.
WideString TrimChars(const WideString& text, const WideString& set);

// The same, in place: a long text is not copied.
void TrimInPlace(WideString& text, const WideString& set);

}  // namespace transport
