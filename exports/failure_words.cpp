#include "exports/failure_words.h"

#include "platform/seam.h"
#include "transport/failure_codes.h"

namespace exports {
namespace {

struct Words {
  std::uint32_t code;
  const char* words;
};

constexpr Words kWords[] = {
    {ERROR_PATH_NOT_FOUND, "no endpoint"},
    {ERROR_NOT_ENOUGH_MEMORY, "out of memory"},
    {ERROR_INVALID_DATA, "invalid data"},
    {ERROR_INVALID_PARAMETER, "invalid parameter"},
    {ERROR_WINHTTP_OUT_OF_HANDLES, "out of handles"},
    {ERROR_WINHTTP_TIMEOUT, "timed out"},
    {ERROR_WINHTTP_INTERNAL_ERROR, "internal error"},
    {ERROR_WINHTTP_INVALID_URL, "invalid URL"},
    {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, "unrecognized scheme"},
    {ERROR_WINHTTP_NAME_NOT_RESOLVED, "name not resolved"},
    {ERROR_WINHTTP_CANNOT_CONNECT, "cannot connect"},
    {ERROR_WINHTTP_CONNECTION_ERROR, "connection broken"},
    {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "invalid response"},
    {ERROR_WINHTTP_SECURE_CHANNEL_ERROR, "secure channel failed"},
    {ERROR_WINHTTP_SECURE_FAILURE, "certificate refused"},
    {ERROR_WINHTTP_AUTODETECTION_FAILED, "proxy not found"},
    // What Wine's WinHTTP hands on from Winsock.
    {10054, "connection reset"},
    {10060, "wait timed out"},
    {transport::kErrorReplyCutShort, "reply cut short"},
    {transport::kErrorReplyTooLarge, "reply over 16 MiB"},
    {transport::kErrorInterimResponse, "interim response"},
    {transport::kErrorIncompleteHead, "incomplete head"},
    {transport::kErrorHeadTooLarge, "head over 64 KiB"},
    {transport::kErrorOutOfMemory, "out of memory"},
};

}  // namespace

const char* FailureWords(std::uint32_t code) noexcept {
  for (const Words& entry : kWords) {
    if (entry.code == code) return entry.words;
  }
  return "unknown";
}

}  // namespace exports
