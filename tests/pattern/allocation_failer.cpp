#include "pattern_test_support.h"

#include "platform/memory.h"

namespace pattern_test {
namespace {

int gFailAt = 0;
int gSeen = 0;

bool Gate() { return ++gSeen < gFailAt; }

}  // namespace

AllocationFailer::AllocationFailer(int failAt) {
  gFailAt = failAt;
  gSeen = 0;
  memory::SetFailureGate(&Gate);
}

AllocationFailer::~AllocationFailer() { memory::SetFailureGate(nullptr); }

int AllocationFailer::seen() const { return gSeen; }

}  // namespace pattern_test
