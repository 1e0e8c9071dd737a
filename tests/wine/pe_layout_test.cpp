// What a trading program's loader meets in the Windows DLLs: a 64-bit image
// that exports exactly the plain export names, imports system DLLs only (so it
// loads on a machine without any mingw runtime), and carries a version resource.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "child_process.h"
#include "pe_inspect.h"

namespace winetest {
namespace {

struct DllExpectation {
  const char* name;
  const char* path;
  std::vector<std::string> exports;
};

std::ostream& operator<<(std::ostream& out, const DllExpectation& dll) { return out << dll.name; }

std::string Capture(std::vector<std::string> argv) {
  ProcessLaunch process;
  process.argv = std::move(argv);
  process.timeLimit = std::chrono::seconds(60);
  const ProcessResult result = RunProcess(process);
  EXPECT_EQ(result.exitCode, 0) << process.argv[0] << " failed on " << process.argv.back();
  return result.output;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

bool IsSystemDll(const std::string& dll) {
  const std::string name = Lower(dll);
  return name == "kernel32.dll" || name == "winhttp.dll" || name == "msvcrt.dll" ||
         name.rfind("api-ms-win-", 0) == 0;
}

class DllLayout : public ::testing::TestWithParam<DllExpectation> {
 protected:
  std::string Objdump() { return Capture({KT_OBJDUMP, "-p", GetParam().path}); }
};

TEST_P(DllLayout, IsA64BitImage) { EXPECT_EQ(FileFormat(Objdump()), "pei-x86-64"); }

TEST_P(DllLayout, ExportsExactlyThePlainNames) {
  const std::string text = Objdump();
  std::vector<std::string> names = ExportedNames(text);
  std::vector<std::string> expected = GetParam().exports;
  std::sort(names.begin(), names.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
  // No export reachable by ordinal only.
  EXPECT_EQ(ExportAddressCount(text), static_cast<int>(expected.size()));
}

TEST_P(DllLayout, ImportsSystemDllsOnly) {
  const std::vector<std::string> dlls = ImportedDlls(Objdump());
  ASSERT_FALSE(dlls.empty());
  for (const std::string& dll : dlls) EXPECT_TRUE(IsSystemDll(dll)) << "imports " << dll;
  EXPECT_NE(std::find_if(dlls.begin(), dlls.end(), [](const std::string& d) { return Lower(d) == "winhttp.dll"; }),
            dlls.end());
}

TEST_P(DllLayout, CarriesItsVersionResource) {
  const auto values = VersionStrings(Capture({KT_WINDRES, "-i", GetParam().path, "-O", "rc"}));
  const std::string name = GetParam().name;
  auto value = [&](const char* key) { return values.count(key) ? values.at(key) : "(missing " + std::string(key) + ")"; };
  EXPECT_EQ(value("ProductName"), name);
  EXPECT_EQ(value("OriginalFilename"), name + ".dll");
  EXPECT_EQ(value("FileVersion"), KT_PROJECT_VERSION ".0");
  EXPECT_EQ(value("ProductVersion"), KT_PROJECT_VERSION ".0");
  EXPECT_FALSE(value("FileDescription").empty());
}

const std::vector<std::string> kKestraneExports = {"SendSignal", "RecvSignal", "CheckPosition", "UpdateTS", "CheckLimits"};
const std::vector<std::string> kFallowayExports = {"CheckAccount", "UpdateBalance", "GetLastUpdate", "UpdateHistory"};
std::string CaseName(const ::testing::TestParamInfo<DllExpectation>& param) { return param.param.name; }

INSTANTIATE_TEST_SUITE_P(Deliverables, DllLayout,
                         ::testing::Values(DllExpectation{"Kestrane", KT_KESTRANE_DLL, kKestraneExports},
                                           DllExpectation{"Falloway", KT_FALLOWAY_DLL, kFallowayExports}),
                         CaseName);

#if defined(KT_KESTRANE_TLS_DLL)
// The https builds: TLS is the platform's, nothing of ours comes with it.
INSTANTIATE_TEST_SUITE_P(HttpsBuilds, DllLayout,
                         ::testing::Values(DllExpectation{"Kestrane", KT_KESTRANE_TLS_DLL, kKestraneExports},
                                           DllExpectation{"Falloway", KT_FALLOWAY_TLS_DLL, kFallowayExports}),
                         CaseName);
#endif

}  // namespace
}  // namespace winetest
