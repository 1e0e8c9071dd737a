// The wire table over the fake platform: the exports linked in, each
// case's answer handed over by the fake's script, and the request read back
// from the calls the client made.
#include <dlfcn.h>

#include "allocation_gate.h"
#include "call_dispatch.h"
#include "debug_lines.h"
#include "fake_platform.h"
#include "platform/linux/debug_output.h"
#include "wire_backend.h"

namespace wire {
namespace {

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

std::uint32_t ThreadLastError() { return GetLastError(); }

// The exports are linked into this program, which exports its symbols.
dllcaller::Entry ExportAddress(const char* name) { return {dlsym(RTLD_DEFAULT, name), ThreadLastError}; }

void KeepLine(const char16_t* line) { dllcaller::KeepWideDebugLine(line); }

// A whole response as the fake's script: status, raw head, whole body.
fake::Response FakeResponse(const std::string& raw) {
  const std::size_t end = raw.find("\r\n\r\n") + 4;
  fake::Response response;
  response.status = static_cast<DWORD>(std::stoul(raw.substr(9, 3)));
  response.rawHeaders = raw.substr(0, end);
  if (end < raw.size()) response.bodyChunks.push_back(raw.substr(end));
  return response;
}

// The request as the client handed it to the platform.
std::string RequestOf(const std::vector<fake::CallRecord>& journal) {
  std::string verbAndPath;
  std::string host;
  std::string headers;
  for (const fake::CallRecord& record : journal) {
    if (record.call == fake::Call::Connect) host = Narrow(record.text) + ":" + std::to_string(record.value);
    if (record.call == fake::Call::OpenRequest) verbAndPath = Narrow(record.text) + " " + Narrow(record.path);
    if (record.call == fake::Call::SendRequest) headers = Narrow(record.text);
  }
  return verbAndPath + " HTTP/1.1\r\nHost: " + host + "\r\n" + headers + "\r\n" + fake::WrittenBytes();
}

class FakeBackend : public Backend {
 public:
  FakeBackend() { SetDebugOutputHook(KeepLine); }
  Platform Which() const override { return Platform::Fake; }

  std::string CannotRun(const WireCase& c) const override { return c.notOnFake; }

  Observed Run(const WireCase& c) override {
    fake::Reset();
    fake::AllocationGate::Open();
    if (c.script) {
      fake::QueueResponse(FakeResponse(c.script().front().bytes));
    } else {
      fake::FailCall(fake::Call::SendRequest, ERROR_WINHTTP_CANNOT_CONNECT);
    }
    Observed seen;
    seen.resultLine = dllcaller::RunLine(ExportAddress, c.call.line);
    if (c.script && fake::CountOf(fake::Call::SendRequest) > 0) {
      seen.requests.push_back(RequestOf(fake::Journal()));
      seen.dropped.push_back(false);
    }
    if (fake::OpenHandleCount() != 0 || fake::BadCloseCount() != 0) seen.resultLine = "error handles left open";
    return seen;
  }
};

}  // namespace

Backend& TheBackend() {
  static FakeBackend backend;
  return backend;
}

}  // namespace wire
