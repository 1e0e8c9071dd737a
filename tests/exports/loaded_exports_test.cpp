// The real libKestrane.so and libFalloway.so, loaded by file name as a
// trading program loads them: each exports exactly its own names. What the
// exports do on the wire is the wire table's (tests/wire).
#include <gtest/gtest.h>

#include "loaded_library.h"

namespace {

using exportstest::LoadedLibrary;

TEST(LoadedExports, EachLibraryExportsExactlyItsOwnNames) {
  const LoadedLibrary kestrane(KT_KESTRANE_LIBRARY);
  const LoadedLibrary falloway(KT_FALLOWAY_LIBRARY);
  const char* signalNames[] = {"SendSignal", "RecvSignal", "CheckPosition", "UpdateTS", "CheckLimits"};
  const char* accountNames[] = {"CheckAccount", "UpdateBalance", "GetLastUpdate", "UpdateHistory"};
  for (const char* name : signalNames) {
    EXPECT_TRUE(kestrane.Has(name)) << name;
    EXPECT_FALSE(falloway.Has(name)) << name;
  }
  for (const char* name : accountNames) {
    EXPECT_TRUE(falloway.Has(name)) << name;
    EXPECT_FALSE(kestrane.Has(name)) << name;
  }
}

}  // namespace
