// https over the layer: certificates verified against the trust store
// named by SSL_CERT_FILE (the test CA), the security flags that waive one
// kind of error each, plain and TLS speakers that meet the wrong peer, the
// time-outs during the handshake and afterwards, and no socket left open.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "loopback_server.h"
#include "tls_front.h"
#include "winhttp_fixture.h"

namespace {

using namespace testsupport;
using namespace platformtest;
using Clock = std::chrono::steady_clock;

const std::u16string kHeaders = u"Content-Length: 3\r\n";
constexpr DWORD kAnyName = SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
constexpr DWORD kAnyDate = SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
constexpr DWORD kAnyIssuer = SECURITY_FLAG_IGNORE_UNKNOWN_CA;

class Tls : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SSL_CERT_FILE", TestCaFile().c_str(), 1); }
  void TearDown() override { unsetenv("SSL_CERT_FILE"); }

  // One POST of "a=1" over TLS; the error of the first failing call, or
  // ERROR_SUCCESS with the body in `reply`.
  static DWORD Post(RequestOptions options, std::uint16_t port, std::string& reply) {
    options.port = port;
    options.secure = true;
    OpenedRequest request(options);
    DWORD error = request.Exchange(kHeaders, "a=1");
    if (error == ERROR_SUCCESS) reply = ReadWholeBody(request.Handle(), error);
    return error;
  }
};

struct CertificateCase {
  const char* label;
  TestCertificate certificate;
  const char16_t* host;
  DWORD securityFlags;
  bool accepted;
};

TEST_F(Tls, CertificatesAreVerifiedUnlessTheFlagsWaiveThatError) {
  const CertificateCase cases[] = {
      {"address", TestCertificate::LoopbackIp, u"127.0.0.1", 0, true},
      {"name", TestCertificate::Localhost, u"localhost", 0, true},
      {"name certificate, address asked", TestCertificate::Localhost, u"127.0.0.1", 0, false},
      {"address certificate, name asked", TestCertificate::LoopbackIp, u"localhost", 0, false},
      {"wrong name", TestCertificate::WrongName, u"localhost", 0, false},
      {"wrong name waived", TestCertificate::WrongName, u"localhost", kAnyName, true},
      {"wrong name, other waivers", TestCertificate::WrongName, u"localhost", kAnyDate | kAnyIssuer, false},
      {"expired", TestCertificate::Expired, u"127.0.0.1", 0, false},
      {"expired waived", TestCertificate::Expired, u"127.0.0.1", kAnyDate, true},
      {"expired, other waivers", TestCertificate::Expired, u"localhost", kAnyName | kAnyIssuer, false},
      {"self-signed", TestCertificate::SelfSigned, u"127.0.0.1", 0, false},
      {"self-signed waived", TestCertificate::SelfSigned, u"localhost", kAnyIssuer, true},
      {"self-signed, other waivers", TestCertificate::SelfSigned, u"127.0.0.1", kAnyName | kAnyDate, false},
      {"all waived", TestCertificate::WrongName, u"127.0.0.1", kAnyName | kAnyDate | kAnyIssuer, true},
  };
  ScriptedServer plain({Step::Respond(HttpResponse(200, {}, "42"))});
  for (const CertificateCase& c : cases) {
    SCOPED_TRACE(c.label);
    TlsFront front(c.certificate, plain.Port());
    RequestOptions options;
    options.host = c.host;
    options.securityFlags = c.securityFlags;
    std::string reply;
    const std::size_t before = plain.ConnectionCount();
    EXPECT_EQ(Post(options, front.Port(), reply), c.accepted ? ERROR_SUCCESS : ERROR_WINHTTP_SECURE_FAILURE);
    EXPECT_EQ(reply, c.accepted ? "42" : "");
    ASSERT_TRUE(plain.WaitForHandled(before + (c.accepted ? 1 : 0), 3000));
    EXPECT_EQ(plain.ConnectionCount(), before + (c.accepted ? 1 : 0)) << "nothing is sent to a refused peer";
    // SNI names hosts, never addresses.
    const std::string name = c.host == std::u16string(u"localhost") ? "localhost" : "";
    if (c.accepted) {
      EXPECT_EQ(front.ServerNames(), std::vector<std::string>{name});
    }
  }
}

