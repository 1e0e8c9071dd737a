// A loopback server whose answer to each request is worked out from the
// request itself: an echo, a stand-in routed by path, or whatever bytes a
// fuzzer dictates. Like the scripted server it listens on 127.0.0.1, serves
// connections one after another on its own thread, keeps nothing of what it
// served and stops by itself in the destructor.
//
//   AnsweringServer server([](const std::string& request) {
//     return HttpResponse(200, {}, RequestBody(request));
//   });
//
// Each connection: read the request (head and announced body), send what
// `answer` returns, end the sending side and close once the client has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace testsupport {

class AnsweringServer {
 public:
  // Called on the server thread with the raw request; returns the raw reply.
  using Answer = std::function<std::string(const std::string& request)>;

  // Listens on 127.0.0.1:port (0 = an ephemeral port). Throws
  // std::runtime_error when it cannot listen.
  explicit AnsweringServer(Answer answer, std::uint16_t port = 0);
  ~AnsweringServer();
  AnsweringServer(const AnsweringServer&) = delete;
  AnsweringServer& operator=(const AnsweringServer&) = delete;

  std::uint16_t Port() const;
  // Requests answered and their connections closed.
  std::size_t Served() const;
  // Waits (at most timeoutMs) until `count` requests have been served.
  bool WaitUntilServed(std::size_t count, int timeoutMs) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The request target ("/path?query") of a raw request; empty when none.
std::string RequestTarget(const std::string& request);
// The bytes after the blank line of a raw request.
std::string RequestBody(const std::string& request);

}  // namespace testsupport
