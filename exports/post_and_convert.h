// The one sequence behind every export: post the form body to the endpoint
// and turn what came back into the export's result. This is the export
// boundary: nothing is thrown out of it, and the calling thread's
// last-error value tells the outcome when it returns.
#pragma once

#include "exports/export_call.h"
#include "exports/form_body.h"
#include "exports/reply_rule.h"

namespace exports {

// Returns the export's return value. A body that is not postable is not
// sent; then, as after a failed exchange or any exception, `rule.Fail()`
// runs and the result is 0. Last-error value on return: 0 when a reply
// arrived, else the reason none did. A call without a reply, or with a
// reply outside 2xx, writes one line on the debug channel.
int PostAndConvert(const ExportCall& call, const FormBody& body, ReplyRule& rule) noexcept;

}  // namespace exports
