// Pulls the whole response body into one growing buffer. A body that ends
// early, cannot be stored whole, or exceeds kMaxBodyBytes is cut short, and
// the exchange then reports failure instead of a partial answer.
#include <cstring>

#include "transport/http_client.h"

namespace transport {
namespace {
constexpr std::uint32_t kErrorNotEnoughMemory = 8;

// The length the platform reports for this response, where it has one.
bool QueryAnnouncedLength(HINTERNET request, DWORD& announced) {
  DWORD size = sizeof announced;
  return WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &announced, &size, WINHTTP_NO_HEADER_INDEX);
}

}  // namespace

HttpClient::BodyRead HttpClient::ReadResponseBody(HINTERNET request) {
  bodyBuffer_.reset();
  // Only the zero byte after the body is ever read beyond it, so the buffer
  // is not cleared: StoreChunk keeps that byte in place.
  bodyBuffer_ = AllocateUninitializedBlock<unsigned char>(kInitialBodyCapacity);
  if (!bodyBuffer_) return BodyRead::NoBuffer;
  bodyBuffer_[0] = 0;
  std::uint64_t total = 0;
  std::uint64_t capacity = kInitialBodyCapacity;
  BodyRead state = ReadBodyChunks(request, total, capacity);
  if (state == BodyRead::Ok && !MatchesAnnouncedLength(request, total)) {
    lastError_ = kErrorInvalidData;
    state = BodyRead::CutShort;
  }
  // total never exceeds kMaxBodyBytes, so it fits.
  bodyLength_ = static_cast<std::uint32_t>(total);
  ReportProgress(bodyLength_);
  return state;
}

HttpClient::BodyRead HttpClient::ReadBodyChunks(HINTERNET request, std::uint64_t& total, std::uint64_t& capacity) {
  for (;;) {
    if (deadline_.Passed() && !AnnouncedLengthReached(request, total)) {
      lastError_ = kErrorTimeout;
      return BodyRead::CutShort;
    }
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) {
      lastError_ = GetLastError();
      return BodyRead::CutShort;
    }
    ReportProgress(static_cast<std::uint32_t>(total));
    if (available == 0) return BodyRead::Ok;
    if (available > kMaxBodyBytes - total) {
      lastError_ = kErrorNotEnoughMemory;
      return BodyRead::CutShort;
    }
    // The read fills the chunk and only what it read is used.
    Block<unsigned char> chunk = AllocateUninitializedBlock<unsigned char>(std::size_t{available} + 1);
    if (!chunk) return BodyRead::CutShort;
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.get(), available, &read)) {
      lastError_ = GetLastError();
      return BodyRead::CutShort;
    }
    // A platform that claims more than it was asked for is not believed.
    if (read > available || !StoreChunk(chunk.get(), read, total, capacity)) return BodyRead::CutShort;
  }
}

// Appends `read` bytes after `total`, doubling the buffer as often as
// needed so that one zero byte always follows the body. Growing in place
// keeps the bytes without copying them where the allocator can.
bool HttpClient::StoreChunk(const unsigned char* chunk, std::uint64_t read, std::uint64_t& total,
                            std::uint64_t& capacity) {
  std::uint64_t needed = total + read + 1;
  if (needed > capacity) {
    std::uint64_t grown = capacity;
    while (grown < needed) grown *= 2;
    if (!ResizeBlock(bodyBuffer_, static_cast<std::size_t>(grown))) return false;
    capacity = grown;
  }
  std::memcpy(bodyBuffer_.get() + total, chunk, static_cast<std::size_t>(read));
  total += read;
  bodyBuffer_[static_cast<std::size_t>(total)] = 0;
  return true;
}

bool HttpClient::MatchesAnnouncedLength(HINTERNET request, std::uint64_t total) const {
  DWORD announced = 0;
  return !QueryAnnouncedLength(request, announced) || total >= announced;
}

bool HttpClient::AnnouncedLengthReached(HINTERNET request, std::uint64_t total) const {
  DWORD announced = 0;
  return QueryAnnouncedLength(request, announced) && total == announced;
}

bool HttpClient::ReportProgress(std::uint32_t received) {
  if (progressCallback_ == nullptr || contentLength_ == 0) return false;
  progressCallback_(static_cast<double>(received) * 100.0 / static_cast<double>(contentLength_), received,
                    contentLength_);
  return true;
}

}  // namespace transport
