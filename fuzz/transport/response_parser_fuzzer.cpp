// Arbitrary bytes as a server's whole answer, read through our WinHTTP
// layer as the client reads it: response, raw headers, status, announced
// length, then the body chunk by chunk. Nothing may crash, hang or report
// more body than the server sent.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/seam.h"
#include "same_thread_server.h"

namespace {

// As the -max_len of scripts/fuzz-all.sh: longer answers only cost time.
constexpr std::size_t kMaxAnswerBytes = 60000;

testsupport::SameThreadServer* gServer = nullptr;
HINTERNET gSession = nullptr;

// A broken promise of the code under test: say which, then crash so the
// fuzzer keeps the input.
#define CHECK(condition) \
  ((condition) ? void() : (std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__), std::abort()))

void QueryText(HINTERNET request, DWORD level) {
  DWORD size = 0;
  if (WinHttpQueryHeaders(request, level, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                          WINHTTP_NO_HEADER_INDEX) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return;
  std::vector<WideChar> text(size / sizeof(WideChar) + 1);
  DWORD length = size;
  if (WinHttpQueryHeaders(request, level, WINHTTP_HEADER_NAME_BY_INDEX, text.data(), &length,
                          WINHTTP_NO_HEADER_INDEX))
    CHECK(length <= size);
}

// Reads the body to its end; returns its size.
std::size_t ReadBody(HINTERNET request, std::size_t sent) {
  std::size_t total = 0;
  std::vector<char> buffer;
  for (std::size_t pass = 0; pass <= sent + 1; ++pass) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available) || available == 0) break;
    buffer.resize(available);
    DWORD read = 0;
    if (!WinHttpReadData(request, buffer.data(), available, &read)) break;
    CHECK(read <= available);
    total += read;
    CHECK(total <= sent);  // decoding never makes more body than came in
  }
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gServer = new testsupport::SameThreadServer();
  gSession = WinHttpOpen(WTEXT("WinHttpClient"), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                         WINHTTP_NO_PROXY_BYPASS, 0);
  CHECK(gSession != nullptr);
  WinHttpSetTimeouts(gSession, 0, 1000, 1000, 1000);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxAnswerBytes) return -1;
  HINTERNET connection = WinHttpConnect(gSession, WTEXT("127.0.0.1"), gServer->Port(), 0);
  CHECK(connection != nullptr);
  HINTERNET request = WinHttpOpenRequest(connection, WTEXT("POST"), WTEXT("/fuzz"), nullptr, WINHTTP_NO_REFERER,
                                         WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
  CHECK(request != nullptr);
  // With a form the whole request leaves now (a bare head would wait for
  // the receive), so the server can answer before the client reads.
  char form[] = "a=1";
  CHECK(WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, form, 3, 3, 0));
  gServer->Answer(std::string(reinterpret_cast<const char*>(data), size));
  if (WinHttpReceiveResponse(request, nullptr)) {
    QueryText(request, WINHTTP_QUERY_RAW_HEADERS_CRLF);
    QueryText(request, WINHTTP_QUERY_STATUS_CODE);
    DWORD length = 0;
    DWORD lengthSize = sizeof length;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &length, &lengthSize, WINHTTP_NO_HEADER_INDEX);
    ReadBody(request, size);
  }
  WinHttpCloseHandle(request);
  WinHttpCloseHandle(connection);
  gServer->Hangup();
  return 0;
}
