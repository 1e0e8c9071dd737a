// The one sequence behind every export: post the form body to the endpoint
// and turn what came back into the export's result. This is the export
// boundary: nothing is thrown out of it.
#pragma once

#include "exports/endpoint_url.h"
#include "exports/form_body.h"
#include "exports/reply_rule.h"

namespace exports {

// Returns the export's return value. A body that is not postable is not
// sent; then, as after a failed exchange or any exception, `rule.Fail()`
// runs and the result is 0.
int PostAndConvert(const Service& service, const char* path, const FormBody& body, ReplyRule& rule) noexcept;

}  // namespace exports
