// The one line an export writes on the platform's debug channel when its
// call got no reply, or a reply whose status lies outside 200-299. It
// names the call, the endpoint and what the exchange told of itself;
// never the form, the reply or anything the caller passed.
#pragma once

#include "exports/export_call.h"
#include "transport/form_post.h"

namespace exports {

// e.g. "Kestrane CheckLimits: no reply from http://host/path: 3 attempts,
// last 12029 (cannot connect), 0.4 s"
WideString DebugLine(const ExportCall& call, const WideString& url, const transport::PostReport& report);

// Writes DebugLine; when memory runs out for it, nothing.
void WriteDebugLine(const ExportCall& call, const WideString& url, const transport::PostReport& report) noexcept;

}  // namespace exports
