// A loopback server that answers every form post with the value of the
// post's first field, so that a caller can tell its own answer from anyone
// else's. It keeps nothing of what it served, so it can run for hundreds
// of thousands of requests without growing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace hardening {

// The text between the first "=" and the first "&" after it (or the end)
// of the body of a raw HTTP request; empty when there is none.
std::string FirstFieldValue(const std::string& request);

class FirstFieldEchoServer {
 public:
  explicit FirstFieldEchoServer(std::uint16_t port);
  ~FirstFieldEchoServer();
  FirstFieldEchoServer(const FirstFieldEchoServer&) = delete;
  FirstFieldEchoServer& operator=(const FirstFieldEchoServer&) = delete;

  std::size_t Served() const;
  // Waits (at most timeoutMs) until `count` requests have been served and
  // their connections closed; true when they have.
  bool WaitUntilServed(std::size_t count, int timeoutMs) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace hardening
