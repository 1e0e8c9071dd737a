#include "export_libraries.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace hardening {
namespace {

std::uint16_t PortOf(const char* hostAndPort) {
  const char* colon = std::strrchr(hostAndPort, ':');
  if (colon == nullptr) throw std::runtime_error(std::string("no port in the test host ") + hostAndPort);
  return static_cast<std::uint16_t>(std::strtoul(colon + 1, nullptr, 10));
}

}  // namespace

ExportLibraries::ExportLibraries()
    : kestrane(KT_KESTRANE_LIBRARY),
      falloway(KT_FALLOWAY_LIBRARY),
      sendSignal(kestrane.Export<decltype(::SendSignal)>("SendSignal")),
      recvSignal(kestrane.Export<decltype(::RecvSignal)>("RecvSignal")),
      checkPosition(kestrane.Export<decltype(::CheckPosition)>("CheckPosition")),
      updateTS(kestrane.Export<decltype(::UpdateTS)>("UpdateTS")),
      checkLimits(kestrane.Export<decltype(::CheckLimits)>("CheckLimits")),
      checkAccount(falloway.Export<decltype(::CheckAccount)>("CheckAccount")),
      updateBalance(falloway.Export<decltype(::UpdateBalance)>("UpdateBalance")),
      getLastUpdate(falloway.Export<decltype(::GetLastUpdate)>("GetLastUpdate")),
      updateHistory(falloway.Export<decltype(::UpdateHistory)>("UpdateHistory")) {}

const ExportLibraries& ExportLibraries::Get() {
  static const ExportLibraries libraries;
  return libraries;
}

std::uint16_t SignalServerPort() { return PortOf(KT_TEST_SIGNAL_SERVER_HOST); }
std::uint16_t AccountServicePort() { return PortOf(KT_TEST_ACCOUNT_SERVICE_HOST); }

}  // namespace hardening
