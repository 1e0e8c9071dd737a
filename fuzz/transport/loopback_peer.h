// The far end of the fuzzers' exchanges: a loopback listener whose answer
// to each request is the fuzzer's input, so arbitrary bytes reach the
// client exactly as a hostile server would send them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace fuzzpeer {

// Listens on 127.0.0.1 (ephemeral port). Used from one thread: the caller
// makes the client send its request, then Answer() accepts the waiting
// connection, drains the request and writes the answer.
class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  std::uint16_t Port() const { return port_; }
  // Accepts one pending connection and drains its request; -1 when none
  // came within a second.
  int Accept();
  // Sends `bytes` on an accepted connection and ends the sending side.
  static void Reply(int connection, const std::string& bytes);
  // Accept and Reply. The caller closes the connection with Hangup() once
  // the client has read.
  int Answer(const std::string& bytes);
  static void Hangup(int connection);

 private:
  int listener_ = -1;
  std::uint16_t port_ = 0;
};

// The same on a thread of its own, for clients whose whole exchange is one
// blocking call: every connection gets the answer last set.
class AnsweringServer {
 public:
  AnsweringServer();
  ~AnsweringServer();
  AnsweringServer(const AnsweringServer&) = delete;
  AnsweringServer& operator=(const AnsweringServer&) = delete;

  std::uint16_t Port() const { return listener_.Port(); }
  void SetAnswer(std::string bytes);

 private:
  void Run();

  LoopbackListener listener_;
  std::mutex mutex_;
  std::string answer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace fuzzpeer
