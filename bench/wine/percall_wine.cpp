// The product path's per-call cost, in one Wine (or Windows) process:
// CheckLimits through Kestrane.dll against a bare WinHTTP POST of the same
// form (open, connect, request, send with the body, receive, read, close),
// interleaved, both against the same local server.
//
//   percall_wine.exe <Kestrane.dll> <port> [rounds] [warmup]
//
// Prints one line: "ours <median us> bare <median us> ratio <ours/bare>
// failures <n>". The server decides the reply (bench_http_server --answer).
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using CheckLimits = int (*)(const char*, const char*, int*);

const char kSource[] = "7";
const char kLimits[] = "max=1";
const char kForm[] = "source=7&limits=max=1";
const wchar_t kPath[] = L"/admin/public/api/checkLimits";
const wchar_t kFormHeaders[] = L"Content-Type: application/x-www-form-urlencoded\r\n";

double NowUs() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart);
}

// Reads the body whole; false when any step fails.
bool ReadAll(HINTERNET request) {
  std::vector<char> buffer;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(request, &available)) return false;
    if (available == 0) return true;
    buffer.resize(available);
    DWORD read = 0;
    if (!WinHttpReadData(request, buffer.data(), available, &read) || read == 0) return false;
  }
}

bool BarePost(INTERNET_PORT port) {
  HINTERNET session = WinHttpOpen(L"WinHttpClient", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                  WINHTTP_NO_PROXY_BYPASS, 0);
  HINTERNET connection = session ? WinHttpConnect(session, L"127.0.0.1", port, 0) : nullptr;
  HINTERNET request = connection ? WinHttpOpenRequest(connection, L"POST", kPath, nullptr, WINHTTP_NO_REFERER,
                                                      WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                 : nullptr;
  const DWORD length = static_cast<DWORD>(std::strlen(kForm));
  bool ok = request != nullptr &&
            WinHttpSendRequest(request, kFormHeaders, static_cast<DWORD>(-1L), const_cast<char*>(kForm), length,
                               length, 0) &&
            WinHttpReceiveResponse(request, nullptr) && ReadAll(request);
  if (request) WinHttpCloseHandle(request);
  if (connection) WinHttpCloseHandle(connection);
  if (session) WinHttpCloseHandle(session);
  return ok;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: percall_wine <Kestrane.dll> <port> [rounds] [warmup]\n");
    return 2;
  }
  const HMODULE library = LoadLibraryA(argv[1]);
  if (library == nullptr) {
    std::fprintf(stderr, "cannot load %s: %lu\n", argv[1], GetLastError());
    return 3;
  }
  CheckLimits checkLimits = nullptr;
  FARPROC procedure = GetProcAddress(library, "CheckLimits");
  std::memcpy(&checkLimits, &procedure, sizeof checkLimits);
  const auto port = static_cast<INTERNET_PORT>(std::atoi(argv[2]));
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 400;
  const int warmup = argc > 4 ? std::atoi(argv[4]) : 40;
  std::vector<double> ours, bare;
  int failures = 0;
  for (int round = -warmup; round < rounds; ++round) {
    // Each round runs both, in alternating order.
    for (int turn = 0; turn < 2; ++turn) {
      const bool oursNow = (turn == 0) == (round % 2 == 0);
      const double start = NowUs();
      int result = 0;
      const bool ok = oursNow ? checkLimits(kSource, kLimits, &result) == 1 : BarePost(port);
      const double took = NowUs() - start;
      if (!ok) ++failures;
      if (round >= 0) (oursNow ? ours : bare).push_back(took);
    }
  }
  const double oursUs = Median(ours);
  const double bareUs = Median(bare);
  std::printf("ours %.1f bare %.1f ratio %.3f failures %d\n", oursUs, bareUs, bareUs > 0 ? oursUs / bareUs : 0.0,
              failures);
  FreeLibrary(library);
  return failures == 0 ? 0 : 1;
}
