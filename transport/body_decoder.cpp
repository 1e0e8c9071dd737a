// Turns the body bytes into wide text: UTF-8 when the response charset
// says so, the ANSI code page otherwise or when UTF-8 conversion fails.
#include "transport/http_client.h"
#include "transport/wide_text.h"

namespace transport {

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
    if (units <= 0) return false;
  }
  Block<WideChar> text = AllocateBlock<WideChar>(static_cast<std::size_t>(units));
  if (!text) return false;
  if (MultiByteToWideChar(codePage, flags, bytes, sourceBytes, text.get(), units) <= 0) return false;
  responseText_ = TextUpToZero(text.get(), static_cast<std::size_t>(units));
  return true;
}

}  // namespace transport
