#include "endpoint_answers.h"

#include <ctime>

namespace localserver {

namespace {

std::string Now() {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &parts);
  return stamp;
}

}  // namespace

std::string EndpointAnswers::Answer(const std::string& path, const std::string& body) {
  if (path == "/admin/public/api/mt5/sendSignal") {
    signals_.push_back(body);
    return "1";
  }
  if (path == "/admin/public/api/mt5/receiveSignal") {
    if (signals_.empty()) return "0";
    std::string all;
    for (const std::string& signal : signals_) all += signal + "\n";
    return all;
  }
  if (path == "/admin/public/api/mt5/getLastRecord") return std::to_string(signals_.size());
  if (path == "/admin/public/api/updateTS" || path == "/admin/public/api/checkLimits" ||
      path == "/admin/public/api/mt5/updateAccount")
    return "1";
  if (path == "/client/api_copytrade.php") return "OK: signed in";
  if (path == "/admin/public/api/mt5/getLastUpdatedDate") return Now();
  return "unknown endpoint";
}

}  // namespace localserver
