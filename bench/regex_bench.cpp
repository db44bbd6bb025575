// One validation as the pages do it (parse + match) with the pattern engine,
// against building a std::wregex and calling std::regex_match, and PCRE2
// compile + anchored match as the upper anchor; plus the engine's worst page
// case, a 499-character network name.
//
//   cmake --build <dir> --target sentrova_regex_bench && <dir>/bench/sentrova_regex_bench
#include <benchmark/benchmark.h>

#include <regex>
#include <string>
#include <vector>

#include "regex/modRegEx.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace {

struct PageCase {
  std::string name;
  std::u16string pattern;
  std::u16string entry;
};

const std::u16string kAddress = u"([1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}\\.[1-2]?[0-9]{1,2}|^$)";

std::vector<PageCase> PageCases() {
  return {
      {"user_name/accepted", u"[A-Za-z0-9_]{0,12}", u"admin_01"},
      {"user_name/refused", u"[A-Za-z0-9_]{0,12}", u"ad min"},
      {"password/accepted", u"[A-Za-z0-9_]{0,8}", u"Pass_123"},
      {"password/refused", u"[A-Za-z0-9_]{0,8}", u"Pass_1234"},
      {"address/accepted", kAddress, u"192.168.0.1"},
      {"address/refused", kAddress, u"300.1.1.1"},
      {"network_name/accepted", u"[\\x00-\\xff]*", u"My home network"},
      {"network_name/refused", u"[\\x00-\\xff]*", u"caf\u0113"},
      {"wep_ascii/accepted", u"(^\\w{5}$|^$|^\\w{13}$)", u"abc12DEF_9xyz"},
      {"wep_ascii/refused", u"(^\\w{5}$|^$|^\\w{13}$)", u"abcdef"},
      {"wep_hex/accepted", u"(^[0-9a-fA-F]{10}$|^$|^[0-9a-fA-F]{26}$)", u"0123456789ABCDEFabcdef0123"},
      {"wep_hex/refused", u"(^[0-9a-fA-F]{10}$|^$|^[0-9a-fA-F]{26}$)", u"012345678g"},
      {"network_name/499_characters", u"[\\x00-\\xff]*", std::u16string(499, u'n')},
  };
}

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }

void EngineIsWholeMatch(benchmark::State& state, const PageCase& c) {
  for (auto _ : state) benchmark::DoNotOptimize(modRegEx::IsWholeMatch(c.entry, c.pattern));
}

void StdRegexMatch(benchmark::State& state, const PageCase& c) {
  const std::wstring pattern = Wide(c.pattern);
  const std::wstring entry = Wide(c.entry);
  for (auto _ : state) {
    const std::wregex regex(pattern);
    benchmark::DoNotOptimize(std::regex_match(entry, regex));
  }
}

void Pcre2CompileAndMatch(benchmark::State& state, const PageCase& c) {
  for (auto _ : state) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(c.pattern.c_str()), c.pattern.size(), 0, &error, &offset, nullptr);
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
    benchmark::DoNotOptimize(pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(c.entry.c_str()), c.entry.size(), 0,
                                         PCRE2_ANCHORED | PCRE2_ENDANCHORED, data, nullptr));
    pcre2_match_data_free(data);
    pcre2_code_free(code);
  }
}

}  // namespace

int main(int argc, char** argv) {
  static const std::vector<PageCase> cases = PageCases();
  for (const PageCase& c : cases) {
    benchmark::RegisterBenchmark(("modRegEx_IsWholeMatch/" + c.name).c_str(), EngineIsWholeMatch, c);
    benchmark::RegisterBenchmark(("std_wregex_build_match/" + c.name).c_str(), StdRegexMatch, c);
    benchmark::RegisterBenchmark(("pcre2_compile_match/" + c.name).c_str(), Pcre2CompileAndMatch, c);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
