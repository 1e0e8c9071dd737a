// Common ground of the export tests over the fake platform: a fresh script
// per test, the allocation gate opened afterwards, checks that no handle is
// left open, and helpers for caller buffers filled with a sentinel.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "allocation_gate.h"
#include "fake_platform.h"
#include "platform/memory.h"
#include "platform/seam.h"

namespace exportstest {

constexpr char kSentinel = '\x5A';

// A caller buffer of `size` bytes, every byte the sentinel.
inline std::vector<char> SentinelBuffer(std::size_t size = 64) { return std::vector<char>(size, kSentinel); }

// What a sentinel buffer of `size` bytes must hold after `written` was put
// at its start.
inline std::vector<char> Expected(const std::string& written, std::size_t size = 64) {
  std::vector<char> buffer = SentinelBuffer(size);
  std::copy(written.begin(), written.end(), buffer.begin());
  return buffer;
}

inline std::string Narrow(const std::u16string& text) {
  std::string narrow;
  for (char16_t c : text) narrow.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return narrow;
}

// A reply whose headers declare UTF-8, so non-ASCII bodies decode as such.
inline fake::Response Utf8Reply(const std::string& body) {
  return fake::HttpReply(200, body, "Content-Type: text/plain; charset=utf-8\r\n");
}

using fake::AllocationGate;

class ExportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Reset();
    AllocationGate::Open();
  }
  void TearDown() override {
    AllocationGate::Open();
    EXPECT_EQ(fake::OpenHandleCount(), 0u) << "a WinHTTP handle was left open";
    EXPECT_EQ(fake::BadCloseCount(), 0u);
  }

  // The URL the export posted to (empty when it posted nothing).
  static std::string PostedUrl() {
    const auto cracks = fake::CallsOf(fake::Call::CrackUrl);
    return cracks.empty() ? std::string() : Narrow(cracks.front().text);
  }
  static std::string SignalUrl(const std::string& path) {
    return KT_TEST_SIGNAL_SERVER_SCHEME "://" KT_TEST_SIGNAL_SERVER_HOST + path;
  }
  static std::string AccountUrl(const std::string& path) {
    return KT_TEST_ACCOUNT_SERVICE_SCHEME "://" KT_TEST_ACCOUNT_SERVICE_HOST + path;
  }
  // Makes every send fail, as when the server cannot be reached.
  static void Unreachable() { fake::FailCall(fake::Call::SendRequest, ERROR_WINHTTP_CANNOT_CONNECT); }
};

}  // namespace exportstest
