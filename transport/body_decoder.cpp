// Turns the body bytes into wide text: UTF-8 when the response charset
// says so, the ANSI code page otherwise or when UTF-8 conversion fails.
#include <algorithm>
#include <cstring>

#include "transport/failure_codes.h"
#include "transport/http_client.h"
#include "transport/wide_text.h"

namespace transport {
namespace {

// The text ends at its first zero unit. Only a zero byte decodes to one,
// so a body without any ends at the terminator the decoding took in, found
// without looking through the text unit by unit.
std::size_t TextLength(const WideString& text, const unsigned char* body, std::size_t bodyBytes) {
  if (!text.empty() && text.back() == 0 && std::memchr(body, 0, bodyBytes) == nullptr) return text.size() - 1;
  return static_cast<std::size_t>(std::find(text.begin(), text.end(), WideChar(0)) - text.begin());
}

}  // namespace

bool HttpClient::DecodeResponseBody() {
  if (!bodyBuffer_) return false;
  UINT codePage = CP_UTF8;
  DWORD flags = 0;
  if (!StartsWithIgnoringCase(responseCharset_, WTEXT("utf-8"), 5)) {
    codePage = CP_ACP;
    flags = MB_PRECOMPOSED;
  }
  // The zero byte after the body comes along, so the text is terminated.
  const auto* bytes = reinterpret_cast<const char*>(bodyBuffer_.get());
  int sourceBytes = static_cast<int>(bodyLength_) + 1;
  int units = MultiByteToWideChar(codePage, flags, bytes, sourceBytes, nullptr, 0);
  if (units <= 0) {
    codePage = CP_ACP;
    flags = MB_PRECOMPOSED;
    units = MultiByteToWideChar(codePage, flags, bytes, sourceBytes, nullptr, 0);
    if (units <= 0) return Undecodable();
  }
  // Decoded straight into the reply's own storage: a large body is then
  // held as text once, not twice.
  WideString text;
  if (!AllocateText(text, static_cast<std::size_t>(units))) {
    lastError_ = kErrorOutOfMemory;
    return false;
  }
  if (MultiByteToWideChar(codePage, flags, bytes, sourceBytes, text.data(), units) <= 0) return Undecodable();
  text.resize(TextLength(text, bodyBuffer_.get(), bodyLength_));
  responseText_ = std::move(text);
  return true;
}

bool HttpClient::Undecodable() {
  lastError_ = GetLastError();
  return false;
}

}  // namespace transport
