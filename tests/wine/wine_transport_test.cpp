// The user's fixed proxy from the registry is read when the direct
// connection is refused, and set on the request for the next attempt. Wine's
// WinHTTP reads the registry but ignores a proxy set on a request handle, so
// under Wine the call may still fail; either way it must end cleanly (the
// platform's strings released, no crash) and never report a reply it lacks.
#include <gtest/gtest.h>

#include <iostream>

#include "call_line.h"
#include "loopback_server.h"
#include "wine_caller.h"

namespace winetest {
namespace {

using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

const char kBody[] = "source=src-1&limits=max=5&lot=0.1";

class WineProxyFallback : public ::testing::Test {
 protected:
  void TearDown() override { ClearUserProxy(); }
};

TEST_F(WineProxyFallback, RefusedDirectConnectionConsultsTheUserProxy) {
  ScriptedServer origin({Step::Respond(HttpResponse(200, {}, "9"))});
  testsupport::ForwardingProxy proxy(origin.Port());
  ASSERT_TRUE(SetUserProxy("127.0.0.1:" + std::to_string(proxy.Port()), "<local>"));

  WineCaller caller;
  const std::string line =
      dllcaller::Line("CheckLimits", {dllcaller::TextArg("src-1"), dllcaller::TextArg("max=5&lot=0.1"), "r"});
  int viaProxy = 0;
  for (int call = 0; call < 2; ++call) {
    const std::string answer = caller.Ask(line);
    dllcaller::CallResult result;
    ASSERT_TRUE(dllcaller::ParseResultLine(answer, result)) << answer;
    EXPECT_LT(result.ms, 10000) << answer;
    EXPECT_EQ(result.results, std::vector<int>{result.ret == 1 ? 9 : -1}) << answer;
    viaProxy += result.ret;
  }
  ASSERT_EQ(proxy.RequestLines().size(), static_cast<std::size_t>(viaProxy));
  for (const std::string& requestLine : proxy.RequestLines()) {
    EXPECT_EQ(requestLine, "POST http://" KT_TEST_SIGNAL_SERVER_HOST "/admin/public/api/checkLimits HTTP/1.1");
  }
  ASSERT_EQ(origin.Requests().size(), static_cast<std::size_t>(viaProxy));
  for (const std::string& request : origin.Requests()) {
    EXPECT_EQ(request.substr(request.find("\r\n\r\n") + 4), kBody);
  }
  if (viaProxy == 0) std::cout << "note: the platform did not route the retry through the user proxy\n";
}

}  // namespace
}  // namespace winetest
