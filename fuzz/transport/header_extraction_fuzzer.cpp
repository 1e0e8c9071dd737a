// Arbitrary text as the response's raw header block, handed to the client
// by the scriptable fake platform, so that header extraction (charset,
// content length, location, cookies) and its pattern searches see every
// shape of header text, not only what a parser would let through.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fake_platform.h"
#include "transport/http_client.h"

namespace {

// A broken promise of the code under test: say which, then crash so the
// fuzzer keeps the input.
#define CHECK(condition) \
  ((condition) ? void() : (std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__), std::abort()))

bool IsCharsetUnit(WideChar c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
}

bool AllOf(const WideString& text, bool (*test)(WideChar)) {
  for (WideChar c : text)
    if (!test(c)) return false;
  return true;
}

WideString WidenedUpToZero(const std::string& bytes) {
  WideString wide;
  for (char c : bytes) {
    if (c == '\0') break;
    wide.push_back(static_cast<WideChar>(static_cast<unsigned char>(c)));
  }
  return wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string headers(reinterpret_cast<const char*>(data), size);
  fake::Reset();
  fake::Response response;
  response.rawHeaders = headers;
  response.bodyChunks = {"42"};
  fake::QueueResponse(response);

  {
    transport::HttpClient client(WTEXT("http://127.0.0.1/fuzz"));
    client.SetPostData("a", 1);
    client.SetExtraHeaders(WTEXT("Content-Length: 1\r\n"));
    client.Send(WTEXT("POST"));

    CHECK(client.ResponseHeaders() == WidenedUpToZero(headers));
    CHECK(AllOf(client.ResponseCharset(), IsCharsetUnit));
    CHECK(AllOf(client.RedirectLocation(), [](WideChar c) { return c >= '0' && c <= '9'; }));
    const WideString& cookies = client.ReceivedCookies();
    CHECK(cookies.empty() || (cookies.back() == ';' && cookies.front() != ' '));
  }
  CHECK(fake::OpenHandleCount() == 0);
  return 0;
}
