// Body throughput and scaling: replies of 1 KiB to 16 MiB, read into memory
// by our transport (decoded to UTF-16) and by libcurl, interleaved.
//
//   transport_body_bench [--scale F] [--kind K] [--bytes N]
// F multiplies the round counts; --kind and --bytes keep only that case
// (for profiling).
#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "curl_client.h"
#include "ours_client.h"
#include "utf16_units.h"
#include "report.h"
#include "request_match.h"
#include "server/reply_catalog.h"
#include "server_process.h"
#include "stats.h"

namespace {

struct Size {
  std::size_t bytes;
  const char* label;
  int rounds;
};

const Size kSizes[] = {{1024, "1 KiB", 300}, {65536, "64 KiB", 150}, {1 << 20, "1 MiB", 40}, {16 << 20, "16 MiB", 12}};
const char* const kKinds[] = {"ascii", "ascii-utf8", "utf8"};

struct Medians {
  double oursWall, oursCpu, curlWall, curlCpu;
  long oursFaults, curlFaults;  // minor page faults of one more call each
};

long MinorFaults() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_minflt;
}

long FaultsOfOneCall(const bench::Case& one) {
  const long before = MinorFaults();
  one.call();
  return MinorFaults() - before;
}

struct Settings {
  double scale = 1.0;
  std::string kind;      // empty: every kind
  std::size_t bytes = 0;  // 0: every size
};

Settings ParseSettings(int argc, char** argv) {
  Settings settings;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--scale") == 0) settings.scale = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--kind") == 0) settings.kind = argv[i + 1];
    if (std::strcmp(argv[i], "--bytes") == 0) settings.bytes = std::strtoull(argv[i + 1], nullptr, 10);
  }
  return settings;
}

Medians Measure(const bench::CurlPoster& curl, const Size& size, const std::string& kind, double scale, int& failures) {
  const std::string url = bench::ServerUrl("/body/" + std::to_string(size.bytes) + "/" + kind);
  const std::size_t units = bench::Utf16Units(benchserver::MakeBody(size.bytes, kind));
  const std::string body = bench::FormBody();
  // Each call gets its own reply, as a caller's would: no capacity is reused.
  const std::vector<bench::Case> cases = {
      {"ours", [&] {
         WideString reply;
         return bench::OursFormPost(url, body, reply) && reply.size() == units;
       }},
      {"libcurl", [&] {
         std::string reply;
         return curl.Post(url, body, reply) && reply.size() == size.bytes;
       }},
  };
  const int rounds = std::max(3, static_cast<int>(size.rounds * scale));
  const auto times = bench::RunInterleaved(cases, rounds, 2);
  failures += times[0].failures + times[1].failures;
  return {bench::Percentile(times[0].wallUs, 50), bench::Percentile(times[0].cpuUs, 50),
          bench::Percentile(times[1].wallUs, 50), bench::Percentile(times[1].cpuUs, 50),
          FaultsOfOneCall(cases[0]), FaultsOfOneCall(cases[1])};
}

// Exponent of the time above the 1 KiB call, fitted over the larger sizes.
double MarginalExponent(const std::vector<double>& micros) {
  std::vector<double> x, y;
  for (std::size_t i = 1; i < micros.size(); ++i) {
    x.push_back(static_cast<double>(kSizes[i].bytes - kSizes[0].bytes));
    y.push_back(micros[i] - micros[0]);
  }
  return bench::PowerLawExponent(x, y);
}

double TwoPointExponent(const std::vector<double>& micros) {
  const std::size_t last = micros.size() - 1;
  return bench::PowerLawExponent({static_cast<double>(kSizes[last - 1].bytes), static_cast<double>(kSizes[last].bytes)},
                                 {micros[last - 1], micros[last]});
}

