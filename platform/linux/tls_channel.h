// TLS over one connected, non-blocking socket, with OpenSSL: TLS 1.2 or
// newer, SNI for host names, the peer's certificate verified against
// OpenSSL's default trust store (SSL_CERT_FILE / SSL_CERT_DIR apply) and
// against the host name or IP address, unless WinHTTP's security flags say
// to ignore that kind of error. Every wait is bounded by the time-outs:
// reads by the receive time-out, writes by the send time-out, also during
// the handshake. All OpenSSL objects belong to the channel and go with it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/linux/timeouts.h"
#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

class TlsChannel {
 public:
  TlsChannel();
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  // Handshakes over `fd` (which stays the caller's). ERROR_SUCCESS;
  // ERROR_WINHTTP_SECURE_FAILURE when the certificate is refused;
  // ERROR_WINHTTP_SECURE_CHANNEL_ERROR when the handshake fails otherwise;
  // ERROR_WINHTTP_TIMEOUT; ERROR_NOT_ENOUGH_MEMORY.
  DWORD Start(int fd, const std::string& host, DWORD securityFlags, const Timeouts& timeouts);
  bool Active() const;

  // ERROR_SUCCESS, ERROR_WINHTTP_TIMEOUT or ERROR_WINHTTP_CONNECTION_ERROR.
  DWORD SendAll(const char* data, std::size_t size);
  // As TcpStream::ReceiveSome; the peer's close, with or without its
  // close_notify, ends the stream.
  DWORD ReceiveSome(std::string& into, std::size_t limit, bool& closed);

  // Frees the TLS objects; the socket is left to its owner.
  void End();

 private:
  struct Objects;
  enum class Step { Again, Closed, TimedOut, Failed };

  Step Continue(int result);

  std::unique_ptr<Objects> objects_;
  int fd_ = -1;
  Timeouts timeouts_;
};

}  // namespace winhttp_linux
