// The Falloway exports over the fake platform: what each posts where, and
// how each reply becomes the caller's buffer.
#include <cstdio>
#include <functional>
#include <limits>

#include "export_fixture.h"
#include "falloway.h"

namespace {

using exportstest::Expected;
using exportstest::ExportTest;
using exportstest::SentinelBuffer;
using exportstest::Utf8Reply;

constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();
const std::string kOdd = "a&b=c+d%20e f\x80\xe9\xff";
char scratch[FALLOWAY_REPLY_BUFFER_BYTES];

// The C library's "%lf" in the "C" locale: the reference for long renderings.
std::string CLibraryFixed(double value) {
  char printed[400];
  std::snprintf(printed, sizeof printed, "%lf", value);
  return printed;
}

// ---- what goes on the wire ------------------------------------------------

struct PostCase {
  const char* name;
  std::function<std::int32_t()> call;
  bool toAccountService;
  const char* path;
  std::string body;
};
void PrintTo(const PostCase& c, std::ostream* os) { *os << c.name; }


std::vector<PostCase> PostCases() {
  const char* login = "/client/api_copytrade.php";
  const char* update = "/admin/public/api/mt5/updateAccount";
  return {
      {"CheckAccountTypeZero", [] { return CheckAccount("", "", "", "", 0, scratch); }, true, login,
       "email=&password=&account=&source_name=&type=0"},
      {"CheckAccountTypeOne", [] { return CheckAccount("", "", "", nullptr, 1, scratch); }, true, login,
       "email=&password=&account=&type=1"},
      {"CheckAccountTypeNegative", [] { return CheckAccount("a@b.c", "p w", "501", nullptr, -1, scratch); }, true,
       login, "email=a@b.c&password=p w&account=501&type=1"},
      {"CheckAccountTypeSeven", [] { return CheckAccount("e", kOdd.c_str(), "1", "ignored", 7, scratch); }, true,
       login, "email=e&password=" + kOdd + "&account=1&type=1"},
      {"CheckAccountSourceName", [] { return CheckAccount("e", "p", "1", kOdd.c_str(), 0, scratch); }, true, login,
       "email=e&password=p&account=1&source_name=" + kOdd + "&type=0"},
      {"UpdateBalanceTypical", [] { return UpdateBalance("501", 100.5, "USD", 2, scratch); }, false, update,
       "account_number=501&account_balance=100.500000&currency_type=USD&inp_source=2"},
      {"UpdateBalanceTinyNegative", [] { return UpdateBalance("", -0.0000004, "", -3, scratch); }, false, update,
       "account_number=&account_balance=-0.000000&currency_type=&inp_source=-3"},
      {"UpdateBalanceRounding", [] { return UpdateBalance(kOdd.c_str(), 2.5e-7, "E&R", kMinInt, scratch); }, false,
       update, "account_number=" + kOdd + "&account_balance=0.000000&currency_type=E&R&inp_source=-2147483648"},
      {"UpdateBalanceHuge", [] { return UpdateBalance("1", 1e300, "X", 0, scratch); }, false, update,
       "account_number=1&account_balance=" + CLibraryFixed(1e300) + "&currency_type=X&inp_source=0"},
      {"GetLastUpdate", [] { return GetLastUpdate("501", scratch); }, false,
       "/admin/public/api/mt5/getLastUpdatedDate", "account_number=501"},
      {"GetLastUpdateEmpty", [] { return GetLastUpdate("", scratch); }, false,
       "/admin/public/api/mt5/getLastUpdatedDate", "account_number="},
      {"UpdateHistoryTypical",
       [] { return UpdateHistory("501", 101, "", 202, "EURUSD", 0, 1, 0.1, 1.19512, 12.5, 1.2, 1.19, scratch); },
       false, update,
       "account_number=501&deal_ticket=101&deal_time=&deal_order=202&deal_symbol=EURUSD&deal_type=0&deal_dir=1"
       "&deal_volume=0.100000&deal_price=1.195120&deal_profit=12.500000&stop_loss=1.190000&take_profit=1.200000"},
      {"UpdateHistoryEdges",
       [] {
         return UpdateHistory(kOdd.c_str(), -1, "2021.04.30 12:00", 2147483647, "", kMinInt, -2, 0.01, 123.125,
                              -7.25, -0.0000004, 2.5e-7, scratch);
       },
       false, update,
       "account_number=" + kOdd +
           "&deal_ticket=-1&deal_time=2021.04.30 12:00&deal_order=2147483647&deal_symbol=&deal_type=-2147483648"
           "&deal_dir=-2&deal_volume=0.010000&deal_price=123.125000&deal_profit=-7.250000&stop_loss=0.000000"
           "&take_profit=-0.000000"},
  };
}

class AccountPosts : public ExportTest, public ::testing::WithParamInterface<PostCase> {};

TEST_P(AccountPosts, SendsTheExactBodyToItsEndpoint) {
  fake::QueueResponse(fake::HttpReply(200, "1"));
  EXPECT_EQ(GetParam().call(), 1);
  EXPECT_EQ(PostedUrl(), GetParam().toAccountService ? AccountUrl(GetParam().path) : SignalUrl(GetParam().path));
  EXPECT_EQ(fake::WrittenBytes(), GetParam().body);
}

INSTANTIATE_TEST_SUITE_P(Bodies, AccountPosts, ::testing::ValuesIn(PostCases()),
                         [](const auto& named) { return std::string(named.param.name); });

// ---- the outcome word -----------------------------------------------------

using OutcomeExport = std::function<std::int32_t(char*)>;

struct NamedOutcomeExport {
  const char* name;
  OutcomeExport call;
};

void PrintTo(const NamedOutcomeExport& c, std::ostream* os) { *os << c.name; }

std::vector<NamedOutcomeExport> OutcomeExports() {
  return {
      {"UpdateBalance", [](char* out) { return UpdateBalance("501", 1.0, "USD", 1, out); }},
      {"UpdateHistory", [](char* out) { return UpdateHistory("501", 1, "", 1, "", 0, 0, 1, 1, 1, 1, 1, out); }},
  };
}

class OutcomeWords : public ExportTest, public ::testing::WithParamInterface<NamedOutcomeExport> {};

TEST_P(OutcomeWords, SuccessOnlyForAReplyReadAsOne) {
  const std::string success("success\0", 8);
  const std::string failed("failed\0", 7);
  const std::pair<const char*, const std::string*> cases[] = {
      {"1", &success}, {"  1", &success}, {"+1", &success}, {"01", &success}, {"1 done", &success},
      {"0", &failed},  {"2", &failed},    {"-1", &failed},  {"11", &failed},  {"", &failed},
      {"ok", &failed}, {"<html>1</html>", &failed},
  };
  for (const auto& [reply, word] : cases) {
    fake::Reset();
    fake::QueueResponse(fake::HttpReply(200, reply));
    std::vector<char> buffer = SentinelBuffer();
    EXPECT_EQ(GetParam().call(buffer.data()), 1) << reply;
    EXPECT_EQ(buffer, Expected(*word)) << reply;
  }
}

TEST_P(OutcomeWords, UnreachableServerWritesFailed) {
  Unreachable();
  std::vector<char> buffer = SentinelBuffer();
  EXPECT_EQ(GetParam().call(buffer.data()), 0);
  EXPECT_EQ(buffer, Expected(std::string("failed\0", 7)));
}

INSTANTIATE_TEST_SUITE_P(Exports, OutcomeWords, ::testing::ValuesIn(OutcomeExports()),
                         [](const auto& named) { return std::string(named.param.name); });

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

// ---- CheckAccount's reply buffer ------------------------------------------

struct AccountReplyCase {
  const char* name;
  std::string reply;
  std::int32_t ret;
  std::string written;
};
void PrintTo(const AccountReplyCase& c, std::ostream* os) { *os << c.name; }


class CheckAccountReplies : public ExportTest, public ::testing::WithParamInterface<AccountReplyCase> {};

TEST_P(CheckAccountReplies, WritesTheWholeReplyAndNothingElse) {
  fake::QueueResponse(Utf8Reply(GetParam().reply));
  std::vector<char> buffer = SentinelBuffer();
  EXPECT_EQ(CheckAccount("e", "p", "1", nullptr, 1, buffer.data()), GetParam().ret);
  EXPECT_EQ(buffer, Expected(GetParam().written));
}

INSTANTIATE_TEST_SUITE_P(
    Replies, CheckAccountReplies,
    ::testing::Values(AccountReplyCase{"ThreeAscii", "abc", 1, "abc"}, AccountReplyCase{"Empty", "", 1, ""},
                      AccountReplyCase{"NonAscii", "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac", 1,
                                       "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac"},
                      AccountReplyCase{"Zero", "0", 1, "0"}),
    [](const auto& named) { return std::string(named.param.name); });

TEST_F(ExportTest, CheckAccountUnreachableLeavesBufferUntouched) {
  Unreachable();
  std::vector<char> buffer = SentinelBuffer();
  EXPECT_EQ(CheckAccount("e", "p", "1", "s", 0, buffer.data()), 0);
  EXPECT_EQ(buffer, SentinelBuffer());
}

TEST_F(ExportTest, CheckAccountRefusesRepliesBeyondItsBuffer) {
  const std::string fits(FALLOWAY_REPLY_BUFFER_BYTES - 1, 'q');
  std::string nonAsciiTooLong;
  for (int i = 0; i < 32768; ++i) nonAsciiTooLong += "\xc3\xa9";  // 32768 units, 65536 bytes
  const std::pair<std::string, std::int32_t> cases[] = {
      {fits, 1}, {fits + "q", 0}, {nonAsciiTooLong, 0}, {nonAsciiTooLong.substr(2), 1}};
  for (const auto& [reply, ret] : cases) {
    fake::Reset();
    fake::QueueResponse(Utf8Reply(reply));
    std::vector<char> buffer(FALLOWAY_REPLY_BUFFER_BYTES, '\0');
    EXPECT_EQ(CheckAccount("e", "p", "1", nullptr, 1, buffer.data()), ret) << reply.size();
    if (ret == 1) EXPECT_EQ(std::string(buffer.data()), reply);
    else EXPECT_EQ(buffer, std::vector<char>(FALLOWAY_REPLY_BUFFER_BYTES, '\0'));
  }
}

// ---- GetLastUpdate's stamp ------------------------------------------------

struct StampCase {
  const char* name;
  std::string reply;
  std::string written;
};
void PrintTo(const StampCase& c, std::ostream* os) { *os << c.name; }


class LastUpdateReplies : public ExportTest, public ::testing::WithParamInterface<StampCase> {};

TEST_P(LastUpdateReplies, WritesTheStampOrFailed) {
  fake::QueueResponse(Utf8Reply(GetParam().reply));
  std::vector<char> buffer = SentinelBuffer();
  EXPECT_EQ(GetLastUpdate("501", buffer.data()), 1);
  EXPECT_EQ(buffer, Expected(GetParam().written));
}

const std::string kFailed("failed\0", 7);

INSTANTIATE_TEST_SUITE_P(
    Replies, LastUpdateReplies,
    ::testing::Values(StampCase{"Stamp", "2021-04-30 12:00:59", "2021-04-30 12:00:59"},
                      StampCase{"AnyNineteenAscii", "abc DEF ghi JKL mno", "abc DEF ghi JKL mno"},
                      StampCase{"Eighteen", "2021-04-30 12:00:5", kFailed},
                      StampCase{"Twenty", "2021-04-30 12:00:59Z", kFailed},
                      StampCase{"StampWithLineBreak", "2021-04-30 12:00:59\n", kFailed},
                      StampCase{"Empty", "", kFailed},
                      StampCase{"NineteenUnitsNotNineteenBytes", "2021-04-30 12:00:5\xc3\xa9", kFailed}),
    [](const auto& named) { return std::string(named.param.name); });

TEST_F(ExportTest, GetLastUpdateFailedKeepsTheRestOfAnEarlierStamp) {
  std::vector<char> buffer = SentinelBuffer();
  fake::QueueResponse(fake::HttpReply(200, "2021-04-30 12:00:59"));
  ASSERT_EQ(GetLastUpdate("501", buffer.data()), 1);
  fake::Reset();
  Unreachable();
  EXPECT_EQ(GetLastUpdate("501", buffer.data()), 0);
  EXPECT_EQ(buffer, Expected(std::string("failed\0", 7) + "-30 12:00:59"));
}

}  // namespace
