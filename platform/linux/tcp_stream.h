// One TCP connection with every wait bounded by the caller's time-outs,
// optionally carrying TLS. Sockets are non-blocking and close-on-exec;
// sends never raise SIGPIPE.
#pragma once

#include <cstddef>
#include <string>

#include "platform/linux/timeouts.h"
#include "platform/linux/tls_channel.h"
#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

class TcpStream {
 public:
  static constexpr std::size_t kReceiveBufferBytes = 64 * 1024;

  TcpStream() = default;
  ~TcpStream() { Close(); }
  TcpStream(const TcpStream&) = delete;
  TcpStream& operator=(const TcpStream&) = delete;

  // Resolves `host` and tries each address in turn within the connect
  // time-out. ERROR_SUCCESS or ERROR_WINHTTP_NAME_NOT_RESOLVED /
  // _CANNOT_CONNECT / _TIMEOUT.
  DWORD Open(const std::string& host, unsigned short port, const Timeouts& timeouts);

  // Turns the open connection into a TLS one for `host` (see TlsChannel);
  // on failure the connection is closed.
  DWORD StartTls(const std::string& host, DWORD securityFlags);

  // ERROR_SUCCESS, ERROR_WINHTTP_TIMEOUT or ERROR_WINHTTP_CONNECTION_ERROR.
  DWORD SendAll(const char* data, std::size_t size);
  // Both pieces, in order, in as few segments as the kernel allows.
  DWORD SendAll(const char* first, std::size_t firstSize, const char* second, std::size_t secondSize);

  // Appends at most `limit` (and at most kReceiveBufferBytes) bytes once
  // some arrive. `closed` tells that the peer ended the stream (nothing
  // appended then). The wait ends with the receive time-out.
  DWORD ReceiveSome(std::string& into, std::size_t limit, bool& closed);

  // True once the peer has closed its side or the connection has failed.
  bool PeerHasHungUp() const;

  void Close();

 private:
  DWORD ConnectTo(const void* address, unsigned addressLength, int family, int timeoutMs);

  int fd_ = -1;
  Timeouts timeouts_;
  TlsChannel tls_;
};

// True for host names and address literals this layer will resolve:
// letters, digits, '.', '-', '_', or an IPv6 literal (brackets stripped).
bool IsAcceptableHostName(const std::string& host);

}  // namespace winhttp_linux
