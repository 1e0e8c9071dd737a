#include "exports/post_and_convert.h"

#include "exports/debug_line.h"
#include "transport/failure_codes.h"

namespace exports {
namespace {

std::uint32_t WhyNotPostable(const FormBody& body) {
  return body.Finite() ? transport::kErrorOutOfMemory : ERROR_INVALID_PARAMETER;
}

}  // namespace

int PostAndConvert(const ExportCall& call, const FormBody& body, ReplyRule& rule) noexcept {
  transport::PostReport report;
  WideString url;
  bool replied = false;
  int result = 0;
  try {
    url = EndpointUrl(call.service, call.path);
    if (body.Postable()) {
      WideString reply;
      replied = transport::FormPost(url, body.Bytes(), reply, &report);
      if (replied) result = rule.Deliver(reply);
    } else {
      report.filled = true;
      report.lastError = WhyNotPostable(body);
    }
  } catch (...) {
    // Out of memory, or the pattern engine's failure: the host program must
    // not see it, and no reply was delivered.
    report.filled = true;
    report.lastError = transport::kErrorOutOfMemory;
  }
  if (!replied) rule.Fail();
  if (report.filled) WriteDebugLine(call, url, report);
  // Last, since the calls before may leave their own values on the thread.
  SetLastError(replied ? ERROR_SUCCESS : report.lastError);
  return result;
}

}  // namespace exports
