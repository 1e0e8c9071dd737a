// MultiByteToWideChar and WideCharToMultiByte: journaled and open to
// scripted failures, converted by the Linux stand-in's own code.
#include "fake_state.h"
#include "platform/linux/shared_calls.h"

using namespace fake;
using namespace fake::detail;

namespace {

// Runs a conversion unless the script fails the call; journals the result.
template <typename Convert>
int Converted(Call call, UINT codePage, DWORD flags, Convert convert) {
  State& state = TheState();
  std::lock_guard<std::mutex> lock(state.mutex);
  CallRecord record = BeginCall(state, call);
  record.codePage = codePage;
  record.flags = flags;
  int result = 0;
  if (record.succeeded) {
    result = convert();
    record.succeeded = result != 0;
    record.error = record.succeeded ? 0 : GetLastError();
  }
  record.value = static_cast<DWORD>(result);
  Finish(state, std::move(record));
  return result;
}

}  // namespace

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR dest, int destChars) {
  return Converted(Call::MultiByteToWideChar, codePage, flags, [&] {
    return winhttp_linux::ConvertToWide(codePage, flags, source, sourceBytes, dest, destChars);
  });
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars, LPSTR dest, int destBytes,
                        LPCSTR defaultChar, LPBOOL usedDefaultChar) {
  return Converted(Call::WideCharToMultiByte, codePage, flags, [&] {
    return winhttp_linux::ConvertToMultiByte(codePage, flags, source, sourceChars, dest, destBytes, defaultChar,
                                             usedDefaultChar);
  });
}