void PrintKind(const std::string& kind, const std::vector<Medians>& rows) {
  std::vector<double> ours, curl;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Medians& m = rows[i];
    const double mebibytes = static_cast<double>(kSizes[i].bytes) / (1 << 20);
    std::printf("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %ld | %ld |\n", kSizes[i].label, kind.c_str(),
                bench::Fixed(m.oursWall / 1000, 3).c_str(), bench::Fixed(m.oursCpu / 1000, 3).c_str(),
                bench::Fixed(m.curlWall / 1000, 3).c_str(), bench::Fixed(m.curlCpu / 1000, 3).c_str(),
                bench::Ratio(m.oursWall, m.curlWall).c_str(), bench::Ratio(m.oursCpu, m.curlCpu).c_str(),
                bench::Fixed(mebibytes / (m.oursWall / 1e6), 0).c_str(), m.oursFaults, m.curlFaults);
    ours.push_back(m.oursWall);
    curl.push_back(m.curlWall);
  }
  std::printf("| %s exponents | ours: %s above 1 KiB, %s from 1 to 16 MiB | libcurl: %s above 1 KiB, %s from 1 to 16 MiB | | | | | | | | |\n",
              kind.c_str(), bench::Fixed(MarginalExponent(ours), 2).c_str(), bench::Fixed(TwoPointExponent(ours), 2).c_str(),
              bench::Fixed(MarginalExponent(curl), 2).c_str(), bench::Fixed(TwoPointExponent(curl), 2).c_str());
}

// Only the case asked for, measured without the table around it.
int ProfileOne(const bench::CurlPoster& curl, const Settings& settings) {
  int failures = 0;
  const Size size{settings.bytes, "asked", 10};
  const Medians m = Measure(curl, size, settings.kind.empty() ? "ascii" : settings.kind, settings.scale, failures);
  std::printf("%zu bytes: ours %s ms, libcurl %s ms (median wall); page faults %ld and %ld; failed calls: %d\n",
              settings.bytes, bench::Fixed(m.oursWall / 1000, 3).c_str(), bench::Fixed(m.curlWall / 1000, 3).c_str(),
              m.oursFaults, m.curlFaults, failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const Settings settings = ParseSettings(argc, argv);
  std::printf("## Body throughput\n\nmachine: %s\n", bench::MachineLine().c_str());
  bench::ServerProcess server;
  if (!bench::InitCurl() || !server.Start(bench::kPort, bench::CaptureFile(), 3)) return 1;
  const std::string body = bench::FormBody();
  const std::string checkUrl = bench::ServerUrl("/admin/public/api/checkLimits");
  auto ours = [&] {
    WideString reply;
    return bench::OursFormPost(checkUrl, body, reply) && reply == WTEXT("1");
  };
  bench::MatchedRequests matched;
  const bool identical = bench::MatchRequests(ours, "/admin/public/api/checkLimits", matched);
  std::printf("\nrequest bytes as the server received them:\n%s", matched.report.c_str());
  if (!identical) return 1;
  const bench::CurlPoster curl(matched.headerLines);
  if (settings.bytes != 0) return ProfileOne(curl, settings);

  std::printf("\nmedian milliseconds per call (wall and CPU), interleaved:\n\n"
              "| body | kind | ours wall | ours CPU | libcurl wall | libcurl CPU | ours/curl wall | ours/curl CPU | ours MiB/s | ours faults | libcurl faults |\n"
              "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  int failures = 0;
  double worst16 = 0;
  for (const char* kind : kKinds) {
    std::vector<Medians> rows;
    for (const Size& size : kSizes) rows.push_back(Measure(curl, size, kind, settings.scale, failures));
    PrintKind(kind, rows);
    worst16 = std::max(worst16, rows.back().oursWall / rows.back().curlWall);
  }
  std::printf("\ngoal: at 16 MiB ours <= 1.2x libcurl (wall): worst kind %s, %s\n", bench::Fixed(worst16, 2).c_str(),
              bench::Verdict(worst16 <= 1.2).c_str());
  std::printf("failed calls: %d\nmachine after the run: %s\n", failures, bench::MachineLine().c_str());
  return failures == 0 ? 0 : 1;
}
