// Pulls the whole response body into one growing buffer. A body that ends
// early, cannot be stored whole, or exceeds kMaxBodyBytes is cut short, and
// the exchange then reports failure instead of a partial answer.
#include <algorithm>
#include <cstring>

#include "transport/failure_codes.h"
#include "transport/http_client.h"

namespace transport {
namespace {
constexpr DWORD kStatusNoContent = 204;
constexpr DWORD kStatusNotModified = 304;

bool QueryNumber(HINTERNET request, DWORD level, DWORD& value) {
  DWORD size = sizeof value;
  return WinHttpQueryHeaders(request, level | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX, &value,
                             &size, WINHTTP_NO_HEADER_INDEX) != FALSE;
}

bool HasTransferCoding(HINTERNET request) {
  DWORD size = 0;
  return WinHttpQueryHeaders(request, WINHTTP_QUERY_TRANSFER_ENCODING, WINHTTP_HEADER_NAME_BY_INDEX,
                             WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX) ||
         GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

// The body length a Content-Length announces, where it frames the body: a
// transfer coding overrides it, and a 204 or 304 has no body whatever it
// says. False where the platform alone finds the end.
bool AnnouncedLength(HINTERNET request, DWORD& length) {
  DWORD status = 0;
  if (QueryNumber(request, WINHTTP_QUERY_STATUS_CODE, status) &&
      (status == kStatusNoContent || status == kStatusNotModified)) {
    return false;
  }
  return !HasTransferCoding(request) && QueryNumber(request, WINHTTP_QUERY_CONTENT_LENGTH, length);
}

}  // namespace

HttpClient::BodyRead HttpClient::ReadResponseBody(HINTERNET request) {
  bodyBuffer_.reset();
  // Only the zero byte after the body is ever read beyond it, so the buffer
  // is not cleared: StoreChunk keeps that byte in place.
  bodyBuffer_ = AllocateUninitializedBlock<unsigned char>(kInitialBodyCapacity);
  if (!bodyBuffer_) {
    lastError_ = kErrorOutOfMemory;
    return BodyRead::NoBuffer;
  }
  bodyBuffer_[0] = 0;
  std::uint64_t total = 0;
  std::uint64_t capacity = kInitialBodyCapacity;
  DWORD announced = 0;
  const bool framed = AnnouncedLength(request, announced);
  // Never more than the announced length: some platforms hand out bytes
  // that follow it. Otherwise one byte past the cap proves it exceeded.
  const std::uint64_t wanted = framed ? std::uint64_t{announced} : std::uint64_t{kMaxBodyBytes} + 1;
  BodyRead state = framed && announced > kMaxBodyBytes ? Refuse(kErrorReplyTooLarge)
                                                      : ReadBodyChunks(request, wanted, total, capacity);
  if (state == BodyRead::Ok && framed && total < announced) state = Refuse(kErrorReplyCutShort);
  // total stays within kMaxBodyBytes + 1, so it fits.
  bodyLength_ = static_cast<std::uint32_t>(total);
  ReportProgress(bodyLength_);
  return state;
}

HttpClient::BodyRead HttpClient::ReadBodyChunks(HINTERNET request, std::uint64_t wanted, std::uint64_t& total,
                                                std::uint64_t& capacity) {
  for (;;) {
    if (total > kMaxBodyBytes) return Refuse(kErrorReplyTooLarge);
    // Past the deadline no further wait starts; a body whose announced
    // length is all in needs none, so a whole reply is never thrown away.
    if (total != wanted && deadline_.Passed()) return Refuse(kErrorTimeout);
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return Refuse(GetLastError());
    ReportProgress(static_cast<std::uint32_t>(total));
    if (available == 0 || total == wanted) return BodyRead::Ok;
    const auto asked = static_cast<DWORD>(std::min<std::uint64_t>(available, wanted - total));
    // The read fills the chunk and only what it read is used.
    Block<unsigned char> chunk = AllocateUninitializedBlock<unsigned char>(std::size_t{asked} + 1);
    if (!chunk) return Refuse(kErrorOutOfMemory);
    DWORD read = 0;
    if (!WinHttpReadData(request, chunk.get(), asked, &read)) return Refuse(GetLastError());
    // Bytes claimed but never delivered would keep the loop going for ever,
    // and a platform that claims more than it was asked for is not believed.
    if (read == 0 || read > asked) return Refuse(kErrorReplyCutShort);
    if (!StoreChunk(chunk.get(), read, total, capacity)) return Refuse(kErrorOutOfMemory);
  }
}

HttpClient::BodyRead HttpClient::Refuse(std::uint32_t error) {
  lastError_ = error;
  return BodyRead::CutShort;
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

bool HttpClient::ReportProgress(std::uint32_t received) {
  if (progressCallback_ == nullptr || contentLength_ == 0) return false;
  progressCallback_(static_cast<double>(received) * 100.0 / static_cast<double>(contentLength_), received,
                    contentLength_);
  return true;
}

}  // namespace transport
