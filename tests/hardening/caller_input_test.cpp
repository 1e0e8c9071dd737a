// Everything the contract lets a caller pass: empty texts, texts of a
// mebibyte, every byte value from 1 to 255, the extreme integers and
// doubles. The server must receive exactly the documented body, and the
// call must end normally.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "export_libraries.h"
#include "loopback_server.h"

namespace {

using hardening::ExportLibraries;
using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

std::string D(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return text;
}

std::string F(double value) {
  char text[400];
  std::snprintf(text, sizeof text, "%lf", value);
  return text;
}

std::string EveryByte() {
  std::string bytes;
  for (int b = 1; b <= 255; ++b) bytes.push_back(static_cast<char>(b));
  return bytes;
}

std::string DotsToDashes(std::string text) {
  for (char& c : text)
    if (c == '.') c = '-';
  return text;
}

enum class Service { Signal, Account };

struct InputCase {
  const char* name;
  Service service;
  std::function<std::int32_t()> call;  // returns the export's return value
  std::string expectedBody;
};

void PrintTo(const InputCase& c, std::ostream* out) {
  *out << c.name << " (to the " << (c.service == Service::Signal ? "signal server" : "account service")
       << ", body of " << c.expectedBody.size() << " bytes)";
}

const ExportLibraries& L() { return ExportLibraries::Get(); }

// Result pointers and buffers the calls write into; their contents are
// checked by the export tests, here only that the call ends normally.
std::int32_t gResult;
char gOutcome[FALLOWAY_REPLY_BUFFER_BYTES];

std::vector<InputCase> Cases() {
  const std::string mib(1u << 20, 'm');
  const std::string every = EveryByte();
  return {
      {"SendSignalEmptyTexts", Service::Signal,
       [] { return L().sendSignal("", 0, 0, "", "", 0, "", "", "", "", "", 0, &gResult); },
       "source=&ticket=0&origin_ticket=0&symbol=&price=&cmd=0&lots=&margin=&stop_loss=&take_profit=&occured_at="
       "&is_last=0"},
      {"SendSignalExtremeInts", Service::Signal,
       [] { return L().sendSignal("s", INT_MIN, INT_MAX, "y", "p", -1, "l", "m", "sl", "tp", "at", INT_MIN, &gResult); },
       "source=s&ticket=" + D(INT_MIN) + "&origin_ticket=" + D(INT_MAX) +
           "&symbol=y&price=p&cmd=-1&lots=l&margin=m&stop_loss=sl&take_profit=tp&occured_at=at&is_last=" +
           D(INT_MIN)},
      {"SendSignalMebibyteSymbol", Service::Signal,
       [mib] { return L().sendSignal("s", 1, 2, mib.c_str(), "p", 3, "l", "m", "a", "b", "c", 1, &gResult); },
       "source=s&ticket=1&origin_ticket=2&symbol=" + mib +
           "&price=p&cmd=3&lots=l&margin=m&stop_loss=a&take_profit=b&occured_at=c&is_last=1"},
      {"CheckPositionEveryByte", Service::Signal,
       [every] { return L().checkPosition(every.c_str(), INT_MAX, every.c_str(), &gResult); },
       "source=" + every + "&ticket=" + D(INT_MAX) + "&symbol=" + every},
      {"UpdateTSEmptyLevels", Service::Signal, [] { return L().updateTS("", INT_MIN, "", "", &gResult); },
       "source=&ticket=" + D(INT_MIN) + "&sl=&tp="},
      {"UpdateTSEveryByte", Service::Signal,
       [every] { return L().updateTS("7", -1, every.c_str(), every.c_str(), &gResult); },
       "source=7&ticket=-1&sl=" + every + "&tp=" + every},
      {"CheckLimitsMebibyte", Service::Signal, [mib] { return L().checkLimits(mib.c_str(), mib.c_str(), &gResult); },
       "source=" + mib + "&limits=" + mib},
      {"CheckLimitsEmpty", Service::Signal, [] { return L().checkLimits("", "", &gResult); }, "source=&limits="},
      {"RecvSignalEveryByte", Service::Signal,
       [every] {
         std::string at = every;
         const std::int32_t ret = L().recvSignal(every.c_str(), every.c_str(), INT_MIN, INT_MAX, at.data(), gOutcome,
                                                 &gResult);
         EXPECT_EQ(at, DotsToDashes(every)) << "requested_at is rewritten in place, and only its dots";
         return ret;
       },
       "user=" + every + "&source=" + every + "&open_interval=" + D(INT_MIN) + "&close_interval=" + D(INT_MAX) +
           "&interval=" + D(INT_MAX) + "&requested_at=" + DotsToDashes(every)},
      {"RecvSignalMebibyteOfDots", Service::Signal,
       [] {
         std::string at(1u << 20, '.');
         return L().recvSignal("", "", 0, -1, at.data(), gOutcome, &gResult);
       },
       "user=&source=&open_interval=0&close_interval=-1&interval=-1&requested_at=" + std::string(1u << 20, '-')},
      {"CheckAccountEveryByte", Service::Account,
       [every] { return L().checkAccount(every.c_str(), every.c_str(), every.c_str(), every.c_str(), 0, gOutcome); },
       "email=" + every + "&password=" + every + "&account=" + every + "&source_name=" + every + "&type=0"},
      {"CheckAccountMostNegativeType", Service::Account,
       [mib] { return L().checkAccount("", mib.c_str(), "", nullptr, INT_MIN, gOutcome); },
       "email=&password=" + mib + "&account=&type=1"},
      {"UpdateBalanceLargestSupported", Service::Signal,
       [] { return L().updateBalance("", 9.99e90, "", INT_MIN, gOutcome); },
       "account_number=&account_balance=" + F(9.99e90) + "&currency_type=&inp_source=" + D(INT_MIN)},
      {"UpdateBalanceTiny", Service::Signal, [] { return L().updateBalance("a", -5e-324, "c", INT_MAX, gOutcome); },
       "account_number=a&account_balance=" + F(-5e-324) + "&currency_type=c&inp_source=" + D(INT_MAX)},
      {"UpdateBalanceRounding", Service::Signal,
       [] { return L().updateBalance("a", 0.0000005, "c", 0, gOutcome); },
       "account_number=a&account_balance=" + F(0.0000005) + "&currency_type=c&inp_source=0"},
      {"UpdateBalanceLargestDouble", Service::Signal, [] { return L().updateBalance("a", -DBL_MAX, "c", 0, gOutcome); },
       "account_number=a&account_balance=" + F(-DBL_MAX) + "&currency_type=c&inp_source=0"},
      {"GetLastUpdateMebibyte", Service::Signal, [mib] { return L().getLastUpdate(mib.c_str(), gOutcome); },
       "account_number=" + mib},
      {"GetLastUpdateEmpty", Service::Signal, [] { return L().getLastUpdate("", gOutcome); }, "account_number="},
      {"UpdateHistoryExtremes", Service::Signal,
       [every] {
         return L().updateHistory(every.c_str(), INT_MIN, "", INT_MAX, every.c_str(), -1, 0, -0.0, DBL_MIN, -9.99e90,
                                  123456.0000004, 0.1, gOutcome);
       },
       "account_number=" + every + "&deal_ticket=" + D(INT_MIN) + "&deal_time=&deal_order=" + D(INT_MAX) +
           "&deal_symbol=" + every + "&deal_type=-1&deal_dir=0&deal_volume=" + F(-0.0) + "&deal_price=" + F(DBL_MIN) +
           "&deal_profit=" + F(-9.99e90) + "&stop_loss=" + F(0.1) + "&take_profit=" + F(123456.0000004)},
  };
}

std::string BodyOf(const std::string& request) {
  const std::size_t end = request.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : request.substr(end + 4);
}

class CallerInput : public ::testing::TestWithParam<InputCase> {};

TEST_P(CallerInput, ServerReceivesExactlyTheDocumentedBody) {
  const InputCase& c = GetParam();
  const std::uint16_t port =
      c.service == Service::Signal ? hardening::SignalServerPort() : hardening::AccountServicePort();
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, "1"))}, port);
  EXPECT_EQ(c.call(), 1);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string body = BodyOf(requests.front());
  EXPECT_EQ(body.size(), c.expectedBody.size());
  EXPECT_TRUE(body == c.expectedBody) << "the body differs from the documented one";
  EXPECT_NE(requests.front().find("\r\nContent-Length: " + std::to_string(c.expectedBody.size()) + "\r\n"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Inputs, CallerInput, ::testing::ValuesIn(Cases()),
                         [](const auto& named) { return std::string(named.param.name); });

// A double with no rendering is not posted at all.
struct NonFiniteCase {
  const char* name;
  std::function<std::int32_t(char* outcome)> call;
};

void PrintTo(const NonFiniteCase& c, std::ostream* out) { *out << c.name; }

class NonFiniteDouble : public ::testing::TestWithParam<NonFiniteCase> {};

TEST_P(NonFiniteDouble, IsNotSentAndReportsFailed) {
  ScriptedServer server({Step::Respond(HttpResponse(200, {}, "1"))}, hardening::SignalServerPort());
  char outcome[16];
  std::fill(std::begin(outcome), std::end(outcome), 'x');
  EXPECT_EQ(GetParam().call(outcome), 0);
  EXPECT_EQ(std::string(outcome, 8), std::string("failed\0x", 8));
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Values, NonFiniteDouble,
    ::testing::Values(
        NonFiniteCase{"BalanceNaN", [](char* o) { return L().updateBalance("1", std::nan(""), "USD", 1, o); }},
        NonFiniteCase{"BalanceInfinity", [](char* o) { return L().updateBalance("1", -HUGE_VAL, "USD", 1, o); }},
        NonFiniteCase{"DealPriceNaN",
                      [](char* o) { return L().updateHistory("1", 1, "", 1, "", 0, 0, 1, std::nan(""), 1, 1, 1, o); }},
        NonFiniteCase{"StopLossInfinity",
                      [](char* o) { return L().updateHistory("1", 1, "", 1, "", 0, 0, 1, 1, 1, 1, HUGE_VAL, o); }}),
    [](const auto& named) { return std::string(named.param.name); });

}  // namespace
