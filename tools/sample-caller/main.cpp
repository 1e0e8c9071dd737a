// The sample caller: loads Kestrane and Falloway by file name, as a trading
// program does, and runs a short story through all nine exports, printing
// what it passed and what came back.
//
//   sample-caller KESTRANE_LIBRARY FALLOWAY_LIBRARY
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "falloway.h"
#include "kestrane.h"
#include "library_loader.h"

namespace {

// The first `bytes` bytes of a buffer, printable, with zero bytes as \0.
std::string Shown(const char* buffer, std::size_t bytes) {
  std::string shown;
  for (std::size_t i = 0; i < bytes; ++i) {
    if (buffer[i] == '\0') shown += "\\0";
    else if (buffer[i] == '\n') shown += "\\n";
    else shown += buffer[i];
  }
  return shown;
}

template <typename Signature>
Signature* Need(const LibraryLoader& library, const char* name) {
  Signature* found = library.Export<Signature>(name);
  if (found == nullptr) std::printf("missing export %s\n", name);
  return found;
}

bool RunSignalStory(const LibraryLoader& kestrane) {
  auto sendSignal = Need<decltype(SendSignal)>(kestrane, "SendSignal");
  auto recvSignal = Need<decltype(RecvSignal)>(kestrane, "RecvSignal");
  auto checkPosition = Need<decltype(CheckPosition)>(kestrane, "CheckPosition");
  auto updateTS = Need<decltype(UpdateTS)>(kestrane, "UpdateTS");
  auto checkLimits = Need<decltype(CheckLimits)>(kestrane, "CheckLimits");
  if (!sendSignal || !recvSignal || !checkPosition || !updateTS || !checkLimits) return false;

  std::int32_t result = 0;
  std::int32_t ret = sendSignal("7", 101, 100, "EURUSD", "1.19512", 0, "0.10", "25.00", "1.18500", "1.21000",
                                "2021.04.30 12:00:00", 1, &result);
  std::printf("SendSignal(\"7\", 101, 100, \"EURUSD\", \"1.19512\", 0, \"0.10\", \"25.00\", \"1.18500\", "
              "\"1.21000\", \"2021.04.30 12:00:00\", 1) -> %d, result %d\n", ret, result);

  char requestedAt[] = "2021.04.30 12:00:05";
  std::vector<char> reply(KESTRANE_REPLY_BUFFER_BYTES, '\0');
  std::int32_t status = 0;
  std::printf("RecvSignal(\"follower\", \"7\", 15, 60, \"%s\")", requestedAt);
  ret = recvSignal("follower", "7", 15, 60, requestedAt, reply.data(), &status);
  std::printf(" -> %d, status %d, requested_at now \"%s\", reply \"%s\"\n", ret, status, requestedAt,
              Shown(reply.data(), std::strlen(reply.data())).c_str());

  ret = checkPosition("7", 101, "EURUSD", &result);
  std::printf("CheckPosition(\"7\", 101, \"EURUSD\") -> %d, result %d\n", ret, result);
  ret = updateTS("7", 101, "1.19000", "1.22000", &result);
  std::printf("UpdateTS(\"7\", 101, \"1.19000\", \"1.22000\") -> %d, result %d\n", ret, result);
  ret = checkLimits("7", "max_lots=1.0&max_orders=5", &result);
  std::printf("CheckLimits(\"7\", \"max_lots=1.0&max_orders=5\") -> %d, result %d\n", ret, result);
  return true;
}

bool RunAccountStory(const LibraryLoader& falloway) {
  auto checkAccount = Need<decltype(CheckAccount)>(falloway, "CheckAccount");
  auto updateBalance = Need<decltype(UpdateBalance)>(falloway, "UpdateBalance");
  auto getLastUpdate = Need<decltype(GetLastUpdate)>(falloway, "GetLastUpdate");
  auto updateHistory = Need<decltype(UpdateHistory)>(falloway, "UpdateHistory");
  if (!checkAccount || !updateBalance || !getLastUpdate || !updateHistory) return false;

  std::vector<char> reply(FALLOWAY_REPLY_BUFFER_BYTES, '\0');
  std::int32_t ret = checkAccount("trader@example.test", "secret", "501", "Main source", 0, reply.data());
  std::printf("CheckAccount(\"trader@example.test\", \"secret\", \"501\", \"Main source\", 0) -> %d, reply \"%s\"\n",
              ret, reply.data());

  char outcome[8] = {};
  ret = updateBalance("501", 10250.75, "USD", 2, outcome);
  std::printf("UpdateBalance(\"501\", 10250.75, \"USD\", 2) -> %d, outcome \"%s\"\n", ret, outcome);

  char stamp[20] = {};
  ret = getLastUpdate("501", stamp);
  std::printf("GetLastUpdate(\"501\") -> %d, last_update \"%s\"\n", ret, Shown(stamp, 19).c_str());

  char dealOutcome[8] = {};
  ret = updateHistory("501", 101, "2021.04.30 12:00:00", 202, "EURUSD", 0, 1, 0.1, 1.19512, 12.5, 1.21, 1.185,
                      dealOutcome);
  std::printf("UpdateHistory(\"501\", 101, \"2021.04.30 12:00:00\", 202, \"EURUSD\", 0, 1, 0.1, 1.19512, 12.5, "
              "take_profit 1.21, stop_loss 1.185) -> %d, outcome \"%s\"\n", ret, dealOutcome);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: sample-caller KESTRANE_LIBRARY FALLOWAY_LIBRARY\n");
    return 2;
  }
  LibraryLoader kestrane(argv[1]);
  LibraryLoader falloway(argv[2]);
  if (!kestrane.Loaded() || !falloway.Loaded()) {
    std::fprintf(stderr, "cannot load %s\n", kestrane.Loaded() ? argv[2] : argv[1]);
    return 1;
  }
  const bool ran = RunSignalStory(kestrane) && RunAccountStory(falloway);
  return ran ? 0 : 1;
}
