// One request/response exchange on its own connection: send the head and
// the body, read the response head, then hand out the body as it arrives.
#pragma once

#include <cstddef>
#include <string>

#include "platform/linux/framing_decoder.h"
#include "platform/linux/response_head.h"
#include "platform/linux/tcp_stream.h"
#include "platform/linux/timeouts.h"

namespace winhttp_linux {

struct Destination {
  std::string host;
  unsigned short port = 80;
  Timeouts timeouts;
  bool secure = false;       // TLS with `host`'s certificate verified
  DWORD securityFlags = 0;   // WinHTTP's SECURITY_FLAG_IGNORE_* for it
};

class HttpExchange {
 public:
  // Starts afresh (dropping any earlier connection and response), connects
  // and sends `head` followed by `optional`. Without `optional` the head is
  // held until the first Write or Receive, which sends it first.
  DWORD Send(const Destination& destination, const std::string& head, const char* optional,
             std::size_t optionalSize);
  DWORD Write(const char* data, std::size_t size);
  // Reads the response head, skipping interim 1xx responses.
  DWORD Receive(bool replyToHead);

  // Null until a response head has been received.
  const ResponseHead* Head() const { return phase_ == Phase::Received ? &head_ : nullptr; }

  // Body bytes readable now (at most kAvailableLimit); 0 at the end of the body.
  DWORD Available(std::size_t& bytes);
  DWORD Read(char* buffer, std::size_t size, std::size_t& read);

  static constexpr std::size_t kAvailableLimit = 64 * 1024;

 private:
  enum class Phase { Idle, Sent, Received };

  // One head within `allowance` bytes; `consumed` tells how many it took.
  DWORD ReceiveHead(ResponseHead& head, std::size_t allowance, std::size_t& consumed);
  DWORD SendWithHead(const char* data, std::size_t size);
  DWORD Fill();
  std::size_t Pending() const { return body_.size() - bodyOffset_; }

  Phase phase_ = Phase::Idle;
  TcpStream stream_;
  std::string pendingHead_;  // connected, head not sent yet
  std::string inbox_;        // received, not yet decoded
  std::string body_;         // decoded body bytes, handed out from bodyOffset_
  std::size_t bodyOffset_ = 0;
  DWORD bodyError_ = ERROR_SUCCESS;  // a body failure stays: later reads fail too
  ResponseHead head_;
  FramingDecoder decoder_;
};

}  // namespace winhttp_linux
