#include "platform/linux/http_exchange.h"

#include <algorithm>
#include <cstring>

namespace winhttp_linux {
namespace {
constexpr std::size_t kReceiveChunk = TcpStream::kReceiveBufferBytes;
}

DWORD HttpExchange::Send(const Destination& destination, const std::string& head,
                         const char* optional, std::size_t optionalSize) {
  phase_ = Phase::Idle;
  inbox_.clear();
  body_.clear();
  bodyOffset_ = 0;
  bodyError_ = ERROR_SUCCESS;
  head_ = ResponseHead{};
  pendingHead_.clear();
  DWORD result = stream_.Open(destination.host, destination.port, destination.timeouts);
  if (result == ERROR_SUCCESS && destination.secure) result = stream_.StartTls(destination.host, destination.securityFlags);
  if (result == ERROR_SUCCESS && optional != nullptr && optionalSize > 0)
    result = stream_.SendAll(head.data(), head.size(), optional, optionalSize);
  else if (result == ERROR_SUCCESS)
    pendingHead_ = head;
  if (result != ERROR_SUCCESS) {
    stream_.Close();
    return result;
  }
  phase_ = Phase::Sent;
  return ERROR_SUCCESS;
}

DWORD HttpExchange::Write(const char* data, std::size_t size) {
  if (phase_ != Phase::Sent) return ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
  return SendWithHead(data, size);
}

// The head waits for the first body bytes so that both leave in one
// segment, as they would have left back to back anyway. A peer that has
// hung up meanwhile gets the head alone first, as if it had gone out at
// once: its reset then fails the body's write instead of letting the body
// vanish into a dead connection.
DWORD HttpExchange::SendWithHead(const char* data, std::size_t size) {
  if (pendingHead_.empty()) return stream_.SendAll(data, size);
  const std::string head = std::move(pendingHead_);
  pendingHead_.clear();
  if (!stream_.PeerHasHungUp()) return stream_.SendAll(head.data(), head.size(), data, size);
  DWORD result = stream_.SendAll(head.data(), head.size());
  return result == ERROR_SUCCESS ? stream_.SendAll(data, size) : result;
}

DWORD HttpExchange::Receive(bool replyToHead, int receiveResponseMs) {
  if (phase_ != Phase::Sent) return ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
  if (!pendingHead_.empty()) {
    DWORD sent = SendWithHead(nullptr, 0);
    if (sent != ERROR_SUCCESS) {
      stream_.Close();
      phase_ = Phase::Idle;
      return sent;
    }
  }
  std::size_t headBytes = 0;  // interim responses count against the limits too
  const WaitBudget budget(receiveResponseMs);
  ResponseHead head;
  do {
    std::size_t consumed = 0;
    DWORD result = ReceiveHead(head, kResponseHeaderLimit - headBytes, budget, consumed);
    headBytes += consumed;
    if (result != ERROR_SUCCESS) {
      stream_.Close();
      phase_ = Phase::Idle;
      return result;
    }
  } while (head.status < 200);
  head_ = std::move(head);
  decoder_.Start(FramingOf(head_, replyToHead), head_.contentLength);
  if (decoder_.Finished()) stream_.Close();  // no body: the connection is done with
  phase_ = Phase::Received;
  return ERROR_SUCCESS;
}

DWORD HttpExchange::ReceiveHead(ResponseHead& head, std::size_t allowance, const WaitBudget& budget,
                                std::size_t& consumed) {
  for (;;) {
    std::size_t end = FindHeadEnd(inbox_);
    if (end != std::string::npos && end <= allowance) {
      DWORD result = ParseResponseHead(std::string_view(inbox_).substr(0, end), head);
      // Only what followed the head stays: a large head's block is given
      // back now, before the caller asks for the head as text.
      inbox_.erase(0, end);
      inbox_.shrink_to_fit();
      consumed = end;
      return result;
    }
    if (end != std::string::npos || inbox_.size() > allowance)
      return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    bool closed = false;
    DWORD result = stream_.ReceiveSome(inbox_, kReceiveChunk, closed);
    if (result != ERROR_SUCCESS) return result;
    if (closed) return inbox_.empty() ? ERROR_WINHTTP_CONNECTION_ERROR : ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    // The whole head's bound is checked as data comes in, as WinHTTP does:
    // the wait in progress when it passes is not cut short.
    if (budget.Spent()) return ERROR_WINHTTP_TIMEOUT;
  }
}

// Decodes until some body bytes are pending or the body has ended.
DWORD HttpExchange::Fill() {
  if (bodyError_ != ERROR_SUCCESS) return bodyError_;
  if (Pending() == 0) {
    body_.clear();
    bodyOffset_ = 0;
  }
  while (Pending() == 0 && !decoder_.Finished()) {
    DWORD result = decoder_.Feed(inbox_, body_);
    if (result == ERROR_SUCCESS && Pending() == 0 && !decoder_.Finished()) {
      bool closed = false;
      result = stream_.ReceiveSome(inbox_, kReceiveChunk, closed);
      if (result == ERROR_SUCCESS && closed) result = decoder_.EndOfStream();
    }
    if (result != ERROR_SUCCESS) {
      stream_.Close();
      bodyError_ = result;
      return result;
    }
  }
  if (decoder_.Finished()) stream_.Close();
  return ERROR_SUCCESS;
}

DWORD HttpExchange::Available(std::size_t& bytes) {
  bytes = 0;
  if (phase_ != Phase::Received) return ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
  DWORD result = Fill();
  if (result == ERROR_SUCCESS) bytes = std::min(Pending(), kAvailableLimit);
  return result;
}

DWORD HttpExchange::Read(char* buffer, std::size_t size, std::size_t& read) {
  read = 0;
  if (phase_ != Phase::Received) return ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
  if (size == 0) return ERROR_SUCCESS;
  DWORD result = Fill();
  if (result != ERROR_SUCCESS) return result;
  read = std::min(Pending(), size);
  std::memcpy(buffer, body_.data() + bodyOffset_, read);
  bodyOffset_ += read;
  return ERROR_SUCCESS;
}

}  // namespace winhttp_linux
