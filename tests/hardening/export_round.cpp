#include "export_round.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace hardening {

int RunRound(const ExportLibraries& l, int tag, std::vector<char>& reply) {
  const std::string number = std::to_string(tag);
  const char* n = number.c_str();
  int wrong = 0;
  std::int32_t result = 0;
  wrong += l.sendSignal(n, 1, 2, "EURUSD", "1.1", 0, "0.1", "1", "1", "1", "2021", 1, &result) != 1 || result != tag;
  wrong += l.checkPosition(n, 3, "EURUSD", &result) != 1 || result != tag;
  wrong += l.updateTS(n, 4, "1.1", "1.2", &result) != 1 || result != tag;
  wrong += l.checkLimits(n, "max=1", &result) != 1 || result != tag;

  const std::string user = "user-" + number;
  char requestedAt[] = "2021.04.30";
  std::fill(reply.begin(), reply.end(), '\0');
  std::int32_t status = 0;
  wrong += l.recvSignal(user.c_str(), "s", 15, 60, requestedAt, reply.data(), &status) != 1 || status != 1 ||
           user != reply.data();

  const std::string email = "mail-" + number;
  std::fill(reply.begin(), reply.end(), '\0');
  wrong += l.checkAccount(email.c_str(), "pw", "501", nullptr, 1, reply.data()) != 1 || email != reply.data();

  const char* account = tag % 2 == 0 ? "1" : "2";
  const char* word = tag % 2 == 0 ? "success" : "failed";
  char outcome[8];
  wrong += l.updateBalance(account, 100.5, "USD", 2, outcome) != 1 || std::strcmp(outcome, word) != 0;
  wrong += l.updateHistory(account, 1, "", 2, "EURUSD", 0, 1, 0.1, 1.2, 3.4, 1.3, 1.1, outcome) != 1 ||
           std::strcmp(outcome, word) != 0;

  char stamp[20] = {};
  char expected[20];
  std::snprintf(expected, sizeof expected, "T-%017d", tag);
  wrong += l.getLastUpdate(expected, stamp) != 1 || std::strcmp(stamp, expected) != 0;
  return wrong;
}

}  // namespace hardening
