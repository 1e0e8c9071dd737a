// Header work at scale: responses whose head is 1 KiB to 64 KiB (filler
// lines, or all Set-Cookie lines), fetched by our transport and by libcurl,
// interleaved. Our header work is the time above the same call with the
// server's minimal head.
//
//   transport_header_bench [--seconds S] [--only PATH]
// S is the time budget per case (default 2); --only measures that one
// server path (for profiling).
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "curl_client.h"
#include "ours_client.h"
#include "report.h"
#include "request_match.h"
#include "server/reply_catalog.h"
#include "server_process.h"
#include "stats.h"

namespace {

// The Linux layer refuses heads over 64 KiB; the largest stays just below.
const std::size_t kHeadBytes[] = {1024, 4096, 16384, 65024};
const char* const kKinds[] = {"plain", "cookies"};

struct Medians {
  double oursWall, oursCpu, curlWall, curlCpu;
  double oursMinimalCpu;  // the minimal head, in the same interleaved run
};

const char kMinimalPath[] = "/admin/public/api/checkLimits";

struct Settings {
  double seconds = 2.0;
  std::string only;
};

Settings ParseSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) settings.seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--only") == 0) settings.only = argv[i + 1];
  }
  return settings;
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

bool OursCall(const std::string& url, const std::string& body) {
  WideString reply;
  return bench::OursFormPost(url, body, reply) && reply == WTEXT("1");
}

Medians Measure(const bench::CurlPoster& curl, const std::string& path, double seconds, int& failures) {
  const std::string url = bench::ServerUrl(path);
  const std::string minimalUrl = bench::ServerUrl(kMinimalPath);
  const std::string body = bench::FormBody();
  // Each call gets its own reply, as a caller's would: no capacity is reused.
  const std::vector<bench::Case> cases = {
      {"ours", [&] { return OursCall(url, body); }},
      {"libcurl", [&] {
         std::string reply;
         return curl.Post(url, body, reply) && reply == "1";
       }},
      {"ours, minimal head", [&] { return OursCall(minimalUrl, body); }},
  };
  // One probe call sizes the round count to the time budget.
  const double start = CpuSeconds();
  cases[0].call();
  const double probe = std::max(CpuSeconds() - start, 1e-5);
  const int rounds = static_cast<int>(std::clamp(seconds / (3 * probe), 5.0, 1000.0));
  const auto times = bench::RunInterleaved(cases, rounds, 3);
  failures += times[0].failures + times[1].failures + times[2].failures;
  return {bench::Percentile(times[0].wallUs, 50), bench::Percentile(times[0].cpuUs, 50),
          bench::Percentile(times[1].wallUs, 50), bench::Percentile(times[1].cpuUs, 50),
          bench::Percentile(times[2].cpuUs, 50)};
}

void PrintRow(const std::string& head, const std::string& kind, const Medians& m, double kib) {
  const double work = m.oursCpu - m.oursMinimalCpu;
  std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s |\n", head.c_str(), kind.c_str(),
              bench::Fixed(m.oursWall, 1).c_str(), bench::Fixed(m.oursCpu, 1).c_str(), bench::Fixed(m.curlWall, 1).c_str(),
              bench::Ratio(m.oursWall, m.curlWall).c_str(),
              bench::Fixed(m.curlCpu, 1).c_str(), bench::Fixed(work, 1).c_str(),
              kib > 0 ? bench::Fixed(work / kib, 2).c_str() : "");
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = ParseSettings(argc, argv);
  const double seconds = settings.seconds;
  std::printf("## Header work\n\nmachine: %s\n", bench::MachineLine().c_str());
  bench::ServerProcess server;
  if (!bench::InitCurl() || !server.Start(bench::kPort, bench::CaptureFile(), 3)) return 1;
  const std::string body = bench::FormBody();
  const std::string minimalUrl = bench::ServerUrl(kMinimalPath);
  bench::MatchedRequests matched;
  const bool identical = bench::MatchRequests([&] { return OursCall(minimalUrl, body); }, kMinimalPath, matched);
  std::printf("\nrequest bytes as the server received them:\n%s", matched.report.c_str());
  if (!identical) return 1;
  const bench::CurlPoster curl(matched.headerLines);

  int failures = 0;
  if (!settings.only.empty()) {
    const Medians m = Measure(curl, settings.only, seconds, failures);
    std::printf("%s: ours %s us, libcurl %s us (median CPU); failed calls: %d\n", settings.only.c_str(),
                bench::Fixed(m.oursCpu, 1).c_str(), bench::Fixed(m.curlCpu, 1).c_str(), failures);
    return failures == 0 ? 0 : 1;
  }
  std::printf("\nmedian microseconds per call, interleaved; our header work = our CPU above the\n"
              "minimal head, measured in the same rounds:\n\n"
              "| head | kind | ours wall | ours CPU | libcurl wall | ours/libcurl wall | libcurl CPU | our header work | per KiB |\n"
              "|---:|---|---:|---:|---:|---:|---:|---:|---:|\n");
  benchserver::ReplyCatalog catalog;
  const std::string& minimal = catalog.ReplyFor(kMinimalPath);
  PrintRow(std::to_string(minimal.find("\r\n\r\n") + 4) + " B", "minimal", Measure(curl, kMinimalPath, seconds, failures), 0);
  for (const char* kind : kKinds) {
    for (std::size_t bytes : kHeadBytes) {
      const std::string path = "/headers/" + std::to_string(bytes) + "/" + kind;
      const Medians m = Measure(curl, path, seconds, failures);
      PrintRow(std::to_string(bytes) + " B", kind, m, static_cast<double>(bytes) / 1024);
    }
  }
  std::printf("\nfailed calls: %d\nmachine after the run: %s\n", failures, bench::MachineLine().c_str());
  return failures == 0 ? 0 : 1;
}
