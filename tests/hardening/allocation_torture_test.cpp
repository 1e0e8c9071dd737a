// Every export over the real Linux layer, one call at a time, with its k-th
// allocation failing, for every k until a call gets through untouched. Each
// call must end in its failure result or its normal one, with no exception
// escaping, no descriptor left open, and (under the address sanitizer) no
// block leaked. Built a second time over TLS (KT_TORTURE_OVER_TLS): the https
// exports against the TLS front, OpenSSL's allocations failed in turn too.
#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "allocation_hook.h"
#include "falloway.h"
#include "kestrane.h"
#include "loopback_server.h"
#if KT_TORTURE_OVER_TLS
#include <cstdlib>
#include <memory>

#include "openssl_gate.h"
#include "tls_front.h"
#endif

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

using testalloc::AllocationHook;
using testsupport::HttpResponse;
using testsupport::ScriptedServer;
using testsupport::Step;

enum class Outcome { Normal, Failure, Inconsistent };

Outcome IntOutcome(std::int32_t ret, std::int32_t result) {
  if (ret == 1 && result == 7) return Outcome::Normal;
  if (ret == 0 && result == -1) return Outcome::Failure;
  return Outcome::Inconsistent;
}

Outcome WordOutcome(std::int32_t ret, const char* buffer) {
  if (ret == 1 && std::memcmp(buffer, "success", 8) == 0) return Outcome::Normal;
  if (ret == 0 && std::memcmp(buffer, "failed\0Z", 8) == 0) return Outcome::Failure;
  return Outcome::Inconsistent;
}

// The caller's reply buffer: static, so that the test itself allocates
// nothing while the count runs.
char gReply[KESTRANE_REPLY_BUFFER_BYTES];

char* FreshReplyBuffer() {
  std::memset(gReply, 'Z', sizeof gReply);
  return gReply;
}

struct TortureCase {
  const char* name;
  const char* host;  // which build-time host the export talks to
  const char* reply;
  std::function<Outcome()> run;
};

void PrintTo(const TortureCase& c, std::ostream* out) {
  *out << c.name << " (at " << c.host << ", reply \"" << c.reply << "\")";
}

std::vector<TortureCase> Cases() {
  const char* signal = KT_TORTURE_SIGNAL_HOST;
  return {
      {"SendSignal", signal, "7",
       [] {
         std::int32_t r = 0;
         const std::int32_t ret = SendSignal("7", 1, 2, "EURUSD", "1.1", 0, "0.1", "1", "1", "1", "2021", 1, &r);
         return IntOutcome(ret, r);
       }},
      {"RecvSignal", signal, "signals",
       [] {
         char* reply = FreshReplyBuffer();
         char at[] = "2021.04.30";
         std::int32_t status = 0;
         const std::int32_t ret = RecvSignal("u", "s", 15, 60, at, reply, &status);
         if (std::strcmp(at, "2021-04-30") != 0) return Outcome::Inconsistent;
         if (ret == 1 && status == 1 && std::memcmp(reply, "signals\0Z", 9) == 0) return Outcome::Normal;
         if (ret == 0 && status == -1 && reply[0] == 'Z') return Outcome::Failure;
         return Outcome::Inconsistent;
       }},
      {"CheckPosition", signal, "7",
       [] {
         std::int32_t r = 0;
         const std::int32_t ret = CheckPosition("7", 1001, "EURUSD", &r);
         return IntOutcome(ret, r);
       }},
      {"UpdateTS", signal, "7",
       [] {
         std::int32_t r = 0;
         const std::int32_t ret = UpdateTS("7", 1, "1.1", "1.2", &r);
         return IntOutcome(ret, r);
       }},
      {"CheckLimits", signal, "7",
       [] {
         std::int32_t r = 0;
         const std::int32_t ret = CheckLimits("7", "max=1", &r);
         return IntOutcome(ret, r);
       }},
      {"CheckAccount", KT_TORTURE_ACCOUNT_HOST, "welcome",
       [] {
         char* reply = FreshReplyBuffer();
         const std::int32_t ret = CheckAccount("e@x", "pw", "501", "src", 0, reply);
         if (ret == 1 && std::memcmp(reply, "welcomeZ", 8) == 0) return Outcome::Normal;
         if (ret == 0 && reply[0] == 'Z') return Outcome::Failure;
         return Outcome::Inconsistent;
       }},
      {"UpdateBalance", signal, "1",
       [] {
         char outcome[8] = {'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z'};
         return WordOutcome(UpdateBalance("501", 100.5, "USD", 2, outcome), outcome);
       }},
      {"GetLastUpdate", signal, "2021-04-30 12:00:59",
       [] {
         char stamp[20];
         std::memset(stamp, 'Z', sizeof stamp);
         const std::int32_t ret = GetLastUpdate("501", stamp);
         if (ret == 1 && std::memcmp(stamp, "2021-04-30 12:00:59Z", 20) == 0) return Outcome::Normal;
         if (ret == 0 && std::memcmp(stamp, "failed\0Z", 8) == 0) return Outcome::Failure;
         return Outcome::Inconsistent;
       }},
      {"UpdateHistory", signal, "1",
       [] {
         char outcome[8] = {'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z', 'Z'};
         return WordOutcome(UpdateHistory("501", 101, "", 202, "EURUSD", 0, 1, 0.1, 1.19512, 12.5, 1.2, 1.19, outcome),
                            outcome);
       }},
  };
}

