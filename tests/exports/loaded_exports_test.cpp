// The real libKestrane.so and libFalloway.so, both loaded into this process
// by file name, against loopback servers on the ports of their build-time
// hosts.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "falloway.h"
#include "kestrane.h"
#include "loaded_library.h"
#include "loopback_server.h"

namespace {

using exportstest::LoadedLibrary;
using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

// The port of a "host:port" value; 0 when it carries none.
std::uint16_t PortOf(const std::string& host) {
  const auto colon = host.rfind(':');
  if (colon == std::string::npos) return 0;
  return static_cast<std::uint16_t>(std::stoi(host.substr(colon + 1)));
}

struct Request {
  std::string head;
  std::string body;
};

Request Split(const std::string& raw) {
  const auto end = raw.find("\r\n\r\n");
  if (end == std::string::npos) return {raw, ""};
  return {raw.substr(0, end + 2), raw.substr(end + 4)};
}

std::string Reply(const std::string& body, const std::string& charset = "utf-8") {
  return HttpResponse(200, {{"Content-Type", "text/plain; charset=" + charset}}, body);
}

class LoadedExports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    kestrane_ = new LoadedLibrary(KT_KESTRANE_LIBRARY);
    falloway_ = new LoadedLibrary(KT_FALLOWAY_LIBRARY);
  }
  static void TearDownTestSuite() {
    delete kestrane_;
    delete falloway_;
  }
  void SetUp() override {
    signalPort_ = PortOf(KT_TEST_SIGNAL_SERVER_HOST);
    accountPort_ = PortOf(KT_TEST_ACCOUNT_SERVICE_HOST);
    if (signalPort_ == 0 || accountPort_ == 0)
      GTEST_SKIP() << "the build-time hosts carry no port (" KT_TEST_SIGNAL_SERVER_HOST ", "
                   << KT_TEST_ACCOUNT_SERVICE_HOST << "); configure with host:port to run these tests";
  }

  static inline LoadedLibrary* kestrane_ = nullptr;
  static inline LoadedLibrary* falloway_ = nullptr;
  std::uint16_t signalPort_ = 0;
  std::uint16_t accountPort_ = 0;
};

TEST_F(LoadedExports, EachLibraryExportsExactlyItsOwnNames) {
  const char* signalNames[] = {"SendSignal", "RecvSignal", "CheckPosition", "UpdateTS", "CheckLimits"};
  const char* accountNames[] = {"CheckAccount", "UpdateBalance", "GetLastUpdate", "UpdateHistory"};
  for (const char* name : signalNames) {
    EXPECT_TRUE(kestrane_->Has(name)) << name;
    EXPECT_FALSE(falloway_->Has(name)) << name;
  }
  for (const char* name : accountNames) {
    EXPECT_TRUE(falloway_->Has(name)) << name;
    EXPECT_FALSE(kestrane_->Has(name)) << name;
  }
}

// One case per export: it posts its exact body to its path on its service
// and turns the reply into its result.
struct WireCase {
  const char* name;
  bool accountService;
  std::string reply;
  std::string requestLine;
  std::string body;
  // Calls the export and checks its results.
  void (*callAndCheck)(const LoadedLibrary& kestrane, const LoadedLibrary& falloway);
};
void PrintTo(const WireCase& c, std::ostream* os) { *os << c.name; }


