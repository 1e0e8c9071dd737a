// A TLS front for the loopback servers: listens on 127.0.0.1, completes the
// handshake with one of the test certificates (tests/support/tls), then,
// once the request starts to arrive, relays the plain bytes to a server on
// another loopback port and its answer back, until that server closes. A
// connection that sends nothing never reaches that server. Connections are served one after
// another; every wait is bounded and the front stops in its destructor.
//
//   ScriptedServer plain({Step::Respond(HttpResponse(200, {}, "42"))});
//   TlsFront front(TestCertificate::LoopbackIp, plain.Port());
//   setenv("SSL_CERT_FILE", TestCaFile().c_str(), 1);   // trust the test CA
//   ... https://127.0.0.1:<front.Port()>/path gets "42" ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

enum class TestCertificate {
  Localhost,   // "localhost", from the test CA
  LoopbackIp,  // 127.0.0.1, from the test CA
  WrongName,   // "wrong.invalid", from the test CA
  Expired,     // localhost and 127.0.0.1, from the test CA, expired in 2001
  SelfSigned,  // localhost and 127.0.0.1, signed by itself
};

// The test CA's certificate (PEM).
std::string TestCaFile();

class TlsFront {
 public:
  // Listens on 127.0.0.1:port (0: an ephemeral port). Throws
  // std::runtime_error when it cannot listen or load the certificate.
  TlsFront(TestCertificate certificate, std::uint16_t upstreamPort, std::uint16_t port = 0);
  ~TlsFront();
  TlsFront(const TlsFront&) = delete;
  TlsFront& operator=(const TlsFront&) = delete;

  std::uint16_t Port() const;
  std::size_t ConnectionCount() const;
  // For each completed handshake, the name it asked for by SNI ("" for none).
  std::vector<std::string> ServerNames() const;
  // Waits (at most timeoutMs) until `count` connections have been fully
  // handled; true when they have.
  bool WaitForHandled(std::size_t count, int timeoutMs) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testsupport
