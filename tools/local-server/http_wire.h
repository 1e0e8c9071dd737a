// Reading one HTTP/1.1 request from a socket and writing one reply; just
// enough for the bundled local server.
#pragma once

#include <string>

namespace localserver {

struct Request {
  std::string head;  // request line and header lines, each ending CR LF
  std::string body;
  std::string Path() const;
};

// Reads the head up to the blank line and as many body bytes as its
// Content-Length announces (heads over 64 KiB and bodies over 1 MiB are
// refused). False when the peer closed first or sent too much.
bool ReadRequest(int fd, Request& request);

// Sends a 200 reply with `body` as text/plain in UTF-8, then the
// connection is to be closed.
void SendReply(int fd, const std::string& body);

}  // namespace localserver
