// A fast single-threaded HTTP/1.1 server for the transport benchmarks. It
// reads each request whole (head and Content-Length body), answers from the
// reply catalog and closes, so every client pays for a fresh connection.
// Listens on 127.0.0.1 only and stops by itself: on SIGTERM, after
// --idle-seconds without a connection, or after --max-seconds in all.
//
//   bench_http_server --port N [--capture FILE --capture-count K]
//                     [--idle-seconds S] [--max-seconds S]
//
// Prints "ready <port>" on stdout once listening (port 0 takes a free one). With --capture, the raw bytes of
// the first K requests go to FILE, each as "<length>\n<bytes>".
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cctype>
#include <map>
#include <string>

#include "reply_catalog.h"

namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t gStop = 0;
void OnTerminate(int) { gStop = 1; }

struct Options {
  int port = 0;
  std::string captureFile;
  int captureCount = 0;
  int idleSeconds = 30;
  int maxSeconds = 1800;
  std::string answerPath;
};

struct Connection {
  std::string in;
  const std::string* out = nullptr;
  std::size_t sent = 0;
  Clock::time_point opened;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string flag = argv[i];
    const char* value = argv[i + 1];
    if (flag == "--port") options.port = std::atoi(value);
    else if (flag == "--capture") options.captureFile = value;
    else if (flag == "--capture-count") options.captureCount = std::atoi(value);
    else if (flag == "--idle-seconds") options.idleSeconds = std::atoi(value);
    else if (flag == "--max-seconds") options.maxSeconds = std::atoi(value);
    else if (flag == "--answer") options.answerPath = value;
    else return false;
  }
  return options.port >= 0 && options.port < 65536;
}

int Listen(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 512) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Content-Length of a request head, matched without regard to case.
std::size_t RequestBodyLength(const std::string& head) {
  static const char kName[] = "\r\ncontent-length:";
  std::string lower(head);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = lower.find(kName);
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoull(head.c_str() + at + sizeof kName - 1, nullptr, 10));
}

std::string RequestPath(const std::string& head) {
  const std::size_t start = head.find(' ');
  if (start == std::string::npos) return "/";
  const std::size_t end = head.find(' ', start + 1);
  return head.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
}

// True once `in` holds a whole request.
bool RequestComplete(const std::string& in) {
  const std::size_t headEnd = in.find("\r\n\r\n");
  if (headEnd == std::string::npos) return false;
  return in.size() >= headEnd + 4 + RequestBodyLength(in.substr(0, headEnd + 2));
}

class Server {
 public:
  Server(const Options& options, int listener, int epoll)
      : options_(options), listener_(listener), epoll_(epoll) {}

  int Run();

 private:
  void Accept();
  void OnReadable(int fd, Connection& connection);
  void OnWritable(int fd, Connection& connection);
  void Capture(const std::string& request);
  void Drop(int fd);
  void DropStale(Clock::time_point now);

  const Options& options_;
  int listener_;
  int epoll_;
  int captured_ = 0;
  benchserver::ReplyCatalog catalog_;
  std::map<int, Connection> connections_;
  Clock::time_point lastAccept_ = Clock::now();
};

int Server::Run() {
  const Clock::time_point started = Clock::now();
  epoll_event events[64];
  while (!gStop) {
    const int ready = epoll_wait(epoll_, events, 64, 200);
    if (ready < 0 && errno != EINTR) return 1;
    for (int i = 0; i < ready; ++i) {
      const int fd = events[i].data.fd;
      if (fd == listener_) {
        Accept();
        continue;
      }
      auto found = connections_.find(fd);
      if (found == connections_.end()) continue;
      if (found->second.out == nullptr)
        OnReadable(fd, found->second);
      else
        OnWritable(fd, found->second);
    }
    const Clock::time_point now = Clock::now();
    DropStale(now);
    if (connections_.empty() && now - lastAccept_ > std::chrono::seconds(options_.idleSeconds)) break;
    if (now - started > std::chrono::seconds(options_.maxSeconds)) break;
  }
  while (!connections_.empty()) Drop(connections_.begin()->first);
  return 0;
}

void Server::Accept() {
  for (;;) {
    const int fd = accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    const int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = fd;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) {
      close(fd);
      continue;
    }
    lastAccept_ = Clock::now();
    connections_[fd].opened = lastAccept_;
  }
}

void Server::OnReadable(int fd, Connection& connection) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got > 0) {
      connection.in.append(buffer, static_cast<std::size_t>(got));
      continue;
    }
    if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
      Drop(fd);  // closed before a whole request, or broken
      return;
    }
    break;
  }
  if (!RequestComplete(connection.in)) return;
  Capture(connection.in);
  connection.out =
      &catalog_.ReplyFor(options_.answerPath.empty() ? RequestPath(connection.in) : options_.answerPath);
  epoll_event event{};
  event.events = EPOLLOUT;
  event.data.fd = fd;
  epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event);
  OnWritable(fd, connection);
}

void Server::OnWritable(int fd, Connection& connection) {
  const std::string& out = *connection.out;
  while (connection.sent < out.size()) {
    const ssize_t put = send(fd, out.data() + connection.sent, out.size() - connection.sent, MSG_NOSIGNAL);
    if (put > 0) {
      connection.sent += static_cast<std::size_t>(put);
      continue;
    }
    if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;  // wait for EPOLLOUT
    break;
  }
  Drop(fd);
}

void Server::Capture(const std::string& request) {
  if (options_.captureFile.empty() || captured_ >= options_.captureCount) return;
  ++captured_;
  std::FILE* file = std::fopen(options_.captureFile.c_str(), "ab");
  if (file == nullptr) return;
  std::fprintf(file, "%zu\n", request.size());
  std::fwrite(request.data(), 1, request.size(), file);
  std::fclose(file);
}

void Server::Drop(int fd) {
  epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  close(fd);
  connections_.erase(fd);
}

// A client that stalls must not hold the server: ten seconds per connection.
void Server::DropStale(Clock::time_point now) {
  for (auto it = connections_.begin(); it != connections_.end();) {
    const int fd = it->first;
    const bool stale = now - it->second.opened > std::chrono::seconds(10);
    ++it;
    if (stale) Drop(fd);
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s --port N [--capture FILE --capture-count K] [--idle-seconds S] [--max-seconds S]\n", argv[0]);
    return 2;
  }
  std::signal(SIGTERM, OnTerminate);
  std::signal(SIGINT, OnTerminate);
  std::signal(SIGPIPE, SIG_IGN);
  const int listener = Listen(options.port);
  if (listener < 0) {
    std::fprintf(stderr, "bench_http_server: cannot listen on 127.0.0.1:%d: %s\n", options.port, std::strerror(errno));
    return 1;
  }
  const int epoll = epoll_create1(EPOLL_CLOEXEC);
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = listener;
  if (epoll < 0 || epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &event) != 0) return 1;
  sockaddr_in bound{};
  socklen_t boundSize = sizeof bound;
  getsockname(listener, reinterpret_cast<sockaddr*>(&bound), &boundSize);
  std::printf("ready %d\n", ntohs(bound.sin_port));
  std::fflush(stdout);
  Server server(options, listener, epoll);
  const int status = server.Run();
  close(epoll);
  close(listener);
  return status;
}
