// WinHttpCrackUrl: the caller says per component what it wants. A buffer
// with its size in characters gets a zero-terminated copy; a null buffer
// with a non-zero length gets a pointer into the URL; both zero: nothing.
#include <cstring>
#include <string_view>

#include "platform/linux/api_guard.h"
#include "platform/linux/shared_calls.h"
#include "platform/linux/url_parser.h"

using winhttp_linux::Fail;
using winhttp_linux::Guarded;

namespace {

struct Component {
  LPWSTR* buffer;
  DWORD* length;
  std::u16string_view text;
};

bool Asked(const Component& c) { return *c.buffer != nullptr || *c.length != 0; }

// ERROR_SUCCESS when the component fits (or is not asked for).
DWORD CheckRoom(const Component& c) {
  if (*c.buffer == nullptr) return ERROR_SUCCESS;
  if (*c.length == 0) return ERROR_INVALID_PARAMETER;
  return c.text.size() < *c.length ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER;
}

void Deliver(const Component& c) {
  if (!Asked(c)) return;
  if (*c.buffer == nullptr) {
    *c.buffer = const_cast<LPWSTR>(c.text.data());
  } else {
    std::memcpy(*c.buffer, c.text.data(), c.text.size() * sizeof(WCHAR));
    (*c.buffer)[c.text.size()] = 0;
  }
  *c.length = static_cast<DWORD>(c.text.size());
}

std::u16string_view Text(std::u16string_view url, winhttp_linux::UrlPiece piece) {
  return url.substr(piece.offset, piece.length);
}

}  // namespace

BOOL winhttp_linux::CrackUrl(LPCWSTR url, DWORD urlLength, DWORD, LPURL_COMPONENTS parts) {
  return Guarded(FALSE, [&]() -> BOOL {
    if (url == nullptr || parts == nullptr || parts->dwStructSize != sizeof(URL_COMPONENTS))
      return Fail(ERROR_INVALID_PARAMETER, FALSE);
    std::u16string_view whole = urlLength == 0 ? std::u16string_view(url)
                                               : std::u16string_view(url, urlLength);
    winhttp_linux::ParsedUrl parsed;
    DWORD parseResult = winhttp_linux::ParseUrl(whole, parsed);
    if (parseResult != ERROR_SUCCESS) return Fail(parseResult, FALSE);

    Component extra{&parts->lpszExtraInfo, &parts->dwExtraInfoLength, Text(whole, parsed.extraInfo)};
    winhttp_linux::UrlPiece pathPiece = parsed.path;
    if (!Asked(extra)) pathPiece.length += parsed.extraInfo.length;  // the query stays on the path
    std::u16string_view path = Text(whole, pathPiece);
    if (path.empty()) path = u"/";
    Component components[] = {
        {&parts->lpszScheme, &parts->dwSchemeLength, Text(whole, parsed.schemeName)},
        {&parts->lpszHostName, &parts->dwHostNameLength, Text(whole, parsed.hostName)},
        {&parts->lpszUserName, &parts->dwUserNameLength, Text(whole, parsed.userName)},
        {&parts->lpszPassword, &parts->dwPasswordLength, Text(whole, parsed.password)},
        {&parts->lpszUrlPath, &parts->dwUrlPathLength, path},
        extra};
    // Check every buffer before writing any, so a failure leaves them untouched.
    for (const Component& c : components) {
      DWORD room = CheckRoom(c);
      if (room == ERROR_INSUFFICIENT_BUFFER) *c.length = static_cast<DWORD>(c.text.size() + 1);
      if (room != ERROR_SUCCESS) return Fail(room, FALSE);
    }
    for (const Component& c : components) Deliver(c);
    parts->nScheme = parsed.scheme;
    parts->nPort = parsed.port;
    return TRUE;
  });
}
