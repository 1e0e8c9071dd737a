// Every export of both DLLs under Wine, as a trading program calls them:
// the exact form each one posts, what it makes of the reply, and exactly which
// bytes of the caller's buffers it writes (buffers start filled with 0xA5).
#include <string>
#include <vector>

#include "wine_fixture.h"

namespace winetest {
namespace {

using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

enum class Service { Signal, Account };

struct ExportCase {
  std::string label;
  std::string line;
  std::string response;     // raw HTTP response bytes
  Service service;
  std::string path;         // empty: nothing may be posted
  std::string body;
  int ret;
  std::vector<int> results;
  std::vector<std::string> buffers;
  std::vector<std::string> texts;
};

std::ostream& operator<<(std::ostream& out, const ExportCase& c) { return out << c.label; }

const unsigned char kFill = 0xA5;

std::string Filled(std::size_t size) { return std::string(size, static_cast<char>(kFill)); }

// `written` at the start of a buffer of `size` bytes, the rest as the caller left it.
std::string Buffer(const std::string& written, std::size_t size) { return written + Filled(size - written.size()); }

std::string Reply(const std::string& body) { return HttpResponse(200, {}, body); }
std::string Utf8Reply(const std::string& body) {
  return HttpResponse(200, {{"Content-Type", "text/plain; charset=utf-8"}}, body);
}

std::string Z(std::size_t count) { return std::string(count, '\0'); }

const char kSendSignalPath[] = "/admin/public/api/mt5/sendSignal";
const char kRecvSignalPath[] = "/admin/public/api/mt5/receiveSignal";
const char kUpdateAccountPath[] = "/admin/public/api/mt5/updateAccount";
const char kLastUpdatePath[] = "/admin/public/api/mt5/getLastUpdatedDate";
const char kCopytradePath[] = "/client/api_copytrade.php";

std::string RecvSignalLine(int bufferSize) {
  return Line("RecvSignal", {TextArg("u1"), TextArg("s&2"), IntArg(15), IntArg(-60), WritableArg("2021.04.30 12:00"),
                             BufferArg(bufferSize, kFill), "r"});
}
const char kRecvSignalBody[] =
    "user=u1&source=s&2&open_interval=15&close_interval=-60&interval=-60&requested_at=2021-04-30 12:00";
const std::string kRewritten = std::string("2021-04-30 12:00") + '\0';

std::vector<ExportCase> KestraneCases() {
  const std::string oddTexts = "a&b=c+d%e f\xE9";
  return {
      {"SendSignal_EmptyTexts",
       Line("SendSignal", {TextArg("7"), IntArg(101), IntArg(100), TextArg(""), TextArg(""), IntArg(0), TextArg(""),
                           TextArg(""), TextArg(""), TextArg(""), TextArg(""), IntArg(1), "r"}),
       Reply("42"), Service::Signal, kSendSignalPath,
       "source=7&ticket=101&origin_ticket=100&symbol=&price=&cmd=0&lots=&margin=&stop_loss=&take_profit=&"
       "occured_at=&is_last=1",
       1, {42}, {}, {}},
      {"SendSignal_ExtremesAndRawBytes",
       Line("SendSignal", {TextArg(oddTexts), IntArg(-2147483648LL), IntArg(2147483647), TextArg("EURUSD"),
                           TextArg("1.19512"), IntArg(-1), TextArg("0.10"), TextArg("12.5"), TextArg("1.19"),
                           TextArg("1.2"), TextArg("2021.04.30 12:00"), IntArg(0), "r"}),
       Reply("-1"), Service::Signal, kSendSignalPath,
       "source=" + oddTexts +
           "&ticket=-2147483648&origin_ticket=2147483647&symbol=EURUSD&price=1.19512&cmd=-1&lots=0.10&margin=12.5&"
           "stop_loss=1.19&take_profit=1.2&occured_at=2021.04.30 12:00&is_last=0",
       1, {-1}, {}, {}},
      {"RecvSignal_ShortReply", RecvSignalLine(32), Reply("abc"), Service::Signal, kRecvSignalPath, kRecvSignalBody,
       1, {1}, {Buffer("abc" + Z(5), 32)}, {kRewritten}},
      {"RecvSignal_TwoZeros", RecvSignalLine(16), Reply("00"), Service::Signal, kRecvSignalPath, kRecvSignalBody, 1,
       {1}, {Buffer("00" + Z(6), 16)}, {kRewritten}},
      {"RecvSignal_TwentyCharacters", RecvSignalLine(24), Reply("abcdefghijklmnopqrst"), Service::Signal,
       kRecvSignalPath, kRecvSignalBody, 1, {1}, {Buffer("abcdefghijklmnopqrst", 24)}, {kRewritten}},
      {"RecvSignal_Utf8WrittenWhole", RecvSignalLine(16), Utf8Reply("x\xC3\xA9y"), Service::Signal, kRecvSignalPath,
       kRecvSignalBody, 1, {1}, {Buffer("x\xC3\xA9y" + Z(4), 16)}, {kRewritten}},
      {"RecvSignal_ZeroIsNoSignal", RecvSignalLine(16), Reply("0"), Service::Signal, kRecvSignalPath,
       kRecvSignalBody, 0, {84}, {Filled(16)}, {kRewritten}},
      {"RecvSignal_EmptyIsNoSignal", RecvSignalLine(16), Reply(""), Service::Signal, kRecvSignalPath,
       kRecvSignalBody, 0, {84}, {Filled(16)}, {kRewritten}},
      {"RecvSignal_OverlongReplyNotDelivered", RecvSignalLine(16), Reply(std::string(65536, 'x')), Service::Signal,
       kRecvSignalPath, kRecvSignalBody, 0, {-1}, {Filled(16)}, {kRewritten}},
      {"CheckPosition",
       Line("CheckPosition", {TextArg("7"), IntArg(-1001), TextArg(""), "r"}), Reply("  3 trades"), Service::Signal,
       "/admin/public/api/mt5/getLastRecord", "source=7&ticket=-1001&symbol=", 1, {3}, {}, {}},
      {"UpdateTS",
       Line("UpdateTS", {TextArg("7"), IntArg(55), TextArg(""), TextArg(""), "r"}), Reply("not a number"),
       Service::Signal, "/admin/public/api/updateTS", "source=7&ticket=55&sl=&tp=", 1, {0}, {}, {}},
  };
}

std::string UpdateBalanceLine(const char* balance) {
  return Line("UpdateBalance", {TextArg("501"), DoubleArg(balance), TextArg("USD"), IntArg(-3), BufferArg(10, kFill)});
}

std::string GetLastUpdateLine() { return Line("GetLastUpdate", {TextArg("501"), BufferArg(24, kFill)}); }

std::vector<ExportCase> FallowayCases() {
  const std::string success = std::string("success") + '\0';
  const std::string failed = std::string("failed") + '\0';
  return {
      {"CheckAccount_WithSourceName",
       Line("CheckAccount", {TextArg("a@b.c"), TextArg("p&w d"), TextArg("501"), TextArg("src"), IntArg(0),
                             BufferArg(8, kFill)}),
       Reply("OK"), Service::Account, kCopytradePath, "email=a@b.c&password=p&w d&account=501&source_name=src&type=0",
       1, {}, {Buffer("OK", 8)}, {}},
      {"CheckAccount_NonZeroTypeSkipsSourceName",
       Line("CheckAccount", {TextArg(""), TextArg(""), TextArg(""), "null", IntArg(-1), BufferArg(8, kFill)}),
       Reply(""), Service::Account, kCopytradePath, "email=&password=&account=&type=1", 1, {}, {Filled(8)}, {}},
      {"CheckAccount_Utf8WrittenWhole",
       Line("CheckAccount", {TextArg("e"), TextArg("p"), TextArg("1"), "null", IntArg(1), BufferArg(12, kFill)}),
       Utf8Reply("Gr\xC3\xBC\xC3\x9F" "e"), Service::Account, kCopytradePath, "email=e&password=p&account=1&type=1", 1,
       {}, {Buffer("Gr\xC3\xBC\xC3\x9F" "e", 12)}, {}},
      {"UpdateBalance_Success", UpdateBalanceLine("100.5"), Reply(" +1 done"), Service::Signal, kUpdateAccountPath,
       "account_number=501&account_balance=100.500000&currency_type=USD&inp_source=-3", 1, {}, {Buffer(success, 10)},
       {}},
      {"UpdateBalance_OtherReplyFails", UpdateBalanceLine("-0.0000004"), Reply("11"), Service::Signal,
       kUpdateAccountPath, "account_number=501&account_balance=-0.000000&currency_type=USD&inp_source=-3", 1, {},
       {Buffer(failed, 10)}, {}},
      {"UpdateBalance_NaNIsNotPosted", UpdateBalanceLine("nan"), Reply("1"), Service::Signal, "", "", 0, {},
       {Buffer(failed, 10)}, {}},
      {"GetLastUpdate_NineteenCharacters", GetLastUpdateLine(), Reply("2021-04-30 12:00:00"), Service::Signal,
       kLastUpdatePath, "account_number=501", 1, {}, {Buffer("2021-04-30 12:00:00", 24)}, {}},
      {"GetLastUpdate_WrongLength", GetLastUpdateLine(), Reply("2021-04-30 12:00:00\n"), Service::Signal,
       kLastUpdatePath, "account_number=501", 1, {}, {Buffer(failed, 24)}, {}},
      {"GetLastUpdate_NineteenUnitsNotAscii", GetLastUpdateLine(), Utf8Reply("2021-04-30 12:00:0\xC3\xA9"),
       Service::Signal, kLastUpdatePath, "account_number=501", 1, {}, {Buffer(failed, 24)}, {}},
      {"UpdateHistory",
       Line("UpdateHistory", {TextArg("501"), IntArg(101), TextArg(""), IntArg(202), TextArg("EURUSD"), IntArg(0),
                              IntArg(1), DoubleArg("0.1"), DoubleArg("1.19512"), DoubleArg("-7.25"), DoubleArg("1.2"),
                              DoubleArg("1.19"), BufferArg(8, kFill)}),
       Reply("1"), Service::Signal, kUpdateAccountPath,
       "account_number=501&deal_ticket=101&deal_time=&deal_order=202&deal_symbol=EURUSD&deal_type=0&deal_dir=1&"
       "deal_volume=0.100000&deal_price=1.195120&deal_profit=-7.250000&stop_loss=1.190000&take_profit=1.200000",
       1, {}, {success}, {}},
  };
}

class WineExport : public WineLoopbackTest, public ::testing::WithParamInterface<ExportCase> {
 protected:
  void Check(const char* dll) {
    const ExportCase& c = GetParam();
    ScriptedServer server({Step::Respond(c.response)}, c.service == Service::Signal ? signalPort_ : accountPort_);
    const auto outcomes = Call(dll, {c.line});
    ASSERT_EQ(outcomes.size(), 1u);
    const CallOutcome& got = outcomes[0];
    EXPECT_EQ(got.ret, c.ret) << got.line;
    EXPECT_EQ(got.results, c.results) << got.line;
    EXPECT_EQ(got.buffers, c.buffers) << got.line;
    EXPECT_EQ(got.texts, c.texts) << got.line;
    if (c.path.empty()) {
      EXPECT_EQ(server.ConnectionCount(), 0u);
      return;
    }
    ASSERT_EQ(server.Requests().size(), 1u);
    const HttpRequest request = ParseHttpRequest(server.Requests()[0]);
    EXPECT_EQ(request.requestLine, "POST " + c.path + " HTTP/1.1");
    EXPECT_EQ(request.body, c.body);
    EXPECT_EQ(request.Values("Content-Length"), std::vector<std::string>{std::to_string(c.body.size())});
  }
};

class WineKestrane : public WineExport {};
class WineFalloway : public WineExport {};

TEST_P(WineKestrane, PostsItsFormAndFillsTheCallersMemory) { Check(KT_KESTRANE_DLL); }
TEST_P(WineFalloway, PostsItsFormAndFillsTheCallersMemory) { Check(KT_FALLOWAY_DLL); }

auto CaseName = [](const ::testing::TestParamInfo<ExportCase>& info) { return info.param.label; };
INSTANTIATE_TEST_SUITE_P(Exports, WineKestrane, ::testing::ValuesIn(KestraneCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Exports, WineFalloway, ::testing::ValuesIn(FallowayCases()), CaseName);

// With no server at all every export takes its failure path.
class WineUnreachable : public WineLoopbackTest {};

TEST_F(WineUnreachable, EveryExportReportsFailure) {
  const auto kestrane = Call(KT_KESTRANE_DLL, {
      Line("CheckPosition", {TextArg("7"), IntArg(1), TextArg(""), "r"}),
      RecvSignalLine(16),
  });
  ASSERT_EQ(kestrane.size(), 2u);
  EXPECT_EQ(kestrane[0].ret, 0);
  EXPECT_EQ(kestrane[0].results, std::vector<int>{-1});
  EXPECT_EQ(kestrane[1].ret, 0);
  EXPECT_EQ(kestrane[1].results, std::vector<int>{-1});
  EXPECT_EQ(kestrane[1].buffers, std::vector<std::string>{Filled(16)});
  EXPECT_EQ(kestrane[1].texts, std::vector<std::string>{kRewritten});

  const auto falloway = Call(KT_FALLOWAY_DLL, {
      Line("CheckAccount", {TextArg("e"), TextArg("p"), TextArg("1"), "null", IntArg(1), BufferArg(8, kFill)}),
      UpdateBalanceLine("1"),
      GetLastUpdateLine(),
  });
  ASSERT_EQ(falloway.size(), 3u);
  const std::string failed = std::string("failed") + '\0';
  EXPECT_EQ(falloway[0].ret, 0);
  EXPECT_EQ(falloway[0].buffers, std::vector<std::string>{Filled(8)});
  EXPECT_EQ(falloway[1].ret, 0);
  EXPECT_EQ(falloway[1].buffers, std::vector<std::string>{Buffer(failed, 10)});
  EXPECT_EQ(falloway[2].ret, 0);
  EXPECT_EQ(falloway[2].buffers, std::vector<std::string>{Buffer(failed, 24)});
}

}  // namespace
}  // namespace winetest
