#include "loopback_peer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace fuzzpeer {
namespace {

constexpr int kWaitMs = 1000;

bool WaitFor(int fd, short events, int ms) {
  pollfd entry{fd, events, 0};
  return poll(&entry, 1, ms) > 0;
}

// Reads what the client has sent so far, waiting only for the first bytes:
// the head (and any body) is written before the client waits for an answer.
void Drain(int fd, int firstWaitMs) {
  char scrap[4096];
  if (!WaitFor(fd, POLLIN, firstWaitMs)) return;
  while (recv(fd, scrap, sizeof scrap, MSG_DONTWAIT) > 0) {
  }
}

void SendAll(int fd, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size() && WaitFor(fd, POLLOUT, kWaitMs)) {
    const ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (put <= 0) return;
    sent += static_cast<std::size_t>(put);
  }
}

}  // namespace

LoopbackListener::LoopbackListener() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
      listen(listener_, 8) != 0 || getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    std::abort();
  port_ = ntohs(address.sin_port);
}

LoopbackListener::~LoopbackListener() { close(listener_); }

int LoopbackListener::Accept() {
  if (!WaitFor(listener_, POLLIN, kWaitMs)) return -1;
  const int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
  if (connection >= 0) Drain(connection, kWaitMs);
  return connection;
}

void LoopbackListener::Reply(int connection, const std::string& bytes) {
  SendAll(connection, bytes);
  shutdown(connection, SHUT_WR);
}

int LoopbackListener::Answer(const std::string& bytes) {
  const int connection = Accept();
  if (connection >= 0) Reply(connection, bytes);
  return connection;
}

void LoopbackListener::Hangup(int connection) {
  if (connection < 0) return;
  Drain(connection, 0);  // nothing unread, so the close is no reset
  close(connection);
}

AnsweringServer::AnsweringServer() : thread_([this] { Run(); }) {}

AnsweringServer::~AnsweringServer() {
  stop_ = true;
  thread_.join();
}

void AnsweringServer::SetAnswer(std::string bytes) {
  std::lock_guard<std::mutex> lock(mutex_);
  answer_ = std::move(bytes);
}

void AnsweringServer::Run() {
  while (!stop_) {
    const int connection = listener_.Accept();
    if (connection < 0) continue;
    std::string answer;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      answer = answer_;
    }
    LoopbackListener::Reply(connection, answer);
    WaitFor(connection, POLLIN, kWaitMs);  // the client reads, then closes
    LoopbackListener::Hangup(connection);
  }
}

}  // namespace fuzzpeer
