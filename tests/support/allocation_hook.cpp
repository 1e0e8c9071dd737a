#include "allocation_hook.h"

#include <execinfo.h>

#include <cstdint>

#include "platform/memory.h"

namespace testalloc {
namespace {

constexpr int kSiteFrames = 6;
constexpr std::size_t kSiteSlots = 8192;  // open addressing; far more than one call's sites

struct ThreadCounter {
  bool armed = false;
  bool inside = false;  // set while recording, so the recording itself is not counted
  std::size_t failAt = 0;
  bool failRest = false;  // also fail every allocation after failAt
  std::size_t counted = 0;
  bool fired = false;
};

thread_local ThreadCounter gCounter;
std::uint64_t gSites[kSiteSlots];
std::size_t gSiteCount = 0;

std::uint64_t HashOfCallStack() {
  void* frames[kSiteFrames + 2];
  const int depth = backtrace(frames, kSiteFrames + 2);
  std::uint64_t hash = 1469598103934665603ull;
  for (int i = 2; i < depth; ++i) hash = (hash ^ reinterpret_cast<std::uintptr_t>(frames[i])) * 1099511628211ull;
  return hash == 0 ? 1 : hash;
}

void RememberSite(std::uint64_t site) {
  for (std::size_t probe = 0; probe < kSiteSlots; ++probe) {
    std::uint64_t& slot = gSites[(site + probe) % kSiteSlots];
    if (slot == site) return;
    if (slot == 0) {
      slot = site;
      ++gSiteCount;
      return;
    }
  }
}

bool SeamGate() { return AllocationHook::Allow(); }

// backtrace loads its unwinder on first use; that must not happen mid-count.
const bool gWarmed = [] {
  void* frame[1];
  backtrace(frame, 1);
  memory::SetFailureGate(&SeamGate);
  return true;
}();

}  // namespace

void AllocationHook::FailOnly(std::size_t failAt) {
  for (std::uint64_t& slot : gSites) slot = 0;
  gSiteCount = 0;
  gCounter = ThreadCounter{};
  gCounter.failAt = failAt;
  gCounter.armed = gWarmed;
}

void AllocationHook::FailFrom(std::size_t firstFailing) {
  FailOnly(firstFailing);
  gCounter.failRest = true;
}

void AllocationHook::Open() { gCounter.armed = false; }
std::size_t AllocationHook::Count() { return gCounter.counted; }
bool AllocationHook::Fired() { return gCounter.fired; }
std::size_t AllocationHook::DistinctSites() { return gSiteCount; }

bool AllocationHook::Allow() {
  ThreadCounter& c = gCounter;
  if (!c.armed || c.inside) return true;
  c.inside = true;
  RememberSite(HashOfCallStack());
  c.inside = false;
  ++c.counted;
  const bool fails = c.failRest ? c.failAt != 0 && c.counted >= c.failAt : c.counted == c.failAt;
  if (!fails) return true;
  c.fired = true;
  return false;
}

}  // namespace testalloc
