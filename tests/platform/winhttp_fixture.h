// Opens session, connection and request over the layer for one test, and
// reads a response body the way the client does.
#pragma once

#include <string>

#include "platform/seam.h"

namespace platformtest {

struct RequestOptions {
  std::u16string host = u"127.0.0.1";
  INTERNET_PORT port = 0;
  std::u16string verb = u"POST";
  std::u16string path = u"/p";
  std::u16string agent = u"WinHttpClient";
  int connectMs = 2000;
  int sendMs = 2000;
  int receiveMs = 2000;
  bool secure = false;       // WINHTTP_FLAG_SECURE
  DWORD securityFlags = 0;   // set as WINHTTP_OPTION_SECURITY_FLAGS when not 0
};

class OpenedRequest {
 public:
  explicit OpenedRequest(const RequestOptions& options);
  ~OpenedRequest();
  OpenedRequest(const OpenedRequest&) = delete;
  OpenedRequest& operator=(const OpenedRequest&) = delete;

  HINTERNET Handle() const { return request_; }
  bool Opened() const { return request_ != nullptr; }

  // Adds header text, sends, writes `body`, receives. The error of the
  // first failing step, or ERROR_SUCCESS.
  DWORD Exchange(const std::u16string& headers, const std::string& body);

 private:
  HINTERNET session_ = nullptr;
  HINTERNET connection_ = nullptr;
  HINTERNET request_ = nullptr;
};

// Reads the body with QueryDataAvailable/ReadData until its end (bounded
// number of rounds). `error` is the error of a failing call, else 0.
std::string ReadWholeBody(HINTERNET request, DWORD& error);

// Text of a text header query, or "<error N>".
std::string QueryText(HINTERNET request, DWORD infoLevel);

std::u16string Widen(const std::string& ascii);
std::string Narrow(const std::u16string& text);  // units above 0xFF as '?'

// Open file descriptors of this process.
int OpenDescriptorCount();

}  // namespace platformtest