TEST_F(Tls, TrustComesFromTheDefaultStoreOnly) {
  // Without the test CA in SSL_CERT_FILE, its certificates are untrusted.
  setenv("SSL_CERT_FILE", "/nonexistent/ca.pem", 1);
  ScriptedServer plain({Step::Respond(HttpResponse(200, {}, "42"))});
  TlsFront front(TestCertificate::LoopbackIp, plain.Port());
  std::string reply;
  EXPECT_EQ(Post(RequestOptions{}, front.Port(), reply), ERROR_WINHTTP_SECURE_FAILURE);
}

TEST_F(Tls, RequestAndReplyCrossTheChannelUnchanged) {
  // Several TLS records each way, and a chunked reply read in pieces.
  const std::string body(70000, 'b');
  const std::string reply = std::string(50000, 'r') + "end";
  ScriptedServer plain({Step::Respond(HttpResponse(200, {{"Transfer-Encoding", "chunked"}},
                                                   ChunkedBody({reply.substr(0, 20000), reply.substr(20000)})))});
  TlsFront front(TestCertificate::LoopbackIp, plain.Port());
  RequestOptions options;
  options.port = front.Port();
  options.secure = true;
  OpenedRequest request(options);
  const std::u16string length = u"Content-Length: 70000\r\n";
  ASSERT_EQ(request.Exchange(length, body), ERROR_SUCCESS);
  DWORD error = 0;
  EXPECT_EQ(ReadWholeBody(request.Handle(), error), reply);
  EXPECT_EQ(error, ERROR_SUCCESS);
  ASSERT_TRUE(plain.WaitForHandled(1, 3000));
  EXPECT_EQ(plain.Requests().front(), "POST /p HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(front.Port()) +
                                          "\r\nUser-Agent: WinHttpClient\r\nContent-Length: 70000\r\n"
                                          "Connection: close\r\n\r\n" + body);
}

enum class Peer { TlsFrontOfPlain, PlainServer };

struct PeerCase {
  const char* label;
  bool secure;       // the client's side
  Peer peer;
  Step plainStep;    // what the plain server does
  int receiveMs;
  DWORD expected;
  int atMostMs;
};

TEST_F(Tls, WrongPeersAndSilentOnesFailWithinTheTimeouts) {
  const PeerCase cases[] = {
      {"plain client, TLS server", false, Peer::TlsFrontOfPlain, Step::Respond(HttpResponse(200, {}, "42")), 2000,
       ERROR_WINHTTP_CONNECTION_ERROR, 1500},
      {"TLS client, plain server answering", true, Peer::PlainServer, Step::Respond(HttpResponse(200, {}, "42")),
       5000, ERROR_WINHTTP_SECURE_CHANNEL_ERROR, 4500},
      {"TLS client, plain server closing", true, Peer::PlainServer, Step::CloseAtOnce(), 2000,
       ERROR_WINHTTP_SECURE_CHANNEL_ERROR, 1500},
      {"TLS client, silent server", true, Peer::PlainServer, Step::Hold(), 300, ERROR_WINHTTP_TIMEOUT, 1500},
      {"silent after the handshake", true, Peer::TlsFrontOfPlain, Step::Hold(), 300, ERROR_WINHTTP_TIMEOUT, 1500},
  };
  for (const PeerCase& c : cases) {
    SCOPED_TRACE(c.label);
    ScriptedServer plain({c.plainStep});
    TlsFront front(TestCertificate::LoopbackIp, plain.Port());
    RequestOptions options;
    options.port = c.peer == Peer::PlainServer ? plain.Port() : front.Port();
    options.secure = c.secure;
    options.receiveMs = c.receiveMs;
    const auto start = Clock::now();
    OpenedRequest request(options);
    EXPECT_EQ(request.Exchange(kHeaders, "a=1"), c.expected);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(c.atMostMs));
  }
}

TEST_F(Tls, EveryPathClosesItsSockets) {
  // Counted around the servers too: a held connection is theirs until they stop.
  const int before = OpenDescriptorCount();
  {
    ScriptedServer plain({Step::Respond(HttpResponse(200, {}, "42")), Step::Hold(), Step::CloseAtOnce()});
    TlsFront good(TestCertificate::LoopbackIp, plain.Port());
    TlsFront untrusted(TestCertificate::SelfSigned, plain.Port());
    RequestOptions options;
    options.receiveMs = 300;
    std::string reply;
    for (std::uint16_t port : {good.Port(), good.Port(), good.Port(), untrusted.Port(), plain.Port()})
      Post(options, port, reply);
    options.secure = true;
    options.port = good.Port();
    OpenedRequest unread(options);
    unread.Exchange(kHeaders, "a=1");  // the answer is never read
  }
  EXPECT_EQ(OpenDescriptorCount(), before);
}

}  // namespace