std::vector<WireCase> WireCases() {
  return {
      {"SendSignal", false, "42", "POST /admin/public/api/mt5/sendSignal HTTP/1.1",
       "source=7&ticket=-5&origin_ticket=100&symbol=EUR USD&price=1.1&cmd=0&lots=&margin=&stop_loss=&take_profit="
       "&occured_at=2021.04.30&is_last=1",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         std::int32_t result = 0;
         EXPECT_EQ(k.Export<decltype(SendSignal)>("SendSignal")("7", -5, 100, "EUR USD", "1.1", 0, "", "", "", "",
                                                               "2021.04.30", 1, &result),
                   1);
         EXPECT_EQ(result, 42);
       }},
      {"RecvSignal", false, "\xc3\xa9t\xc3\xa9", "POST /admin/public/api/mt5/receiveSignal HTTP/1.1",
       "user=u&source=7&open_interval=15&close_interval=60&interval=60&requested_at=2021-04-30 12:00",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         char at[] = "2021.04.30 12:00";
         std::vector<char> reply(KESTRANE_REPLY_BUFFER_BYTES, 'x');
         std::int32_t status = 0;
         EXPECT_EQ(k.Export<decltype(RecvSignal)>("RecvSignal")("u", "7", 15, 60, at, reply.data(), &status), 1);
         EXPECT_EQ(status, 1);
         EXPECT_EQ(std::string(reply.data(), 9), std::string("\xc3\xa9t\xc3\xa9\0\0\0x", 9));
         EXPECT_STREQ(at, "2021-04-30 12:00");
       }},
      {"CheckPosition", false, "-1", "POST /admin/public/api/mt5/getLastRecord HTTP/1.1",
       "source=7&ticket=1001&symbol=",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         std::int32_t result = 0;
         EXPECT_EQ(k.Export<decltype(CheckPosition)>("CheckPosition")("7", 1001, "", &result), 1);
         EXPECT_EQ(result, -1);
       }},
      {"UpdateTS", false, "1", "POST /admin/public/api/updateTS HTTP/1.1", "source=7&ticket=3&sl=&tp=",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         std::int32_t result = 0;
         EXPECT_EQ(k.Export<decltype(UpdateTS)>("UpdateTS")("7", 3, "", "", &result), 1);
         EXPECT_EQ(result, 1);
       }},
      {"CheckLimits", false, "<html>busy</html>", "POST /admin/public/api/checkLimits HTTP/1.1",
       "source=7&limits=a=1&b=2",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         std::int32_t result = 9;
         EXPECT_EQ(k.Export<decltype(CheckLimits)>("CheckLimits")("7", "a=1&b=2", &result), 1);
         EXPECT_EQ(result, 0);
       }},
      {"CheckAccount", true, "Gr\xc3\xbc\xc3\x9f\x65", "POST /client/api_copytrade.php HTTP/1.1",
       "email=a@b.c&password=p&w&account=501&source_name=src&type=0",
       [](const LoadedLibrary&, const LoadedLibrary& f) {
         std::vector<char> reply(FALLOWAY_REPLY_BUFFER_BYTES, '\0');
         EXPECT_EQ(f.Export<decltype(CheckAccount)>("CheckAccount")("a@b.c", "p&w", "501", "src", 0, reply.data()), 1);
         EXPECT_STREQ(reply.data(), "Gr\xc3\xbc\xc3\x9f\x65");
       }},
      {"UpdateBalance", false, "1", "POST /admin/public/api/mt5/updateAccount HTTP/1.1",
       "account_number=501&account_balance=100.500000&currency_type=USD&inp_source=2",
       [](const LoadedLibrary&, const LoadedLibrary& f) {
         char outcome[8] = {};
         EXPECT_EQ(f.Export<decltype(UpdateBalance)>("UpdateBalance")("501", 100.5, "USD", 2, outcome), 1);
         EXPECT_STREQ(outcome, "success");
       }},
      {"GetLastUpdate", false, "2021-04-30 12:00:59", "POST /admin/public/api/mt5/getLastUpdatedDate HTTP/1.1",
       "account_number=501",
       [](const LoadedLibrary&, const LoadedLibrary& f) {
         char stamp[20] = {};
         EXPECT_EQ(f.Export<decltype(GetLastUpdate)>("GetLastUpdate")("501", stamp), 1);
         EXPECT_STREQ(stamp, "2021-04-30 12:00:59");
       }},
      {"UpdateHistory", false, "0", "POST /admin/public/api/mt5/updateAccount HTTP/1.1",
       "account_number=501&deal_ticket=101&deal_time=&deal_order=202&deal_symbol=EURUSD&deal_type=0&deal_dir=1"
       "&deal_volume=0.100000&deal_price=1.195120&deal_profit=12.500000&stop_loss=1.190000&take_profit=1.200000",
       [](const LoadedLibrary&, const LoadedLibrary& f) {
         char outcome[8] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
         EXPECT_EQ(f.Export<decltype(UpdateHistory)>("UpdateHistory")("501", 101, "", 202, "EURUSD", 0, 1, 0.1,
                                                                     1.19512, 12.5, 1.2, 1.19, outcome),
                   1);
         EXPECT_EQ(std::string(outcome, 8), std::string("failed\0x", 8));
       }},
  };
}

class LoadedWire : public LoadedExports, public ::testing::WithParamInterface<WireCase> {};

