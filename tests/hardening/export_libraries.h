// Both libraries loaded by file name into this process, as a trading
// program loads them, with their nine exports looked up by name.
#pragma once

#include <cstdint>

#include "falloway.h"
#include "kestrane.h"
#include "loaded_library.h"

namespace hardening {

struct ExportLibraries {
  ExportLibraries();

  exportstest::LoadedLibrary kestrane;
  exportstest::LoadedLibrary falloway;

  decltype(&::SendSignal) sendSignal;
  decltype(&::RecvSignal) recvSignal;
  decltype(&::CheckPosition) checkPosition;
  decltype(&::UpdateTS) updateTS;
  decltype(&::CheckLimits) checkLimits;
  decltype(&::CheckAccount) checkAccount;
  decltype(&::UpdateBalance) updateBalance;
  decltype(&::GetLastUpdate) getLastUpdate;
  decltype(&::UpdateHistory) updateHistory;

  // Loaded once and kept for the life of the test program.
  static const ExportLibraries& Get();
};

// The fixed loopback ports of the build-time hosts ("host:port").
std::uint16_t SignalServerPort();
std::uint16_t AccountServicePort();

}  // namespace hardening