std::uint16_t PortOf(const char* hostAndPort) {
  return static_cast<std::uint16_t>(std::stoul(std::strrchr(hostAndPort, ':') + 1));
}

std::size_t OpenDescriptors() {
  std::size_t count = 0;
  if (DIR* directory = opendir("/proc/self/fd")) {
    while (const dirent* entry = readdir(directory)) count += entry->d_name[0] != '.';
    closedir(directory);
  }
  return count;
}

// One call with allocation `failAt` failing (0: none); false when an
// exception came out of the export.
bool RunOnce(const TortureCase& c, std::size_t failAt, Outcome& outcome) {
  AllocationHook::FailOnly(failAt);
  bool escaped = false;
  try {
    outcome = c.run();
  } catch (...) {
    escaped = true;
  }
  AllocationHook::Open();
  return !escaped;
}

// The export's server on the port of its build-time host; over TLS the
// front takes that port and relays to the server behind it.
class ExportServer {
 public:
  explicit ExportServer(const TortureCase& c)
      : plain_({Step::Respond(HttpResponse(200, {}, c.reply))}, KT_TORTURE_OVER_TLS ? 0 : PortOf(c.host)) {
#if KT_TORTURE_OVER_TLS
    setenv("SSL_CERT_FILE", testsupport::TestCaFile().c_str(), 1);
    front_ = std::make_unique<testsupport::TlsFront>(testsupport::TestCertificate::Localhost, plain_.Port(),
                                                     PortOf(c.host));
#endif
  }

  // Waits until the server (and the front) are done with every connection.
  void Settle() {
    plain_.WaitForHandled(plain_.ConnectionCount(), 2000);
#if KT_TORTURE_OVER_TLS
    front_->WaitForHandled(front_->ConnectionCount(), 2000);
#endif
  }

 private:
  ScriptedServer plain_;
#if KT_TORTURE_OVER_TLS
  std::unique_ptr<testsupport::TlsFront> front_;
#endif
};

class AllocationTorture : public ::testing::TestWithParam<TortureCase> {};

TEST_P(AllocationTorture, EveryAllocationOfOneCallMayFail) {
  constexpr std::size_t kMostAllocations = KT_TORTURE_OVER_TLS ? 20000 : 5000;
#if KT_TORTURE_OVER_TLS
  ASSERT_TRUE(hardening::alloc::OpenSslGated());
#endif
  const TortureCase& c = GetParam();
  ExportServer server(c);
  Outcome outcome = Outcome::Inconsistent;
  ASSERT_TRUE(RunOnce(c, 0, outcome));  // also warms up what the process sets up once
  ASSERT_TRUE(RunOnce(c, 0, outcome));
  ASSERT_EQ(outcome, Outcome::Normal);
  const std::size_t allocations = AllocationHook::Count();
  const std::size_t sites = AllocationHook::DistinctSites();
  server.Settle();
  const std::size_t descriptors = OpenDescriptors();

  // Over TLS a call makes thousands of allocations, nearly all OpenSSL's
  // set-up of one connection; every stride-th of them fails in turn.
  const std::size_t stride = KT_TORTURE_OVER_TLS ? std::max<std::size_t>(1, allocations / 400) : 1;
  std::size_t failAt = 1;
  std::size_t failures = 0;
  std::size_t points = 0;
  for (; failAt <= kMostAllocations; failAt += stride, ++points) {
    SCOPED_TRACE("allocation " + std::to_string(failAt) + " failing");
    ASSERT_TRUE(RunOnce(c, failAt, outcome)) << "an exception escaped the export";
    if (!AllocationHook::Fired()) break;  // got through without reaching it
    EXPECT_NE(outcome, Outcome::Inconsistent);
    failures += outcome == Outcome::Failure;
    // The server's side of the connections lives in this process too.
    server.Settle();
    ASSERT_EQ(OpenDescriptors(), descriptors) << "a descriptor was left open";
  }
  EXPECT_LE(failAt, kMostAllocations);
  EXPECT_GT(points, 0u) << "the call allocated nothing";
#if defined(__SANITIZE_ADDRESS__)
  EXPECT_EQ(__lsan_do_recoverable_leak_check(), 0) << "blocks leaked (see the report above)";
#endif
  std::cout << "[ figures  ] " << c.name << ": " << allocations << " allocations per call from " << sites
            << " call sites; " << points << " failure points run (every " << stride << "), " << failures
            << " ended in the failure result\n";
  RecordProperty("allocations_per_call", static_cast<int>(allocations));
  RecordProperty("allocation_sites", static_cast<int>(sites));
  RecordProperty("failure_points", static_cast<int>(points));
}

// Over TLS one export of each library: the TLS work is the same for all.
std::vector<TortureCase> CasesToRun() {
  std::vector<TortureCase> cases = Cases();
  if (KT_TORTURE_OVER_TLS)
    cases.erase(std::remove_if(cases.begin(), cases.end(),
                               [](const TortureCase& c) {
                                 return std::string(c.name) != "CheckLimits" && std::string(c.name) != "CheckAccount";
                               }),
                cases.end());
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Exports, AllocationTorture, ::testing::ValuesIn(CasesToRun()),
                         [](const auto& named) { return std::string(named.param.name); });

}  // namespace
