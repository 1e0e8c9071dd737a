// Loopback HTTP servers for integration tests. Everything listens on
// 127.0.0.1 only, runs on its own thread and stops by itself in the
// destructor (within about a second; every wait is a bounded poll).
//
// How to use:
//
//   using namespace testsupport;
//   ScriptedServer server({Step::Respond(HttpResponse(200, {}, "42"))});
//   std::string url = server.Url("/api/thing");   // http://127.0.0.1:PORT/api/thing
//   ... run the code under test against url ...
//   ASSERT_EQ(server.Requests().size(), 1u);     // raw bytes of each request
//
// Each accepted connection takes the next Step of the script; when the
// script runs out, the last step repeats. Connections are served one after
// another. Steps:
//   Step::Respond(bytes)              read the request, send bytes, close
//   Step::Trickle(bytes, n, delayMs)  read the request, send bytes n at a
//                                     time with delayMs between pieces, close
//   Step::Trickle(bytes, n, delayMs, lead)  the same, the first `lead`
//                                     bytes (say, the head) at once
//   Step::TrickleFirst(bytes, n, delayMs)  the same without reading anything
//                                     first, as a server's side of a TLS
//                                     handshake starts
//   Step::CloseAtOnce()               close without reading anything
//   Step::Hold()                      read the request, never answer; the
//                                     socket stays open until the server stops
//   Step::SendThenReset(bytes)        read the request, send bytes, pause, reset
//                                     the connection (RST instead of FIN)
//   Step::RespondLate(bytes, delayMs) read the request, wait, send bytes, close
//   Step::RespondTo(answerFor, stray, strayDelayMs)  read the request, send
//                                     answerFor(request); then, unless `stray`
//                                     is empty, wait and send `stray` too; close
// "Read the request" means the head up to the blank line and then as many
// body bytes as its Content-Length announces (bounded by a few seconds).
//
//   ClosedPort closed;                // a loopback port where connecting is refused
//   ForwardingProxy proxy(server.Port());  // an HTTP proxy on loopback
//
// ForwardingProxy accepts absolute-form requests ("POST http://h:p/x HTTP/1.1"),
// records them raw, forwards them in origin form ("POST /x HTTP/1.1") and
// relays the reply. Given an upstream port, every request goes to
// 127.0.0.1:upstreamPort whatever target it names; without one (0) it goes to
// the port the target names, and only loopback targets are forwarded (others
// get a 502 reply).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

enum class StepAction { Respond, Trickle, TrickleFirst, CloseAtOnce, Hold, SendThenReset };

struct Step {
  StepAction action = StepAction::Respond;
  std::string bytes;             // what to send (Respond, Trickle, SendThenReset)
  std::size_t pieceBytes = 1;    // Trickle: bytes per piece
  int pieceDelayMs = 0;          // Trickle: pause between pieces
  std::size_t leadBytes = 0;     // Trickle: sent at once before the pieces
  int answerDelayMs = 0;         // Respond: pause between the request and the answer
  // Respond: the answer made from the raw request, in place of `bytes`.
  std::function<std::string(const std::string& request)> answerFor;
  std::string stray;             // Respond: sent after the answer, unasked
  int strayDelayMs = 0;

  static Step Respond(std::string bytes);
  static Step RespondLate(std::string bytes, int delayMs);
  static Step RespondTo(std::function<std::string(const std::string& request)> answerFor, std::string stray = "",
                        int strayDelayMs = 0);
  static Step Trickle(std::string bytes, std::size_t pieceBytes, int pieceDelayMs, std::size_t leadBytes = 0);
  static Step TrickleFirst(std::string bytes, std::size_t pieceBytes, int pieceDelayMs);
  static Step CloseAtOnce();
  static Step Hold();
  static Step SendThenReset(std::string bytes);
};

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// "HTTP/1.1 <status> <reason>\r\nContent-Length: N\r\n<headers>\r\n\r\n<body>".
// The Content-Length line is left out when `headers` carry a Content-Length
// or Transfer-Encoding of their own.
std::string HttpResponse(int status, const HeaderList& headers, const std::string& body);

// A body in chunked transfer coding: each piece as one chunk, then "0\r\n\r\n".
std::string ChunkedBody(const std::vector<std::string>& pieces);

class ScriptedServer {
 public:
  // Listens on 127.0.0.1:port (0 = an ephemeral port; a fixed port is bound
  // with SO_REUSEADDR). Throws std::runtime_error when it cannot listen.
  explicit ScriptedServer(std::vector<Step> script, std::uint16_t port = 0);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  std::uint16_t Port() const;
  // "http://127.0.0.1:PORT" followed by path.
  std::string Url(const std::string& path = "/") const;
  // Raw bytes received on each connection so far, in order of acceptance
  // (an empty entry for a connection closed at once).
  std::vector<std::string> Requests() const;
  std::size_t ConnectionCount() const;
  // Waits (at most timeoutMs) until `count` connections have been fully
  // handled; true when they have.
  bool WaitForHandled(std::size_t count, int timeoutMs) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A loopback port on which nothing listens: connecting is refused. The port
// stays bound (not listening) for the object's lifetime so nobody else takes it.
class ClosedPort {
 public:
  ClosedPort();
  ~ClosedPort();
  ClosedPort(const ClosedPort&) = delete;
  ClosedPort& operator=(const ClosedPort&) = delete;
  std::uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  std::uint16_t port_ = 0;
};

class ForwardingProxy {
 public:
  explicit ForwardingProxy(std::uint16_t upstreamPort = 0);
  ~ForwardingProxy();
  ForwardingProxy(const ForwardingProxy&) = delete;
  ForwardingProxy& operator=(const ForwardingProxy&) = delete;

  std::uint16_t Port() const;
  // Raw requests as the proxy received them (absolute form).
  std::vector<std::string> Requests() const;
  // The first line of each received request, without its CRLF.
  std::vector<std::string> RequestLines() const;
  std::size_t ConnectionCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace testsupport
