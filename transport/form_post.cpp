// The post sequence every export runs.
#include "transport/form_post.h"

#include <limits>
#include <string>

#include "transport/failure_codes.h"
#include "transport/http_client.h"

namespace transport {
namespace {

WideString Decimal(std::uint32_t value) {
  std::string digits = std::to_string(value);
  return WideString(digits.begin(), digits.end());
}

bool IsSuccessStatus(const WideString& status) {
  return status.size() == 3 && status[0] == WideChar('2');
}

bool Refused(PostReport* report, std::uint32_t error) {
  if (report != nullptr) {
    report->filled = true;
    report->lastError = error;
  }
  return false;
}

// Where the client recorded no reason (a connection or request handle it
// could not open), the platform's own is the one left on the thread.
std::uint32_t ReasonOf(const HttpClient& client) {
  if (client.LastError() != 0) return client.LastError();
  const DWORD platform = GetLastError();
  return platform != 0 ? platform : ERROR_WINHTTP_INTERNAL_ERROR;
}

void Report(const HttpClient& client, bool replied, PostReport& report) {
  report.filled = true;
  report.lastError = replied ? client.LastError() : ReasonOf(client);
  report.attempts = client.AttemptsMade();
  report.elapsedMs = client.ElapsedMs();
  if (replied) report.status = client.StatusCode();
  report.proxy = client.ProxyUsed();
}

}  // namespace

bool FormPost(const WideString& endpointUrl, const std::string& body, WideString& reply, PostReport* report) {
  // The length goes out as a signed 32-bit decimal.
  if (body.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
    return Refused(report, ERROR_INVALID_PARAMETER);
  }
  auto length = static_cast<std::uint32_t>(body.size());
  HttpClient client(endpointUrl);
  // The client's default ignores certificate errors on https, which would
  // hand the posted credentials to any machine in the middle.
  client.SetVerifyCertificates(true);
  // Without its copy the body would be announced and never sent.
  if (!client.SetPostData(body.data(), length)) return Refused(report, kErrorOutOfMemory);
  client.SetExtraHeaders(WTEXT("Content-Length: ") + Decimal(length) +
                         WTEXT("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
  const bool replied = client.Send(WTEXT("POST"));
  if (report != nullptr && !(replied && IsSuccessStatus(client.StatusCode()))) Report(client, replied, *report);
  if (!replied) return false;
  reply = client.TakeResponseText();  // the client goes right after
  return true;
}

}  // namespace transport
