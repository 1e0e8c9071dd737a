#include "platform/linux/handle_table.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>
#include <utility>

namespace winhttp_linux {
namespace {

struct Table {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<HandleObject>> objects;
  std::uintptr_t next = 0;
};

Table& TheTable() {
  static Table* table = new Table;  // never destroyed: handles may be closed during exit
  return *table;
}

// Handles count up in steps of 16 from a high base, so they are never null,
// never small integers and never reused within a process.
constexpr std::uintptr_t kHandleBase = 0x4B10000;

}  // namespace

HINTERNET RegisterHandle(std::shared_ptr<HandleObject> object) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  std::uintptr_t key = kHandleBase + 16 * ++table.next;
  table.objects.emplace(key, std::move(object));
  return reinterpret_cast<HINTERNET>(key);
}

std::shared_ptr<HandleObject> FindHandle(HINTERNET handle) {
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return found->second;
}

bool UnregisterHandle(HINTERNET handle) {
  std::shared_ptr<HandleObject> object;  // released outside the lock: it may close a socket
  Table& table = TheTable();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == table.objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  object = std::move(found->second);
  table.objects.erase(found);
  return true;
}

}  // namespace winhttp_linux
