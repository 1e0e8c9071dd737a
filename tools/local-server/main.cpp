// The bundled local server: a stand-in for the signal server and the
// account service on 127.0.0.1, for the sample caller and manual checks.
// Logs every request it receives and stops after a number of requests or
// seconds, whichever comes first. It is the tests' loopback server with
// the endpoint answers behind it.
//
//   local-server PORT [MOST_REQUESTS [MOST_SECONDS]]   (defaults 100, 120)
#include <chrono>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iostream>
#include <thread>

#include "answering_server.h"
#include "endpoint_answers.h"
#include "loopback_server.h"

namespace {

// Answers on the server's thread, one request at a time, so the log and
// the kept signals need no lock.
class LoggedAnswers {
 public:
  std::string operator()(const std::string& request) {
    const std::string body = testsupport::RequestBody(request);
    const std::string reply = answers_.Answer(testsupport::RequestTarget(request), body);
    std::cout << "--- request " << ++number_ << "\n"
              << request.substr(0, request.size() - body.size()) << body << "\n--- reply: " << reply << "\n"
              << std::flush;
    return testsupport::HttpResponse(
        200, {{"Content-Type", "text/plain; charset=utf-8"}, {"Connection", "close"}}, reply);
  }

 private:
  localserver::EndpointAnswers answers_;
  int number_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: local-server PORT [MOST_REQUESTS [MOST_SECONDS]]\n";
    return 2;
  }
  const int port = std::atoi(argv[1]);
  const auto mostRequests = static_cast<std::size_t>(argc > 2 ? std::atoi(argv[2]) : 100);
  const int mostSeconds = argc > 3 ? std::atoi(argv[3]) : 120;
  try {
    LoggedAnswers answers;
    testsupport::AnsweringServer server(std::ref(answers), static_cast<std::uint16_t>(port));
    std::cout << "local-server listening on 127.0.0.1:" << port << "\n" << std::flush;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(mostSeconds);
    while (server.Served() < mostRequests && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::cout << "local-server stopping after " << server.Served() << " requests\n";
  } catch (const std::exception& error) {
    std::cerr << "local-server: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
