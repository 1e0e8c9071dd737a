// Every export, with each allocation of one call failed in turn: the call
// must end in its failure result or its normal one, consistently, with no
// handle left open (leaks show up under the address sanitizer).
#include <cstring>
#include <functional>

#include "export_fixture.h"
#include "falloway.h"
#include "kestrane.h"

namespace {

using exportstest::AllocationGate;
using exportstest::Expected;
using exportstest::ExportTest;
using exportstest::SentinelBuffer;

struct AllocationCase {
  const char* name;
  const char* reply;
  // Runs the export once and checks that its result is one of the two
  // consistent outcomes.
  std::function<void()> runAndCheck;
};
void PrintTo(const AllocationCase& c, std::ostream* os) { *os << c.name; }


void CheckIntResult(std::int32_t ret, std::int32_t result) {
  if (ret == 1) EXPECT_EQ(result, 7);
  else EXPECT_EQ(result, -1);
  EXPECT_TRUE(ret == 0 || ret == 1);
}

void CheckOutcome(std::int32_t ret, const std::vector<char>& buffer) {
  if (ret == 1) EXPECT_EQ(buffer, Expected(std::string("success\0", 8)));
  else EXPECT_EQ(buffer, Expected(std::string("failed\0", 7)));
}

template <typename Export>
std::function<void()> IntCase(Export call) {
  return [call] {
    std::int32_t result = 12345;
    const std::int32_t ret = call(&result);
    CheckIntResult(ret, result);
  };
}

std::vector<AllocationCase> Cases() {
  return {
      {"SendSignal", "7", IntCase([](std::int32_t* r) {
         return SendSignal("7", 1, 2, "EURUSD", "1.1", 0, "0.1", "1", "1", "1", "2021", 1, r);
       })},
      {"CheckPosition", "7", IntCase([](std::int32_t* r) { return CheckPosition("7", 1, "EURUSD", r); })},
      {"UpdateTS", "7", IntCase([](std::int32_t* r) { return UpdateTS("7", 1, "1.1", "1.2", r); })},
      {"CheckLimits", "7", IntCase([](std::int32_t* r) { return CheckLimits("7", "max=1", r); })},
      {"RecvSignal", "abc",
       [] {
         char at[] = "2021.04.30";
         std::vector<char> buffer = SentinelBuffer();
         std::int32_t status = 0;
         const std::int32_t ret = RecvSignal("u", "s", 1, 2, at, buffer.data(), &status);
         EXPECT_STREQ(at, "2021-04-30");
         if (ret == 1) {
           EXPECT_EQ(status, 1);
           EXPECT_EQ(buffer, Expected(std::string("abc\0\0\0\0\0", 8)));
         } else {
           EXPECT_EQ(status, -1);
           EXPECT_EQ(buffer, SentinelBuffer());
         }
       }},
      {"CheckAccount", "hello",
       [] {
         std::vector<char> buffer = SentinelBuffer();
         const std::int32_t ret = CheckAccount("e", "p", "1", "src", 0, buffer.data());
         EXPECT_EQ(buffer, ret == 1 ? Expected("hello") : SentinelBuffer());
       }},
      {"UpdateBalance", "1",
       [] {
         std::vector<char> buffer = SentinelBuffer();
         const std::int32_t ret = UpdateBalance("501", 10.5, "USD", 1, buffer.data());
         CheckOutcome(ret, buffer);
       }},
      {"UpdateHistory", "1",
       [] {
         std::vector<char> buffer = SentinelBuffer();
         const std::int32_t ret =
             UpdateHistory("501", 1, "t", 2, "EURUSD", 0, 1, 0.1, 1.2, 3.5, 1.3, 1.1, buffer.data());
         CheckOutcome(ret, buffer);
       }},
      {"GetLastUpdate", "2021-04-30 12:00:59",
       [] {
         std::vector<char> buffer = SentinelBuffer();
         const std::int32_t ret = GetLastUpdate("501", buffer.data());
         EXPECT_EQ(buffer, Expected(ret == 1 ? "2021-04-30 12:00:59" : std::string("failed\0", 7)));
       }},
  };
}

class AllocationFailure : public ExportTest, public ::testing::WithParamInterface<AllocationCase> {};

TEST_P(AllocationFailure, EachAllocationOfOneCallMayFail) {
  constexpr std::size_t kMostAllocations = 500;
  std::size_t failAt = 1;
  for (; failAt <= kMostAllocations; ++failAt) {
    SCOPED_TRACE("failing allocation " + std::to_string(failAt));
    fake::Reset();
    fake::QueueResponse(fake::HttpReply(200, GetParam().reply));
    AllocationGate::FailOnly(failAt);
    GetParam().runAndCheck();
    // With a 200 reply on offer, a lost block is the only reason for none.
    const DWORD lastError = GetLastError();
    EXPECT_TRUE(lastError == 0 || lastError == KT_ERROR_OUT_OF_MEMORY) << lastError;
    const std::size_t asked = AllocationGate::Count();
    AllocationGate::Open();
    EXPECT_EQ(fake::OpenHandleCount(), 0u);
    if (asked < failAt) break;  // the call completed without reaching this allocation
  }
  EXPECT_GT(failAt, 1u) << "the call allocated nothing through the gate";
  EXPECT_LE(failAt, kMostAllocations);
}

INSTANTIATE_TEST_SUITE_P(Exports, AllocationFailure, ::testing::ValuesIn(Cases()),
                         [](const auto& named) { return std::string(named.param.name); });

}  // namespace
