// Arbitrary bytes as a response body under a chosen charset, through the
// client and our WinHTTP layer, so that body reading and decoding
// (UTF-8 or the ANSI code page, with the fallback between them) meet every
// byte sequence. The first input byte picks the charset.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include <strings.h>

#include "answering_server.h"
#include "transport/http_client.h"

namespace {

const char* const kCharsets[] = {nullptr, "utf-8", "UTF-8", "utf-8x", "iso-8859-1", "utf-16"};
constexpr std::size_t kCharsetCount = sizeof kCharsets / sizeof kCharsets[0];

// The client's whole exchange is one blocking call, so the server answers
// on a thread of its own, with the answer this input dictates.
std::mutex gAnswerMutex;
std::string gAnswer;  // guarded by gAnswerMutex
testsupport::AnsweringServer* gServer = nullptr;

std::string DictatedAnswer(const std::string&) {
  std::lock_guard<std::mutex> lock(gAnswerMutex);
  return gAnswer;
}
WideString gUrl;

// A broken promise of the code under test: say which, then crash so the
// fuzzer keeps the input.
#define CHECK(condition) \
  ((condition) ? void() : (std::fprintf(stderr, "check failed: %s (line %d)\n", #condition, __LINE__), std::abort()))

std::string Answer(const char* charset, const std::string& body) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  if (charset != nullptr) head += std::string("Content-Type: text/plain; charset=") + charset + "\r\n";
  return head + "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

bool Utf8Chosen(const char* charset) { return charset != nullptr && strncasecmp(charset, "utf-8", 5) == 0; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gServer = new testsupport::AnsweringServer(DictatedAnswer);
  const std::string url = "http://127.0.0.1:" + std::to_string(gServer->Port()) + "/fuzz";
  gUrl.assign(url.begin(), url.end());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 60000) return -1;
  const char* charset = kCharsets[data[0] % kCharsetCount];
  const std::string body(reinterpret_cast<const char*>(data + 1), size - 1);
  {
    std::lock_guard<std::mutex> lock(gAnswerMutex);
    gAnswer = Answer(charset, body);
  }

  transport::HttpClient client(gUrl);
  client.SetPostData("a", 1);
  client.SetExtraHeaders(WTEXT("Content-Length: 1\r\n"));
  client.SetTimeouts(0, 1000, 1000, 1000);
  CHECK(client.Send(WTEXT("POST")));
  CHECK(client.BodyLength() == body.size());

  const WideString text = client.GetResponseText();
  const std::size_t beforeZero = body.find('\0') == std::string::npos ? body.size() : body.find('\0');
  CHECK(text.find(WideChar(0)) == WideString::npos);
  if (Utf8Chosen(charset)) {
    CHECK(text.size() <= beforeZero);  // no sequence yields more units than bytes
  } else {
    CHECK(text.size() == beforeZero);  // the ANSI code page maps each byte to one unit
  }
  return 0;
}
