// Header extraction with the four header patterns, against std::regex doing
// the same four extractions, and how the cost grows with the header block.
#include <benchmark/benchmark.h>

#include <regex>
#include <string>
#include <vector>

#include "header_samples.h"
#include "pattern/pattern_search.h"

namespace {

WideString Widen(const std::string& ascii) { return WideString(ascii.begin(), ascii.end()); }

struct Extracted {
  std::size_t values = 0;  // kept so the work cannot be optimised away
};

// As the client searches: the first value of three patterns, every cookie.
Extracted ExtractWithEngine(const WideString& headers) {
  static const WideString kFirstValue[] = {Widen("charset={[A-Za-z0-9\\-_]+}"), Widen("Content-Length: {[0-9]+}"),
                                           Widen("Location: {[0-9]+}")};
  static const WideString kCookies = Widen("Set-Cookie:\\b*{.+?}\\n");
  Extracted out;
  std::vector<WideString> results;
  for (const WideString& pattern : kFirstValue) {
    pattern::FindPatternGroups(pattern.c_str(), headers.c_str(), results, 1);
    out.values += results.size();
  }
  pattern::FindPatternGroups(kCookies.c_str(), headers.c_str(), results);
  return Extracted{out.values + results.size()};
}

struct StdPatterns {
  std::regex charset{"charset=([A-Za-z0-9\\-_]+)", std::regex::icase};
  std::regex length{"Content-Length: ([0-9]+)", std::regex::icase};
  std::regex location{"Location: ([0-9]+)", std::regex::icase};
  std::regex cookie{"Set-Cookie:[ \\t]*(.+?)(\\r|\\r?\\n)", std::regex::icase};
};

Extracted ExtractWithStdRegex(const StdPatterns& patterns, const std::string& headers) {
  Extracted out;
  std::smatch match;
  for (const std::regex* single : {&patterns.charset, &patterns.length, &patterns.location}) {
    if (std::regex_search(headers, match, *single)) ++out.values;
  }
  std::vector<std::string> cookies;
  for (std::sregex_iterator it(headers.begin(), headers.end(), patterns.cookie), end; it != end; ++it) {
    cookies.push_back((*it)[1].str());
  }
  out.values += cookies.size();
  return out;
}

void BM_TypicalHeaders_Engine(benchmark::State& state) {
  const WideString headers = Widen(bench::TypicalHeaders());
  for (auto _ : state) benchmark::DoNotOptimize(ExtractWithEngine(headers).values);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * headers.size()));
}
BENCHMARK(BM_TypicalHeaders_Engine);

// The engine compiles its patterns on every call, so this is the like for like.
void BM_TypicalHeaders_StdRegexCompiledEachCall(benchmark::State& state) {
  const std::string headers = bench::TypicalHeaders();
  for (auto _ : state) {
    const StdPatterns patterns;
    benchmark::DoNotOptimize(ExtractWithStdRegex(patterns, headers).values);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * headers.size()));
}
BENCHMARK(BM_TypicalHeaders_StdRegexCompiledEachCall);

void BM_TypicalHeaders_StdRegexPrebuilt(benchmark::State& state) {
  const std::string headers = bench::TypicalHeaders();
  const StdPatterns patterns;
  for (auto _ : state) benchmark::DoNotOptimize(ExtractWithStdRegex(patterns, headers).values);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * headers.size()));
}
BENCHMARK(BM_TypicalHeaders_StdRegexPrebuilt);

void BM_GrowthWithHeaderSize(benchmark::State& state) {
  const WideString headers = Widen(bench::HeadersOfSize(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(ExtractWithEngine(headers).values);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GrowthWithHeaderSize)->RangeMultiplier(2)->Range(1 << 10, 64 << 10)->Complexity();

void BM_GrowthWithCookieLines(benchmark::State& state) {
  const WideString headers = Widen(bench::HeadersWithCookies(static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(ExtractWithEngine(headers).values);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_GrowthWithCookieLines)->RangeMultiplier(4)->Range(2, 2048)->Complexity();

}  // namespace
