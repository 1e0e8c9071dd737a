#include "process_health.h"

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace hardening {

std::size_t OpenDescriptorCount() {
  DIR* directory = opendir("/proc/self/fd");
  if (directory == nullptr) return 0;
  std::size_t count = 0;
  while (const dirent* entry = readdir(directory)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(directory);
  return count - 1;  // the descriptor of the listing itself
}

std::size_t ResidentKiB() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr) return 0;
  unsigned long size = 0;
  unsigned long resident = 0;
  const int read = std::fscanf(statm, "%lu %lu", &size, &resident);
  std::fclose(statm);
  if (read != 2) return 0;
  return resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) / 1024;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
std::optional<std::size_t> LiveHeapBytes() { return std::nullopt; }
#else
namespace {

// Blocks parked in the allocator's per-thread caches count as in use, so
// the figure means something only with those caches switched off.
bool ThreadCachesOff() {
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  return tunables != nullptr && std::strstr(tunables, "glibc.malloc.tcache_count=0") != nullptr;
}

}  // namespace

std::optional<std::size_t> LiveHeapBytes() {
  if (!ThreadCachesOff()) return std::nullopt;
  return mallinfo2().uordblks;
}
#endif

HealthSnapshot HealthSnapshot::Take() { return {OpenDescriptorCount(), LiveHeapBytes()}; }

}  // namespace hardening
