// The Kestrane exports over the fake platform: what each posts where, and
// how each reply becomes its result.
#include <cstring>
#include <functional>
#include <limits>

#include "export_fixture.h"
#include "kestrane.h"

namespace {

using exportstest::Expected;
using exportstest::ExportTest;
using exportstest::SentinelBuffer;
using exportstest::Utf8Reply;

constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();

// ---- what goes on the wire ------------------------------------------------

struct PostCase {
  const char* name;
  std::function<std::int32_t()> call;
  const char* path;
  std::string body;
};
void PrintTo(const PostCase& c, std::ostream* os) { *os << c.name; }


std::int32_t ignoredResult;
char recvBuffer[KESTRANE_REPLY_BUFFER_BYTES];
char requestedAt[64];

std::int32_t Recv(const char* user, const char* source, std::int32_t open, std::int32_t close, const char* at) {
  std::strcpy(requestedAt, at);
  return RecvSignal(user, source, open, close, requestedAt, recvBuffer, &ignoredResult);
}

const std::string kOdd = "a&b=c+d%20e f\x80\xe9\xff";

std::vector<PostCase> PostCases() {
  return {
      {"SendSignalTypical",
       [] { return SendSignal("7", 101, 100, "", "", 0, "", "", "", "", "", 1, &ignoredResult); },
       "/admin/public/api/mt5/sendSignal",
       "source=7&ticket=101&origin_ticket=100&symbol=&price=&cmd=0&lots=&margin=&stop_loss=&take_profit=&occured_at="
       "&is_last=1"},
      {"SendSignalExtremes",
       [] {
         return SendSignal(kOdd.c_str(), kMinInt, 2147483647, "EURUSD", "1.19512", -1, "0.10", "12.5", "1.1", "1.3",
                           "2021.04.30 12:00", kMinInt, &ignoredResult);
       },
       "/admin/public/api/mt5/sendSignal",
       "source=" + kOdd +
           "&ticket=-2147483648&origin_ticket=2147483647&symbol=EURUSD&price=1.19512&cmd=-1&lots=0.10&margin=12.5"
           "&stop_loss=1.1&take_profit=1.3&occured_at=2021.04.30 12:00&is_last=-2147483648"},
      {"RecvSignalTypical", [] { return Recv("u1", "7", 15, 60, "2021.04.30 12:00"); },
       "/admin/public/api/mt5/receiveSignal",
       "user=u1&source=7&open_interval=15&close_interval=60&interval=60&requested_at=2021-04-30 12:00"},
      {"RecvSignalEdges", [] { return Recv("", kOdd.c_str(), kMinInt, -3, ""); },
       "/admin/public/api/mt5/receiveSignal",
       "user=&source=" + kOdd + "&open_interval=-2147483648&close_interval=-3&interval=-3&requested_at="},
      {"RecvSignalOnlyDots", [] { return Recv("u", "s", 0, 0, "..."); }, "/admin/public/api/mt5/receiveSignal",
       "user=u&source=s&open_interval=0&close_interval=0&interval=0&requested_at=---"},
      {"CheckPosition", [] { return CheckPosition("7", 1001, "", &ignoredResult); },
       "/admin/public/api/mt5/getLastRecord", "source=7&ticket=1001&symbol="},
      {"CheckPositionEdges", [] { return CheckPosition(kOdd.c_str(), kMinInt, "GBP&x=1", &ignoredResult); },
       "/admin/public/api/mt5/getLastRecord", "source=" + kOdd + "&ticket=-2147483648&symbol=GBP&x=1"},
      {"UpdateTS", [] { return UpdateTS("7", -5, "", "", &ignoredResult); }, "/admin/public/api/updateTS",
       "source=7&ticket=-5&sl=&tp="},
      {"UpdateTSValues", [] { return UpdateTS("s", 2147483647, "1.1000", "1.2 %", &ignoredResult); },
       "/admin/public/api/updateTS", "source=s&ticket=2147483647&sl=1.1000&tp=1.2 %"},
      {"CheckLimits", [] { return CheckLimits("7", "", &ignoredResult); }, "/admin/public/api/checkLimits",
       "source=7&limits="},
      {"CheckLimitsPairs", [] { return CheckLimits("7", "max=5&min=1", &ignoredResult); },
       "/admin/public/api/checkLimits", "source=7&limits=max=5&min=1"},
  };
}

class SignalPosts : public ExportTest, public ::testing::WithParamInterface<PostCase> {};

TEST_P(SignalPosts, SendsTheExactBodyToItsEndpoint) {
  fake::QueueResponse(fake::HttpReply(200, "1"));
  EXPECT_EQ(GetParam().call(), 1);
  EXPECT_EQ(PostedUrl(), SignalUrl(GetParam().path));
  EXPECT_EQ(fake::WrittenBytes(), GetParam().body);
  const auto verbs = fake::CallsOf(fake::Call::OpenRequest);
  ASSERT_EQ(verbs.size(), 1u);
  EXPECT_EQ(exportstest::Narrow(verbs[0].text), "POST");
  const auto headers = fake::CallsOf(fake::Call::AddRequestHeaders);
  ASSERT_FALSE(headers.empty());
  EXPECT_EQ(exportstest::Narrow(headers[0].text),
            "Content-Length: " + std::to_string(GetParam().body.size()) +
                "\r\nContent-Type: application/x-www-form-urlencoded\r\n");
}

INSTANTIATE_TEST_SUITE_P(Bodies, SignalPosts, ::testing::ValuesIn(PostCases()),
                         [](const auto& named) { return std::string(named.param.name); });

// ---- integer replies ------------------------------------------------------

using IntExport = std::function<std::int32_t(std::int32_t*)>;

struct NamedIntExport {
  const char* name;
  IntExport call;
};

void PrintTo(const NamedIntExport& c, std::ostream* os) { *os << c.name; }

std::vector<NamedIntExport> IntExports() {
  return {
      {"SendSignal",
       [](std::int32_t* r) { return SendSignal("7", 1, 1, "", "", 0, "", "", "", "", "", 0, r); }},
      {"CheckPosition", [](std::int32_t* r) { return CheckPosition("7", 1, "", r); }},
      {"UpdateTS", [](std::int32_t* r) { return UpdateTS("7", 1, "", "", r); }},
      {"CheckLimits", [](std::int32_t* r) { return CheckLimits("7", "", r); }},
  };
}

struct IntReplyCase {
  const char* reply;
  std::int32_t result;
};

const IntReplyCase kIntReplies[] = {
    {"42", 42}, {"  \r\n42 and more", 42}, {"-1", -1}, {"+7", 7}, {"", 0}, {"ok", 0},
    {"<html><body>502 Bad Gateway</body></html>", 0}, {"99999999999", 2147483647}, {"-99999999999", kMinInt},
};

class IntReplies : public ExportTest, public ::testing::WithParamInterface<NamedIntExport> {};

TEST_P(IntReplies, StoreTheReplyReadAsAnInteger) {
  for (const IntReplyCase& c : kIntReplies) {
    fake::Reset();
    fake::QueueResponse(fake::HttpReply(200, c.reply));
    std::int32_t result = 12345;
    EXPECT_EQ(GetParam().call(&result), 1) << c.reply;
    EXPECT_EQ(result, c.result) << c.reply;
  }
}

TEST_P(IntReplies, AnErrorStatusStillCountsAsAReply) {
  fake::QueueResponse(fake::HttpReply(500, "3"));
  std::int32_t result = 0;
  EXPECT_EQ(GetParam().call(&result), 1);
  EXPECT_EQ(result, 3);
}

TEST_P(IntReplies, UnreachableServerStoresMinusOne) {
  Unreachable();
  std::int32_t result = 12345;
  EXPECT_EQ(GetParam().call(&result), 0);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(fake::CountOf(fake::Call::SendRequest), 3u);
}

INSTANTIATE_TEST_SUITE_P(Exports, IntReplies, ::testing::ValuesIn(IntExports()),
                         [](const auto& named) { return std::string(named.param.name); });

// ---- RecvSignal's buffer and statuses -------------------------------------

class RecvSignalReply : public ExportTest {
 protected:
  std::int32_t Call(std::vector<char>& buffer, std::int32_t& status, const char* at = "2021.04.30") {
    std::strcpy(at_, at);
    status = 12345;
    return RecvSignal("u", "s", 1, 2, at_, buffer.data(), &status);
  }
  char at_[64] = {};
};

struct RecvCase {
  const char* name;
  std::string reply;      // body bytes, served as UTF-8
  std::int32_t ret;
  std::int32_t status;
  std::string written;    // bytes at the buffer's start; the rest keeps the sentinel
};
void PrintTo(const RecvCase& c, std::ostream* os) { *os << c.name; }


std::vector<RecvCase> RecvCases() {
  const std::string twenty = "ABCDEFGHIJKLMNOPQRST";
  return {
      {"ShortAsciiZeroesEightBytes", "abc", 1, 1, std::string("abc\0\0\0\0\0", 8)},
      {"TwoZerosAreAReply", "00", 1, 1, std::string("00\0\0\0\0\0\0", 8)},
      {"ZeroWithSpaceIsAReply", " 0", 1, 1, std::string(" 0\0\0\0\0\0\0", 8)},
      {"LongAsciiWritesExactlyItsBytes", twenty, 1, 1, twenty},
      {"SingleZeroMeansNothing", "0", 0, 84, ""},
      {"EmptyMeansNothing", "", 0, 84, ""},
      {"NonAsciiIsWrittenWhole", "\xc3\xa9t\xc3\xa9 \xe2\x82\xac", 1, 1, "\xc3\xa9t\xc3\xa9 \xe2\x82\xac"},
      {"SupplementaryCharacter", "x\xf0\x9f\x98\x80yz", 1, 1, std::string("x\xf0\x9f\x98\x80yz\0", 8)},
  };
}

class RecvSignalCases : public RecvSignalReply, public ::testing::WithParamInterface<RecvCase> {};

TEST_P(RecvSignalCases, WritesExactlyTheExpectedBytes) {
  fake::QueueResponse(Utf8Reply(GetParam().reply));
  std::vector<char> buffer = SentinelBuffer();
  std::int32_t status = 0;
  EXPECT_EQ(Call(buffer, status), GetParam().ret);
  EXPECT_EQ(status, GetParam().status);
  EXPECT_EQ(buffer, Expected(GetParam().written));
}

INSTANTIATE_TEST_SUITE_P(Replies, RecvSignalCases, ::testing::ValuesIn(RecvCases()),
                         [](const auto& named) { return std::string(named.param.name); });

TEST_F(RecvSignalReply, UnreachableServerLeavesBufferButRewritesRequestedAt) {
  Unreachable();
  std::vector<char> buffer = SentinelBuffer();
  std::int32_t status = 0;
  EXPECT_EQ(Call(buffer, status, "2021.04.30 12.00"), 0);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(buffer, SentinelBuffer());
  EXPECT_STREQ(at_, "2021-04-30 12-00");
}

// The largest reply that fits the documented buffer with its terminator is
// delivered whole; one byte more is not delivered and touches nothing.
TEST_F(RecvSignalReply, RepliesBeyondTheBufferAreRefusedUntouched) {
  struct Case {
    std::string reply;
    std::int32_t ret;
    std::int32_t status;
  };
  const std::string euro = "\xe2\x82\xac";  // one unit, three bytes
  std::string fitsNonAscii;
  for (int i = 0; i < 21845; ++i) fitsNonAscii += euro;  // 65535 bytes, 21845 units
  const Case cases[] = {
      {std::string(KESTRANE_REPLY_BUFFER_BYTES - 1, 'a'), 1, 1},
      {std::string(KESTRANE_REPLY_BUFFER_BYTES, 'a'), 0, -1},
      {fitsNonAscii, 1, 1},
      {fitsNonAscii + "b", 0, -1},
      {std::string(200000, 'z'), 0, -1},
  };
  for (const Case& c : cases) {
    fake::Reset();
    fake::QueueResponse(Utf8Reply(c.reply));
    std::vector<char> buffer(KESTRANE_REPLY_BUFFER_BYTES, '\0');
    std::int32_t status = 0;
    EXPECT_EQ(Call(buffer, status), c.ret) << c.reply.size();
    EXPECT_EQ(status, c.status) << c.reply.size();
    if (c.ret == 1) {
      EXPECT_EQ(std::string(buffer.data()), c.reply);
    } else {
      EXPECT_EQ(buffer, std::vector<char>(KESTRANE_REPLY_BUFFER_BYTES, '\0')) << c.reply.size();
    }
  }
}

TEST_F(RecvSignalReply, FailedMeasurementDeliversNothing) {
  fake::QueueResponse(Utf8Reply("abc"));
  fake::FailCall(fake::Call::WideCharToMultiByte, ERROR_INVALID_PARAMETER);
  std::vector<char> buffer = SentinelBuffer();
  std::int32_t status = 0;
  EXPECT_EQ(Call(buffer, status), 0);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(buffer, SentinelBuffer());
}

}  // namespace
