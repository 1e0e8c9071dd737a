#include "platform/linux/framing_decoder.h"

#include <algorithm>

namespace winhttp_linux {
namespace {

constexpr std::size_t kChunkLineLimit = 4096;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "hex-digits [ws] [; extension]" into a size; false when it is none or
// needs more than 64 bits.
bool ParseChunkSize(const std::string& line, std::uint64_t& size) {
  std::size_t at = 0;
  size = 0;
  for (; at < line.size() && HexValue(line[at]) >= 0; ++at) {
    if (size >> 60 != 0) return false;
    size = (size << 4) | static_cast<std::uint64_t>(HexValue(line[at]));
  }
  if (at == 0) return false;
  while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  return at == line.size() || line[at] == ';';
}

// Takes one line (without its CR LF) off the front of raw; false while none is complete.
// Appends all of raw to body; into an empty body by swapping, which moves
// no bytes (the usual case: the exchange hands out what it decoded first).
void MoveAll(std::string& raw, std::string& body) {
  if (body.empty()) body.swap(raw);
  else body += raw;
  raw.clear();
}

bool TakeLine(std::string& raw, std::string& line) {
  std::size_t end = raw.find('\n');
  if (end == std::string::npos) return false;
  line = raw.substr(0, end);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  raw.erase(0, end + 1);
  return true;
}

}  // namespace

void FramingDecoder::Start(BodyFraming framing, std::uint64_t contentLength) {
  chunked_ = framing == BodyFraming::Chunked;
  remaining_ = contentLength;
  trailerBytes_ = 0;
  switch (framing) {
    case BodyFraming::None: state_ = State::Done; break;
    case BodyFraming::Length: state_ = State::Data; break;
    case BodyFraming::Chunked: state_ = State::ChunkSize; break;
    case BodyFraming::UntilClose: state_ = State::UntilClose; break;
  }
}

DWORD FramingDecoder::Feed(std::string& raw, std::string& body) {
  for (;;) {
    const std::size_t before = raw.size();
    const State was = state_;
    DWORD result = ERROR_SUCCESS;
    switch (state_) {
      case State::Data: TakeData(raw, body); break;
      case State::UntilClose: MoveAll(raw, body); break;
      case State::ChunkSize: result = FeedChunkSize(raw); break;
      case State::ChunkDataEnd: result = FeedChunkDataEnd(raw); break;
      case State::Trailer: result = FeedTrailer(raw); break;
      case State::Done: return ERROR_SUCCESS;
    }
    if (result != ERROR_SUCCESS) return result;
    if (raw.size() == before && state_ == was) return ERROR_SUCCESS;  // needs more bytes
  }
}

void FramingDecoder::TakeData(std::string& raw, std::string& body) {
  std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, raw.size()));
  if (take == raw.size()) {
    MoveAll(raw, body);
  } else {
    body.append(raw, 0, take);
    raw.erase(0, take);
  }
  remaining_ -= take;
  if (remaining_ == 0) state_ = chunked_ ? State::ChunkDataEnd : State::Done;
}

DWORD FramingDecoder::FeedChunkSize(std::string& raw) {
  std::string line;
  if (!TakeLine(raw, line))
    return raw.size() > kChunkLineLimit ? ERROR_WINHTTP_INVALID_SERVER_RESPONSE : ERROR_SUCCESS;
  if (line.size() > kChunkLineLimit || !ParseChunkSize(line, remaining_))
    return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
  state_ = remaining_ == 0 ? State::Trailer : State::Data;
  return ERROR_SUCCESS;
}

DWORD FramingDecoder::FeedChunkDataEnd(std::string& raw) {
  if (raw.empty() || raw == "\r") return ERROR_SUCCESS;
  std::size_t ending = raw.compare(0, 2, "\r\n") == 0 ? 2 : raw[0] == '\n' ? 1 : 0;
  if (ending == 0) return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
  raw.erase(0, ending);
  state_ = State::ChunkSize;
  return ERROR_SUCCESS;
}

DWORD FramingDecoder::FeedTrailer(std::string& raw) {
  std::string line;
  while (TakeLine(raw, line)) {
    trailerBytes_ += line.size() + 2;
    if (trailerBytes_ > kResponseHeaderLimit) return ERROR_WINHTTP_INVALID_SERVER_RESPONSE;
    if (line.empty()) {
      state_ = State::Done;
      return ERROR_SUCCESS;
    }
  }
  return trailerBytes_ + raw.size() > kResponseHeaderLimit ? ERROR_WINHTTP_INVALID_SERVER_RESPONSE
                                                           : ERROR_SUCCESS;
}

DWORD FramingDecoder::EndOfStream() {
  // After the last chunk only the trailer is missing: the body is whole.
  if (state_ == State::UntilClose || state_ == State::Done || state_ == State::Trailer) {
    state_ = State::Done;
    return ERROR_SUCCESS;
  }
  return ERROR_WINHTTP_CONNECTION_ERROR;
}

}  // namespace winhttp_linux
