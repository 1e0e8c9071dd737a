// The debug line of a call without a 2xx reply, and the codes and words the
// public headers give callers for reading it: the values are the ones the
// client reports, and every code the headers list reads as the line says it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "exports/debug_line.h"
#include "exports/failure_words.h"
#include "falloway.h"
#include "kestrane.h"
#include "transport/failure_codes.h"

namespace {

static_assert(KT_ERROR_REPLY_CUT_SHORT == transport::kErrorReplyCutShort);
static_assert(KT_ERROR_REPLY_TOO_LARGE == transport::kErrorReplyTooLarge);
static_assert(KT_ERROR_INTERIM_RESPONSE == transport::kErrorInterimResponse);
static_assert(KT_ERROR_INCOMPLETE_HEAD == transport::kErrorIncompleteHead);
static_assert(KT_ERROR_HEAD_TOO_LARGE == transport::kErrorHeadTooLarge);
static_assert(KT_ERROR_OUT_OF_MEMORY == transport::kErrorOutOfMemory);

constexpr exports::Service kSignal{"http", "203.0.113.5"};
const exports::ExportCall kCheckLimits{"Kestrane", "CheckLimits", kSignal, "/admin/public/api/checkLimits"};
const WideString kUrl = WTEXT("http://203.0.113.5/admin/public/api/checkLimits");

transport::PostReport Report(std::uint32_t error, int attempts, std::uint64_t ms, const WideString& status = {},
                             const WideString& proxy = {}) {
  transport::PostReport report;
  report.filled = true;
  report.lastError = error;
  report.attempts = attempts;
  report.elapsedMs = ms;
  report.status = status;
  report.proxy = proxy;
  return report;
}

struct LineCase {
  const char* name;
  transport::PostReport report;
  const char* line;
};

void PrintTo(const LineCase& c, std::ostream* out) { *out << c.name; }

std::string Narrow(const WideString& text) { return std::string(text.begin(), text.end()); }

class DebugLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(DebugLineTest, SaysWhatHappenedInOneLine) {
  EXPECT_EQ(Narrow(exports::DebugLine(kCheckLimits, kUrl, GetParam().report)), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DebugLineTest,
    ::testing::Values(
        LineCase{"Unreachable", Report(12029, 3, 412),
                 "Kestrane CheckLimits: no reply from http://203.0.113.5/admin/public/api/checkLimits: 3 attempts, "
                 "last 12029 (cannot connect), 0.4 s"},
        LineCase{"OneAttemptOwnCode", Report(KT_ERROR_REPLY_TOO_LARGE, 1, 2999),
                 "Kestrane CheckLimits: no reply from http://203.0.113.5/admin/public/api/checkLimits: 1 attempt, "
                 "last 536870914 (reply over 16 MiB), 2.9 s"},
        LineCase{"ThroughTheFallbackProxy", Report(12002, 3, 390000, {}, WTEXT("proxy.test:3128")),
                 "Kestrane CheckLimits: no reply from http://203.0.113.5/admin/public/api/checkLimits: 3 attempts, "
                 "proxy proxy.test:3128, last 12002 (timed out), 390.0 s"},
        LineCase{"StatusOutside2xx", Report(0, 1, 7, WTEXT("500")),
                 "Kestrane CheckLimits: status 500 from http://203.0.113.5/admin/public/api/checkLimits: 1 attempt, "
                 "0.0 s"},
        LineCase{"StatusAfterAFailedAttempt", Report(12030, 2, 1050, WTEXT("404")),
                 "Kestrane CheckLimits: status 404 from http://203.0.113.5/admin/public/api/checkLimits: 2 attempts, "
                 "last 12030 (connection broken), 1.0 s"},
        LineCase{"NotSent", Report(87, 0, 0),
                 "Kestrane CheckLimits: not sent to http://203.0.113.5/admin/public/api/checkLimits: "
                 "error 87 (invalid parameter)"},
        LineCase{"UnknownCode", Report(4242, 1, 100),
                 "Kestrane CheckLimits: no reply from http://203.0.113.5/admin/public/api/checkLimits: 1 attempt, "
                 "last 4242 (unknown), 0.1 s"}),
    [](const auto& named) { return std::string(named.param.name); });

// The code tables of both public headers, as "<code> <words>" lines: WinHTTP's
// " *   12029  cannot connect: ..." and the libraries' own "(536870913) reply
// cut short: ...".
std::vector<std::pair<unsigned long, std::string>> HeaderTable(const std::string& path) {
  std::ifstream file(path);
  std::stringstream text;
  text << file.rdbuf();
  const std::string header = text.str();
  static const std::regex entry(R"((?:^ \*   |/\* \()([0-9]+)\)? +([^:\n]+):)", std::regex::multiline);
  std::vector<std::pair<unsigned long, std::string>> table;
  for (auto it = std::sregex_iterator(header.begin(), header.end(), entry); it != std::sregex_iterator(); ++it) {
    table.emplace_back(std::stoul((*it)[1]), (*it)[2]);
  }
  return table;
}

TEST(PublicCodeTable, EveryListedCodeReadsAsTheHeadersSay) {
  for (const char* header : {"kestrane.h", "falloway.h"}) {
    const auto table = HeaderTable(std::string(KT_PUBLIC_HEADERS_DIR) + "/" + header);
    EXPECT_EQ(table.size(), 17u) << header;
    for (const auto& [code, words] : table) {
      EXPECT_EQ(exports::FailureWords(static_cast<std::uint32_t>(code)), words) << header << " " << code;
    }
  }
}

}  // namespace
