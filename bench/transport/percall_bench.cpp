// Per-call cost: CheckLimits (libKestrane.so, loaded by file name) against
// libcurl with a fresh easy handle per request and the raw-socket floor,
// all posting the same bytes to the same local server, interleaved.
//
//   transport_percall_bench [--rounds N] [--warmup N] [--repeats R]
// R runs of N rounds each: the percentiles are over all of them, and the
// spread of the per-run medians shows how steady the machine was.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench_setup.h"
#include "curl_client.h"
#include "kestrane_library.h"
#include "raw_client.h"
#include "report.h"
#include "request_match.h"
#include "server_process.h"
#include "stats.h"

namespace {

struct Settings {
  int rounds = 3000;
  int warmup = 200;
  int repeats = 3;
};

Settings ParseSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--rounds") == 0) settings.rounds = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--warmup") == 0) settings.warmup = std::atoi(argv[i + 1]);
    if (std::strcmp(argv[i], "--repeats") == 0) settings.repeats = std::max(1, std::atoi(argv[i + 1]));
  }
  return settings;
}

bool EndsWithReplyOne(const std::string& response) {
  return response.size() >= 5 && response.compare(response.size() - 5, 5, "\r\n\r\n1") == 0;
}

// Appends one run's samples to the totals.
void Absorb(std::vector<bench::CaseTimes>& totals, const std::vector<bench::CaseTimes>& run) {
  if (totals.empty()) {
    totals = run;
    return;
  }
  for (std::size_t i = 0; i < run.size(); ++i) {
    totals[i].wallUs.insert(totals[i].wallUs.end(), run[i].wallUs.begin(), run[i].wallUs.end());
    totals[i].cpuUs.insert(totals[i].cpuUs.end(), run[i].cpuUs.begin(), run[i].cpuUs.end());
    totals[i].failures += run[i].failures;
  }
}

// One line per client: its median wall and CPU time in each run.
void PrintSpread(const std::vector<std::vector<bench::CaseTimes>>& runs) {
  std::printf("\nper-run medians, wall / CPU us (spread over %zu runs):\n\n", runs.size());
  for (std::size_t client = 0; client < runs.front().size(); ++client) {
    std::printf("- %s:", runs.front()[client].name.c_str());
    for (const auto& run : runs)
      std::printf(" %s/%s", bench::Fixed(bench::Percentile(run[client].wallUs, 50), 1).c_str(),
                  bench::Fixed(bench::Percentile(run[client].cpuUs, 50), 1).c_str());
    std::printf("\n");
  }
  std::printf("- ours/libcurl wall ratio per run:");
  for (const auto& run : runs)
    std::printf(" %s", bench::Ratio(bench::Percentile(run[0].wallUs, 50), bench::Percentile(run[1].wallUs, 50)).c_str());
  std::printf("\n- ours/floor wall ratio per run:");
  for (const auto& run : runs)
    std::printf(" %s", bench::Ratio(bench::Percentile(run[0].wallUs, 50), bench::Percentile(run[2].wallUs, 50)).c_str());
  std::printf("\n");
}

void PrintGoals(const bench::CaseTimes& ours, const bench::CaseTimes& curl, const bench::CaseTimes& floor) {
  using bench::Percentile;
  const double oursWall = Percentile(ours.wallUs, 50), oursCpu = Percentile(ours.cpuUs, 50);
  const double curlWall = Percentile(curl.wallUs, 50), curlCpu = Percentile(curl.cpuUs, 50);
  const double floorWall = Percentile(floor.wallUs, 50), floorCpu = Percentile(floor.cpuUs, 50);
  std::printf("\n| ratio of medians | wall | CPU | goal | verdict |\n|---|---:|---:|---|---|\n");
  std::printf("| ours / libcurl | %s | %s | wall <= 0.60 | %s |\n", bench::Ratio(oursWall, curlWall).c_str(),
              bench::Ratio(oursCpu, curlCpu).c_str(), bench::Verdict(oursWall <= 0.60 * curlWall).c_str());
  std::printf("| ours / raw floor | %s | %s | CPU <= 1.10 | %s |\n", bench::Ratio(oursWall, floorWall).c_str(),
              bench::Ratio(oursCpu, floorCpu).c_str(), bench::Verdict(oursCpu <= 1.10 * floorCpu).c_str());
  std::printf("| libcurl / raw floor | %s | %s | | |\n", bench::Ratio(curlWall, floorWall).c_str(),
              bench::Ratio(curlCpu, floorCpu).c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = ParseSettings(argc, argv);
  std::printf("## Per-call cost\n\nmachine: %s\n", bench::MachineLine().c_str());
  bench::KestraneLibrary kestrane;
  std::string error;
  if (!bench::InitCurl() || !kestrane.Load(KT_BENCH_KESTRANE_PATH, error)) {
    std::fprintf(stderr, "cannot set up: %s\n", error.c_str());
    return 1;
  }
  bench::ServerProcess server;
  if (!server.Start(bench::kPort, bench::CaptureFile(), 3)) return 1;

  auto ours = [&kestrane] {
    int result = 0;
    return kestrane.CheckLimits(bench::kSource, bench::kLimits, result) == 1 && result == 1;
  };
  bench::MatchedRequests matched;
  const bool identical = bench::MatchRequests(ours, "/admin/public/api/checkLimits", matched);
  std::printf("\nrequest bytes as the server received them:\n%s", matched.report.c_str());
  if (!identical) return 1;

  const bench::CurlPoster curl(matched.headerLines);
  const std::string url = bench::ServerUrl("/admin/public/api/checkLimits");
  const std::string body = bench::FormBody();
  const std::vector<bench::Case> cases = {
      {"ours (CheckLimits)", ours},
      {"libcurl (fresh handle)",
       [&] {
         std::string reply;
         return curl.Post(url, body, reply) && reply == "1";
       }},
      {"raw floor",
       [&] {
         std::string response;
         return bench::RawExchange(bench::kPort, matched.ours, response) && EndsWithReplyOne(response);
       }},
  };
  std::vector<std::vector<bench::CaseTimes>> runs;
  std::vector<bench::CaseTimes> times;
  for (int run = 0; run < settings.repeats; ++run) {
    runs.push_back(bench::RunInterleaved(cases, settings.rounds, settings.warmup));
    Absorb(times, runs.back());
  }

  std::printf("\nmicroseconds per call, %d runs of %d interleaved rounds (after %d warm-up rounds each):\n\n%s",
              settings.repeats, settings.rounds, settings.warmup, bench::PercentileHeader().c_str());
  for (const auto& caseTimes : times) std::printf("%s", bench::PercentileRow(caseTimes).c_str());
  PrintGoals(times[0], times[1], times[2]);
  PrintSpread(runs);
  std::printf("\nmachine after the run: %s\n", bench::MachineLine().c_str());
  for (const auto& caseTimes : times)
    if (caseTimes.failures != 0) return 1;
  return 0;
}
