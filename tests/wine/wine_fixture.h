// Shared set-up of the tests that run the DLLs under Wine against servers
// on the fixed loopback ports built into the test libraries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "http_request.h"
#include "loopback_server.h"
#include "wine_caller.h"

namespace winetest {

class WineLoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    signalPort_ = static_cast<std::uint16_t>(PortOf(KT_TEST_SIGNAL_SERVER_HOST));
    accountPort_ = static_cast<std::uint16_t>(PortOf(KT_TEST_ACCOUNT_SERVICE_HOST));
    if (signalPort_ == 0 || accountPort_ == 0) {
      GTEST_SKIP() << "the test build carries no ports in its service hosts";
    }
  }

  // Runs the lines in one caller process; fails the test when it did not run through.
  std::vector<CallOutcome> Call(const std::string& dll, const std::vector<std::string>& lines) {
    std::string failure;
    std::vector<CallOutcome> outcomes = CallDll(dll, lines, failure);
    EXPECT_EQ(outcomes.size(), lines.size()) << failure;
    return outcomes;
  }

  std::uint16_t signalPort_ = 0;
  std::uint16_t accountPort_ = 0;
};

}  // namespace winetest
