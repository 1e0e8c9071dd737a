#include "winhttp_fixture.h"

#include <dirent.h>

#include <vector>

namespace platformtest {

OpenedRequest::OpenedRequest(const RequestOptions& options) {
  session_ = WinHttpOpen(options.agent.c_str(), WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, nullptr, nullptr, 0);
  if (session_ == nullptr) return;
  WinHttpSetTimeouts(session_, 0, options.connectMs, options.sendMs, options.receiveMs);
  connection_ = WinHttpConnect(session_, options.host.c_str(), options.port, 0);
  if (connection_ == nullptr) return;
  request_ = WinHttpOpenRequest(connection_, options.verb.c_str(), options.path.c_str(), nullptr,
                                nullptr, nullptr, options.secure ? WINHTTP_FLAG_SECURE : 0);
  if (request_ != nullptr && options.securityFlags != 0) {
    DWORD flags = options.securityFlags;
    WinHttpSetOption(request_, WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
  }
}

OpenedRequest::~OpenedRequest() {
  for (HINTERNET handle : {request_, connection_, session_})
    if (handle != nullptr) WinHttpCloseHandle(handle);
}

DWORD OpenedRequest::Exchange(const std::u16string& headers, const std::string& body) {
  if (!headers.empty() &&
      !WinHttpAddRequestHeaders(request_, headers.c_str(), static_cast<DWORD>(headers.size()),
                                WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON))
    return GetLastError();
  if (!WinHttpSendRequest(request_, nullptr, 0, nullptr, 0, 0, 0)) return GetLastError();
  DWORD written = 0;
  if (!body.empty() &&
      !WinHttpWriteData(request_, body.data(), static_cast<DWORD>(body.size()), &written))
    return GetLastError();
  if (!WinHttpReceiveResponse(request_, nullptr)) return GetLastError();
  return ERROR_SUCCESS;
}

std::string ReadWholeBody(HINTERNET request, DWORD& error) {
  std::string body;
  error = ERROR_SUCCESS;
  for (int round = 0; round < 100000; ++round) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      error = GetLastError();
      return body;
    }
    if (available == 0) return body;
    std::vector<char> chunk(available);
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.data(), available, &read)) {
      error = GetLastError();
      return body;
    }
    body.append(chunk.data(), read);
  }
  error = ERROR_WINHTTP_INTERNAL_ERROR;  // the body never ended
  return body;
}

std::string QueryText(HINTERNET request, DWORD infoLevel) {
  DWORD size = 0;
  if (WinHttpQueryHeaders(request, infoLevel, nullptr, nullptr, &size, nullptr))
    return "<size query succeeded>";
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return "<error " + std::to_string(GetLastError()) + ">";
  std::u16string text(size / 2, u'\0');
  if (!WinHttpQueryHeaders(request, infoLevel, nullptr, text.data(), &size, nullptr))
    return "<error " + std::to_string(GetLastError()) + ">";
  text.resize(size / 2);
  return Narrow(text);
}

std::u16string Widen(const std::string& ascii) {
  std::u16string wide;
  for (char c : ascii) wide.push_back(static_cast<unsigned char>(c));
  return wide;
}

std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
  return narrow;
}

int OpenDescriptorCount() {
  int count = 0;
  if (DIR* directory = opendir("/proc/self/fd")) {
    while (readdir(directory) != nullptr) ++count;
    closedir(directory);
  }
  return count;
}

}  // namespace platformtest
