// The bundled local server: a stand-in for the signal server and the
// account service on 127.0.0.1, for the sample caller and manual checks.
// Logs every request it receives and stops after a number of requests or
// seconds, whichever comes first.
//
//   local-server PORT [MOST_REQUESTS [MOST_SECONDS]]   (defaults 100, 120)
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "endpoint_answers.h"
#include "http_wire.h"

namespace {

int Listen(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 16) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void Serve(int client, localserver::EndpointAnswers& answers, int number) {
  timeval timeout{5, 0};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  localserver::Request request;
  if (!localserver::ReadRequest(client, request)) {
    std::cout << "--- request " << number << ": unreadable, dropped\n" << std::flush;
    return;
  }
  const std::string reply = answers.Answer(request.Path(), request.body);
  std::cout << "--- request " << number << "\n" << request.head << "\n" << request.body << "\n--- reply: " << reply
            << "\n" << std::flush;
  localserver::SendReply(client, reply);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: local-server PORT [MOST_REQUESTS [MOST_SECONDS]]\n";
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const int mostRequests = argc > 2 ? std::atoi(argv[2]) : 100;
  const int mostSeconds = argc > 3 ? std::atoi(argv[3]) : 120;
  const int listener = Listen(port);
  if (listener < 0) {
    std::perror("local-server: cannot listen");
    return 1;
  }
  std::cout << "local-server listening on 127.0.0.1:" << port << "\n" << std::flush;
  localserver::EndpointAnswers answers;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(mostSeconds);
  int served = 0;
  while (served < mostRequests && std::chrono::steady_clock::now() < deadline) {
    pollfd waiting{listener, POLLIN, 0};
    if (poll(&waiting, 1, 200) <= 0) continue;
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) continue;
    Serve(client, answers, ++served);
    close(client);
  }
  close(listener);
  std::cout << "local-server stopping after " << served << " requests\n";
  return 0;
}
