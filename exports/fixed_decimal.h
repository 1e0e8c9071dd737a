// Rendering of a double in a form field: fixed point, a full stop, six
// digits after it, rounded; the integer part in full. Independent of the
// process locale, since the libraries run inside a host that may have set a
// decimal comma.
#pragma once

#include <string>

namespace exports {

// Appends the rendering of `value` to `out`. False, with `out` unchanged,
// for a NaN or an infinity: such values are never posted.
bool AppendFixedSix(double value, std::string& out);

}  // namespace exports
