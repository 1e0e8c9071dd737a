// Turns the bytes after the response head into body bytes, by the framing
// the head chose. Hostile input is refused, never trusted: chunk sizes are
// checked digit by digit and lines are bounded.
#pragma once

#include <cstdint>
#include <string>

#include "platform/linux/response_head.h"
#include "platform/linux/winhttp_api.h"

namespace winhttp_linux {

class FramingDecoder {
 public:
  void Start(BodyFraming framing, std::uint64_t contentLength);

  // Moves what can be decoded from the front of `raw` to the end of `body`.
  // ERROR_SUCCESS, or ERROR_WINHTTP_INVALID_SERVER_RESPONSE for a bad chunk.
  DWORD Feed(std::string& raw, std::string& body);

  // The peer closed the stream: fine where the body ends with it or has
  // ended already, else ERROR_WINHTTP_CONNECTION_ERROR (cut short).
  DWORD EndOfStream();

  bool Finished() const { return state_ == State::Done; }

 private:
  enum class State { Data, ChunkSize, ChunkDataEnd, Trailer, UntilClose, Done };

  DWORD FeedChunkSize(std::string& raw);
  DWORD FeedChunkDataEnd(std::string& raw);
  DWORD FeedTrailer(std::string& raw);
  void TakeData(std::string& raw, std::string& body);

  State state_ = State::Done;
  bool chunked_ = false;
  std::uint64_t remaining_ = 0;  // bytes left in the body or the current chunk
  std::size_t trailerBytes_ = 0;
};

}  // namespace winhttp_linux
