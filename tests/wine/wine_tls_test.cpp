// The https builds of both DLLs under Wine, against the TLS front on the
// service ports: the platform's WinHTTP verifies the certificate against the
// prefix's trust store, to which the test CA is added first. Wine checks no
// IP-address names, so these DLLs are built for "localhost".
#include <fstream>
#include <iterator>

#include "tls_front.h"
#include "wine_fixture.h"

namespace winetest {
namespace {

using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;
using testsupport::TestCertificate;
using testsupport::TlsFront;

bool TrustTestCa() {
  std::ifstream file(testsupport::TestCaFile());
  const std::string pem((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return !pem.empty() && RunUnderWine({KT_TRUST_CA}, pem).exitCode == 0;
}

struct ExportCall {
  const char* dll;
  bool accountService;
  std::string line;
  std::string requestLine;
  std::string reply;
};

const unsigned char kFill = 0xA5;

// Every export once, each with a reply it delivers (return value 1).
std::vector<ExportCall> EveryExport() {
  const char* k = KT_KESTRANE_TLS_DLL;
  const char* f = KT_FALLOWAY_TLS_DLL;
  return {
      {k, false,
       Line("SendSignal", {TextArg("7"), IntArg(1), IntArg(2), TextArg("EURUSD"), TextArg("1.1"), IntArg(0),
                           TextArg("0.1"), TextArg(""), TextArg(""), TextArg(""), TextArg("2021.04.30"), IntArg(1), "r"}),
       "POST /admin/public/api/mt5/sendSignal HTTP/1.1", "42"},
      {k, false,
       Line("RecvSignal", {TextArg("u"), TextArg("7"), IntArg(15), IntArg(60), WritableArg("2021.04.30 12:00"),
                           BufferArg(16, kFill), "r"}),
       "POST /admin/public/api/mt5/receiveSignal HTTP/1.1", "signal"},
      {k, false, Line("CheckPosition", {TextArg("7"), IntArg(5), TextArg(""), "r"}),
       "POST /admin/public/api/mt5/getLastRecord HTTP/1.1", "3"},
      {k, false, Line("UpdateTS", {TextArg("7"), IntArg(5), TextArg("1.1"), TextArg("1.2"), "r"}),
       "POST /admin/public/api/updateTS HTTP/1.1", "1"},
      {k, false, Line("CheckLimits", {TextArg("7"), TextArg("a=1"), "r"}), "POST /admin/public/api/checkLimits HTTP/1.1",
       "1"},
      {f, true,
       Line("CheckAccount", {TextArg("a@b.c"), TextArg("pw"), TextArg("501"), TextArg("src"), IntArg(0),
                             BufferArg(8, kFill)}),
       "POST /client/api_copytrade.php HTTP/1.1", "OK"},
      {f, false, Line("UpdateBalance", {TextArg("501"), DoubleArg("1.5"), TextArg("USD"), IntArg(1), BufferArg(8, kFill)}),
       "POST /admin/public/api/mt5/updateAccount HTTP/1.1", "1"},
      {f, false, Line("GetLastUpdate", {TextArg("501"), BufferArg(24, kFill)}),
       "POST /admin/public/api/mt5/getLastUpdatedDate HTTP/1.1", "2021-04-30 12:00:59"},
      {f, false,
       Line("UpdateHistory", {TextArg("501"), IntArg(1), TextArg(""), IntArg(2), TextArg("EURUSD"), IntArg(0), IntArg(1),
                              DoubleArg("0.1"), DoubleArg("1.1"), DoubleArg("2.5"), DoubleArg("1.0"), DoubleArg("1.2"),
                              BufferArg(8, kFill)}),
       "POST /admin/public/api/mt5/updateAccount HTTP/1.1", "1"},
  };
}

class WineTls : public WineLoopbackTest {
 protected:
  static void SetUpTestSuite() { trusted_ = TrustTestCa(); }

  void SetUp() override {
    WineLoopbackTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(trusted_) << "the test CA could not be added to the prefix's Root store";
  }

  // Runs every export behind fronts with `certificate`; the return values,
  // and the request lines that reached the plain servers behind them.
  void RunEveryExport(TestCertificate certificate, std::vector<int>& returned, std::vector<std::string>& reached) {
    std::vector<Step> signalSteps;
    std::vector<Step> accountSteps;
    for (const ExportCall& call : EveryExport())
      (call.accountService ? accountSteps : signalSteps).push_back(Step::Respond(HttpResponse(200, {}, call.reply)));
    ScriptedServer signal(signalSteps);
    ScriptedServer account(accountSteps);
    TlsFront signalFront(certificate, signal.Port(), signalPort_);
    TlsFront accountFront(certificate, account.Port(), accountPort_);
    for (const char* dll : {KT_KESTRANE_TLS_DLL, KT_FALLOWAY_TLS_DLL}) {
      std::vector<std::string> lines;
      for (const ExportCall& call : EveryExport())
        if (std::string(call.dll) == dll) lines.push_back(call.line);
      for (const CallOutcome& outcome : Call(dll, lines)) returned.push_back(outcome.ret);
    }
    std::vector<std::string> requests = signal.Requests();
    std::size_t nextSignal = 0;
    std::size_t nextAccount = 0;
    for (const ExportCall& call : EveryExport()) {
      const std::vector<std::string> from = call.accountService ? account.Requests() : requests;
      std::size_t& next = call.accountService ? nextAccount : nextSignal;
      reached.push_back(next < from.size() ? ParseHttpRequest(from[next++]).requestLine : "");
    }
  }

  static inline bool trusted_ = false;
};

TEST_F(WineTls, EveryExportGetsItsReplyFromATrustedServer) {
  std::vector<int> returned;
  std::vector<std::string> reached;
  RunEveryExport(TestCertificate::Localhost, returned, reached);
  std::vector<std::string> expected;
  for (const ExportCall& call : EveryExport()) expected.push_back(call.requestLine);
  EXPECT_EQ(returned, std::vector<int>(expected.size(), 1));
  EXPECT_EQ(reached, expected);
}

TEST_F(WineTls, RefusedCertificatesFailEveryExportAndNothingIsPosted) {
  // Wine reports the failed handshake as 12157 where Windows may say 12175;
  // either way the export takes its failure path.
  for (TestCertificate refused : {TestCertificate::SelfSigned, TestCertificate::WrongName, TestCertificate::Expired}) {
    SCOPED_TRACE(static_cast<int>(refused));
    std::vector<int> returned;
    std::vector<std::string> reached;
    RunEveryExport(refused, returned, reached);
    EXPECT_EQ(returned, std::vector<int>(EveryExport().size(), 0));
    EXPECT_EQ(reached, std::vector<std::string>(EveryExport().size(), ""));
  }
}

}  // namespace
}  // namespace winetest
