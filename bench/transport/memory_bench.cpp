// Peak heap of one FormPost call by reply size: every byte the process has
// allocated at the worst moment of the call, above what it held before, and
// apart from it the zero-filled blocks (the allocator seam's, which carry
// the core's raw body, chunks and decode buffer). The reply text itself is
// part of the call's result and is counted.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "counting_allocator.h"
#include "ours_client.h"
#include "utf16_units.h"
#include "platform/memory.h"
#include "report.h"
#include "server/reply_catalog.h"
#include "server_process.h"
#include "stats.h"

namespace {

struct Size {
  std::size_t bytes;
  const char* label;
};

const Size kSizes[] = {{1024, "1 KiB"}, {65536, "64 KiB"}, {1 << 20, "1 MiB"}, {16 << 20, "16 MiB"}};
const char* const kKinds[] = {"ascii", "utf8"};
const int kRepeats = 3;

std::size_t gSeamAllocations = 0;
bool CountSeamAllocation() {
  ++gSeamAllocations;
  return true;
}

struct Peak {
  std::size_t heap = 0, calloc = 0, seamCalls = 0, heapCalls = 0, replyUnits = 0;
  bool ok = true;
};

// The worst of a few calls: chunk sizes follow what the socket has ready.
Peak MeasureCall(const std::string& url) {
  Peak worst;
  const std::string body = bench::FormBody();
  for (int repeat = 0; repeat < kRepeats; ++repeat) {
    WideString reply;
    gSeamAllocations = 0;
    alloccount::ResetPeaks();
    const alloccount::Usage before = alloccount::Current();
    const bool ok = bench::OursFormPost(url, body, reply);
    const alloccount::Usage usage = alloccount::Current();
    worst.ok = worst.ok && ok;
    worst.heap = std::max(worst.heap, usage.peak - before.live);
    worst.calloc = std::max(worst.calloc, usage.callocPeak - before.callocLive);
    worst.heapCalls = std::max(worst.heapCalls, usage.calls);
    worst.seamCalls = std::max(worst.seamCalls, gSeamAllocations);
    worst.replyUnits = reply.size();
  }
  return worst;
}

std::string Mebibytes(std::size_t bytes) { return bench::Fixed(static_cast<double>(bytes) / (1 << 20), 3); }

}  // namespace

int main() {
  std::printf("## Memory per call\n\nmachine: %s\n", bench::MachineLine().c_str());
  bench::ServerProcess server;
  if (!server.Start(bench::kPort, "", 0)) return 1;
  memory::SetFailureGate(CountSeamAllocation);
  MeasureCall(bench::ServerUrl("/admin/public/api/checkLimits"));  // warm up lazy set-up

  std::printf("\nworst of %d calls, MiB; limit = 4 x reply as UTF-16 + 64 KiB:\n\n"
              "| body | kind | reply UTF-16 | peak heap | of which zero-filled blocks | limit | peak / UTF-16 | "
              "seam allocations | heap allocations | verdict |\n"
              "|---|---|---:|---:|---:|---:|---:|---:|---:|---|\n", kRepeats);
  bool allMet = true, allOk = true;
  for (const char* kind : kKinds) {
    for (const Size& size : kSizes) {
      const std::string path = "/body/" + std::to_string(size.bytes) + "/" + kind;
      const Peak peak = MeasureCall(bench::ServerUrl(path));
      const std::size_t utf16 = 2 * bench::Utf16Units(benchserver::MakeBody(size.bytes, kind));
      const bool ok = peak.ok && 2 * peak.replyUnits == utf16;
      const std::size_t limit = 4 * utf16 + 65536;
      const bool met = peak.heap <= limit;
      allMet = allMet && met;
      allOk = allOk && ok;
      std::printf("| %s | %s | %s | %s | %s | %s | %s | %zu | %zu | %s |\n", size.label, kind, Mebibytes(utf16).c_str(),
                  Mebibytes(peak.heap).c_str(), Mebibytes(peak.calloc).c_str(), Mebibytes(limit).c_str(),
                  bench::Ratio(static_cast<double>(peak.heap), static_cast<double>(utf16)).c_str(), peak.seamCalls,
                  peak.heapCalls, ok ? bench::Verdict(met).c_str() : "CALL FAILED");
    }
  }
  std::printf("\nresponse heads (minimal reply body), worst of %d calls:\n\n"
              "| head | kind | peak heap KiB | heap allocations |\n|---:|---|---:|---:|\n", kRepeats);
  for (const char* kind : {"plain", "cookies"}) {
    for (const std::size_t bytes : {std::size_t{16384}, std::size_t{65024}}) {
      const Peak peak = MeasureCall(bench::ServerUrl("/headers/" + std::to_string(bytes) + "/" + kind));
      allOk = allOk && peak.ok;
      std::printf("| %zu B | %s | %s | %zu |\n", bytes, kind, bench::Fixed(static_cast<double>(peak.heap) / 1024, 1).c_str(),
                  peak.heapCalls);
    }
  }
  memory::SetFailureGate(nullptr);
  std::printf("\ngoal (peak <= 4 x UTF-16 + 64 KiB): %s\n", bench::Verdict(allMet).c_str());
  return allOk ? 0 : 1;
}
