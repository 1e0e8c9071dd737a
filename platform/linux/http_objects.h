// Sessions, connections and requests. Each child copies its parent's
// settings when it is opened, so it never depends on the parent staying open.
#pragma once

#include <string>

#include "platform/linux/handle_table.h"
#include "platform/linux/http_exchange.h"
#include "platform/linux/request_headers.h"
#include "platform/linux/timeouts.h"

namespace winhttp_linux {

struct ProxySetting {
  std::string server;  // empty: connect directly
  std::string bypass;
};

struct InheritedSettings {
  std::string userAgent;
  Timeouts timeouts;
  ProxySetting proxy;
};

class Session : public HandleObject {
 public:
  static constexpr HandleKind kKind = HandleKind::Session;
  Session() : HandleObject(kKind) {}
  InheritedSettings settings;
};

class Connection : public HandleObject {
 public:
  static constexpr HandleKind kKind = HandleKind::Connection;
  Connection() : HandleObject(kKind) {}
  InheritedSettings settings;
  std::string host;
  unsigned short port = 80;
};

class Request : public HandleObject {
 public:
  static constexpr HandleKind kKind = HandleKind::Request;
  Request() : HandleObject(kKind) {}
  InheritedSettings settings;
  std::string host;
  unsigned short port = 80;
  bool secure = false;
  std::string verb;
  std::string path;
  RequestHeaders headers;
  DWORD securityFlags = 0;
  std::u16string proxyUser;
  std::u16string proxyPassword;
  HttpExchange exchange;
};

}  // namespace winhttp_linux
