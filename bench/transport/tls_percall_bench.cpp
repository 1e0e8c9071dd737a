// Per-call cost over TLS: our transport (FormPost over the Linux layer,
// OpenSSL) against libcurl (OpenSSL), each call a fresh connection with a
// full handshake, both verifying the test certificate for 127.0.0.1 against
// a trust store of the test CA alone, through the same TLS front (its own
// process, relaying to the bench server). The same two clients over plain
// HTTP straight to the bench server show what TLS and the relay add.
//
//   transport_tls_percall_bench [--rounds N] [--warmup N]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_setup.h"
#include "curl_client.h"
#include "ours_client.h"
#include "report.h"
#include "request_match.h"
#include "sampler.h"
#include "server_process.h"
#include "stats.h"

namespace {

constexpr const char* kPath = "/admin/public/api/checkLimits";

struct Settings {
  int rounds = 1000;
  int warmup = 100;
};

Settings ParseSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) settings.rounds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--warmup") == 0) settings.warmup = std::atoi(argv[i + 1]);
  }
  return settings;
}

bool OursPost(const std::string& url) {
  WideString reply;
  return bench::OursFormPost(url, bench::FormBody(), reply) && reply == u"1";
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = ParseSettings(argc, argv);
  std::printf("## Per-call cost over TLS\n\nmachine: %s\n", bench::MachineLine().c_str());
  // Our layer finds its trust store through OpenSSL's default paths.
  setenv("SSL_CERT_FILE", KT_BENCH_TEST_CA, 1);
  bench::ServerProcess server;
  bench::ServerProcess front;
  if (!bench::InitCurl() || !server.Start(bench::kPort, bench::CaptureFile(), 3) ||
      !front.StartTlsFront(bench::kPort + 1, bench::kPort))
    return 1;

  const std::string plainUrl = bench::ServerUrl(kPath);
  const std::string tlsUrl = "https://127.0.0.1:" + std::to_string(bench::kPort + 1) + kPath;
  bench::MatchedRequests matched;
  if (!bench::MatchRequests([&] { return OursPost(plainUrl); }, kPath, matched)) {
    std::printf("%s", matched.report.c_str());
    return 1;
  }
  const bench::CurlPoster curl(matched.headerLines, KT_BENCH_TEST_CA);
  auto curlPost = [&](const std::string& url) {
    std::string reply;
    return curl.Post(url, bench::FormBody(), reply) && reply == "1";
  };
  const std::vector<bench::Case> cases = {
      {"ours over TLS", [&] { return OursPost(tlsUrl); }},
      {"libcurl over TLS", [&] { return curlPost(tlsUrl); }},
      {"ours, plain HTTP", [&] { return OursPost(plainUrl); }},
      {"libcurl, plain HTTP", [&] { return curlPost(plainUrl); }},
  };
  const std::vector<bench::CaseTimes> times = bench::RunInterleaved(cases, settings.rounds, settings.warmup);

  std::printf("\nmicroseconds per call, %d interleaved rounds (after %d warm-up rounds):\n\n%s", settings.rounds,
              settings.warmup, bench::PercentileHeader().c_str());
  for (const auto& caseTimes : times) std::printf("%s", bench::PercentileRow(caseTimes).c_str());
  using bench::Percentile;
  std::printf("\n| ratio of medians | wall | CPU |\n|---|---:|---:|\n");
  std::printf("| ours / libcurl over TLS | %s | %s |\n",
              bench::Ratio(Percentile(times[0].wallUs, 50), Percentile(times[1].wallUs, 50)).c_str(),
              bench::Ratio(Percentile(times[0].cpuUs, 50), Percentile(times[1].cpuUs, 50)).c_str());
  std::printf("| ours / libcurl, plain HTTP | %s | %s |\n",
              bench::Ratio(Percentile(times[2].wallUs, 50), Percentile(times[3].wallUs, 50)).c_str(),
              bench::Ratio(Percentile(times[2].cpuUs, 50), Percentile(times[3].cpuUs, 50)).c_str());
  std::printf("\nmachine after the run: %s\n", bench::MachineLine().c_str());
  for (const auto& caseTimes : times)
    if (caseTimes.failures != 0) return 1;
  return 0;
}