TEST_P(LoadedWire, PostsItsFormAndConvertsTheReply) {
  const WireCase& c = GetParam();
  ScriptedServer server({Step::Respond(Reply(c.reply))}, c.accountService ? accountPort_ : signalPort_);
  c.callAndCheck(*kestrane_, *falloway_);
  ASSERT_EQ(server.Requests().size(), 1u);
  const Request request = Split(server.Requests()[0]);
  EXPECT_EQ(request.head.substr(0, request.head.find("\r\n")), c.requestLine);
  EXPECT_NE(request.head.find("User-Agent: WinHttpClient\r\n"), std::string::npos) << request.head;
  EXPECT_NE(request.head.find("Content-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
  EXPECT_NE(request.head.find("Content-Length: " + std::to_string(c.body.size()) + "\r\n"), std::string::npos);
  EXPECT_EQ(request.body, c.body);
}

INSTANTIATE_TEST_SUITE_P(Exports, LoadedWire, ::testing::ValuesIn(WireCases()),
                         [](const auto& named) { return std::string(named.param.name); });

// Nothing listens on the ports: every export takes its failure path.
TEST_F(LoadedExports, UnreachableServersGiveTheFailureResults) {
  std::int32_t result = 0;
  EXPECT_EQ(kestrane_->Export<decltype(CheckLimits)>("CheckLimits")("7", "", &result), 0);
  EXPECT_EQ(result, -1);
  char at[] = "1.2.3";
  std::vector<char> reply(16, 'x');
  std::int32_t status = 0;
  EXPECT_EQ(kestrane_->Export<decltype(RecvSignal)>("RecvSignal")("u", "s", 1, 1, at, reply.data(), &status), 0);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(reply, std::vector<char>(16, 'x'));
  EXPECT_STREQ(at, "1-2-3");
  EXPECT_EQ(falloway_->Export<decltype(CheckAccount)>("CheckAccount")("e", "p", "a", nullptr, 1, reply.data()), 0);
  EXPECT_EQ(reply, std::vector<char>(16, 'x'));
  char stamp[20] = {};
  EXPECT_EQ(falloway_->Export<decltype(GetLastUpdate)>("GetLastUpdate")("501", stamp), 0);
  EXPECT_STREQ(stamp, "failed");
}

// A proxy error page longer than the documented buffer must not be
// written anywhere.
TEST_F(LoadedExports, OverlongRepliesAreNotDelivered) {
  const std::string page = "<html>" + std::string(70000, 'e') + "</html>";
  ScriptedServer signal({Step::Respond(HttpResponse(502, {}, page))}, signalPort_);
  ScriptedServer account({Step::Respond(HttpResponse(502, {}, page))}, accountPort_);
  std::vector<char> reply(KESTRANE_REPLY_BUFFER_BYTES, '\0');
  char at[] = "now";
  std::int32_t status = 0;
  EXPECT_EQ(kestrane_->Export<decltype(RecvSignal)>("RecvSignal")("u", "s", 1, 1, at, reply.data(), &status), 0);
  EXPECT_EQ(status, -1);
  EXPECT_EQ(falloway_->Export<decltype(CheckAccount)>("CheckAccount")("e", "p", "a", nullptr, 1, reply.data()), 0);
  EXPECT_EQ(reply, std::vector<char>(KESTRANE_REPLY_BUFFER_BYTES, '\0'));
}

// Calls into both libraries from several threads at once share nothing.
TEST_F(LoadedExports, ConcurrentCallsIntoBothLibrariesDoNotInterfere) {
  ScriptedServer signal({Step::Respond(Reply("5"))}, signalPort_);
  ScriptedServer account({Step::Respond(Reply("hello"))}, accountPort_);
  auto checkLimits = kestrane_->Export<decltype(CheckLimits)>("CheckLimits");
  auto checkAccount = falloway_->Export<decltype(CheckAccount)>("CheckAccount");
  constexpr int kCallsPerThread = 5;
  std::vector<int> good(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kCallsPerThread; ++i) {
        if (t % 2 == 0) {
          std::int32_t result = 0;
          good[t] += checkLimits("7", "x", &result) == 1 && result == 5;
        } else {
          char reply[16] = {};
          good[t] += checkAccount("e", "p", "a", nullptr, 1, reply) == 1 && std::strcmp(reply, "hello") == 0;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(good[t], kCallsPerThread) << "thread " << t;
}

}  // namespace
