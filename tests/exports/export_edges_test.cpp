// What only the fake platform can arrange for the exports: a conversion
// that fails, and a non-finite double in every position that takes one.
// Their wire forms and reply rules are rows of the wire table (tests/wire).
#include <limits>
#include <vector>

#include "export_fixture.h"
#include "falloway.h"
#include "kestrane.h"

namespace {

using exportstest::Expected;
using exportstest::ExportTest;
using exportstest::SentinelBuffer;
using exportstest::Utf8Reply;

TEST_F(ExportTest, RecvSignalDeliversNothingWhenItsMeasurementFails) {
  fake::QueueResponse(Utf8Reply("abc"));
  fake::FailCall(fake::Call::WideCharToMultiByte, ERROR_INVALID_PARAMETER);
  std::vector<char> buffer = SentinelBuffer(KESTRANE_REPLY_BUFFER_BYTES);
  char at[] = "2021.04.30";
  std::int32_t status = 0;
  EXPECT_EQ(RecvSignal("u", "s", 1, 2, at, buffer.data(), &status), 0);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(buffer, SentinelBuffer(KESTRANE_REPLY_BUFFER_BYTES));
}

// A NaN or an infinity is never posted: no exchange, "failed", return 0.
TEST_F(ExportTest, NonFiniteDoublesAreNotPosted) {
  const double bad[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()};
  for (double value : bad) {
    for (int place = 0; place < 6; ++place) {
      fake::Reset();
      double d[5] = {1, 1, 1, 1, 1};
      std::vector<char> buffer = SentinelBuffer();
      std::int32_t ret = 0;
      if (place == 5) {
        ret = UpdateBalance("501", value, "USD", 1, buffer.data());
      } else {
        d[place] = value;
        ret = UpdateHistory("501", 1, "", 1, "", 0, 0, d[0], d[1], d[2], d[3], d[4], buffer.data());
      }
      EXPECT_EQ(ret, 0) << value << " at " << place;
      EXPECT_EQ(buffer, Expected(std::string("failed\0", 7))) << value << " at " << place;
      EXPECT_EQ(fake::CountOf(fake::Call::Open), 0u) << "nothing may be sent";
    }
  }
}

}  // namespace
