// The https builds of both libraries (tls/, built for localhost on the
// service ports), loaded by file name, against the TLS front: every export
// gets its reply through a certificate of the test CA, trusted through
// SSL_CERT_FILE, and takes its failure path, posting nothing, when the
// certificate is self-signed, for another name or expired.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "falloway.h"
#include "kestrane.h"
#include "loaded_library.h"
#include "loopback_server.h"
#include "tls_front.h"

namespace {

using exportstest::LoadedLibrary;
using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;
using testsupport::TestCertificate;
using testsupport::TlsFront;

std::uint16_t PortOf(const std::string& host) {
  return static_cast<std::uint16_t>(std::stoi(host.substr(host.rfind(':') + 1)));
}

struct ExportCall {
  const char* name;
  bool accountService;
  std::string requestLine;
  std::string reply;
  // The export's return value.
  int (*call)(const LoadedLibrary& kestrane, const LoadedLibrary& falloway);
};

std::vector<ExportCall> EveryExport() {
  return {
      {"SendSignal", false, "POST /admin/public/api/mt5/sendSignal HTTP/1.1", "42",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         std::int32_t result = 0;
         return k.Export<decltype(SendSignal)>("SendSignal")("7", 1, 2, "EURUSD", "1.1", 0, "0.1", "", "", "",
                                                            "2021.04.30", 1, &result) * (result == 42 ? 1 : 10);
       }},
      {"RecvSignal", false, "POST /admin/public/api/mt5/receiveSignal HTTP/1.1", "signal",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         char at[] = "2021.04.30 12:00";
         std::vector<char> reply(KESTRANE_REPLY_BUFFER_BYTES, 'x');
         std::int32_t status = 0;
         int ret = k.Export<decltype(RecvSignal)>("RecvSignal")("u", "7", 15, 60, at, reply.data(), &status);
         return ret * (std::string(reply.data(), 6) == "signal" ? 1 : 10);
       }},
      {"CheckPosition", false, "POST /admin/public/api/mt5/getLastRecord HTTP/1.1", "3",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         std::int32_t result = 0;
         return k.Export<decltype(CheckPosition)>("CheckPosition")("7", 5, "", &result) * (result == 3 ? 1 : 10);
       }},
      {"UpdateTS", false, "POST /admin/public/api/updateTS HTTP/1.1", "1",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         std::int32_t result = 0;
         return k.Export<decltype(UpdateTS)>("UpdateTS")("7", 5, "1.1", "1.2", &result) * (result == 1 ? 1 : 10);
       }},
      {"CheckLimits", false, "POST /admin/public/api/checkLimits HTTP/1.1", "1",
       [](const LoadedLibrary& k, const LoadedLibrary&) {
         std::int32_t result = 0;
         return k.Export<decltype(CheckLimits)>("CheckLimits")("7", "a=1", &result) * (result == 1 ? 1 : 10);
       }},
      {"CheckAccount", true, "POST /client/api_copytrade.php HTTP/1.1", "OK",
       [](const LoadedLibrary&, const LoadedLibrary& f) {
         std::vector<char> reply(FALLOWAY_REPLY_BUFFER_BYTES, '\0');
         int ret = f.Export<decltype(CheckAccount)>("CheckAccount")("a@b.c", "pw", "501", "src", 0, reply.data());
         return ret * (std::string(reply.data()) == "OK" ? 1 : 10);
       }},
      {"UpdateBalance", false, "POST /admin/public/api/mt5/updateAccount HTTP/1.1", "1",
       [](const LoadedLibrary&, const LoadedLibrary& f) {
         char outcome[8] = {};
         int ret = f.Export<decltype(UpdateBalance)>("UpdateBalance")("501", 1.5, "USD", 1, outcome);
         return ret * (std::string(outcome) == "success" ? 1 : 10);
       }},
      {"GetLastUpdate", false, "POST /admin/public/api/mt5/getLastUpdatedDate HTTP/1.1", "2021-04-30 12:00:59",
       [](const LoadedLibrary&, const LoadedLibrary& f) {
         char stamp[20] = {};
         int ret = f.Export<decltype(GetLastUpdate)>("GetLastUpdate")("501", stamp);
         return ret * (std::string(stamp) == "2021-04-30 12:00:59" ? 1 : 10);
       }},
      {"UpdateHistory", false, "POST /admin/public/api/mt5/updateAccount HTTP/1.1", "1",
       [](const LoadedLibrary&, const LoadedLibrary& f) {
         char outcome[8] = {};
         int ret = f.Export<decltype(UpdateHistory)>("UpdateHistory")("501", 1, "", 2, "EURUSD", 0, 1, 0.1, 1.1, 2.5,
                                                                      1.0, 1.2, outcome);
         return ret * (std::string(outcome) == "success" ? 1 : 10);
       }},
  };
}

class TlsExports : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    kestrane_ = new LoadedLibrary(KT_KESTRANE_TLS_LIBRARY);
    falloway_ = new LoadedLibrary(KT_FALLOWAY_TLS_LIBRARY);
  }
  static void TearDownTestSuite() {
    delete kestrane_;
    delete falloway_;
  }
  void SetUp() override { setenv("SSL_CERT_FILE", testsupport::TestCaFile().c_str(), 1); }
  void TearDown() override { unsetenv("SSL_CERT_FILE"); }

  // Each export once behind fronts with `certificate`: what each returned
  // (1: delivered as expected, 0: failure path, other: delivered wrongly)
  // and the request line that reached the plain server ("" for none).
  static void RunEveryExport(TestCertificate certificate, std::vector<int>& returned,
                             std::vector<std::string>& reached) {
    const std::vector<ExportCall> calls = EveryExport();
    for (const ExportCall& c : calls) {
      ScriptedServer plain({Step::Respond(HttpResponse(200, {}, c.reply))});
      TlsFront front(certificate, plain.Port(),
                     PortOf(c.accountService ? KT_TLS_ACCOUNT_SERVICE_HOST : KT_TLS_SIGNAL_SERVER_HOST));
      returned.push_back(c.call(*kestrane_, *falloway_));
      const std::vector<std::string> requests = plain.Requests();
      reached.push_back(requests.empty() ? "" : requests[0].substr(0, requests[0].find("\r\n")));
    }
  }

  static inline LoadedLibrary* kestrane_ = nullptr;
  static inline LoadedLibrary* falloway_ = nullptr;
};

TEST_F(TlsExports, EveryExportGetsItsReplyFromATrustedServer) {
  std::vector<int> returned;
  std::vector<std::string> reached;
  RunEveryExport(TestCertificate::Localhost, returned, reached);
  std::vector<std::string> expected;
  for (const ExportCall& c : EveryExport()) expected.push_back(c.requestLine);
  EXPECT_EQ(returned, std::vector<int>(expected.size(), 1));
  EXPECT_EQ(reached, expected);
}

TEST_F(TlsExports, RefusedCertificatesFailEveryExportAndNothingIsPosted) {
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
