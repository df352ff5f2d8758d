// $findPatterns with three patterns over 1 MB of text, against the same expressions run
// directly through Boost.Regex in the same program. bytes_per_second counts the text's
// characters (1 MB of ASCII: one a byte), not the bytes of its four-byte host form.
#include <benchmark/benchmark.h>

#include <boost/regex.hpp>
#include <locale>
#include <string>
#include <vector>

#include "benchhost.h"

namespace {

const qlong kFindPatternsId = 2127;

const wchar_t* const kPatterns[] = {
    L"([a-z0-9._-]+)@[a-z0-9-]+\\.[a-z]{2,4}",  // mail addresses, group: the user
    L"(\\d{4})-\\d{2}-\\d{2}",                  // ISO dates, group: the year
    L"\\b(qu\\w+)",                             // words starting with qu
};

std::wstring sampleText() {
  const wchar_t* const words[] = {L"the",    L"quick", L"brown", L"fox",   L"jumps",
                                  L"over",   L"lazy",  L"dog",   L"query", L"Quality",
                                  L"report", L"sent",  L"to",    L"on",    L"invoice",
                                  L"number", L"42",    L"and",   L"quota", L"of"};
  std::wstring text;
  text.reserve(1 << 20);
  for (unsigned i = 0; text.size() < (1u << 20) - 40; ++i) {
    if (i % 97 == 0) {
      text += L"mail" + std::to_wstring(i % 1000) + L"@example.com ";
    } else if (i % 89 == 0) {
      text += L"20" + std::to_wstring(10 + i % 20) + L"-0" + std::to_wstring(1 + i % 9) + L"-1" +
              std::to_wstring(i % 10) + L" ";
    } else {
      text += words[(i * 7 + i / 3) % 20];
      text += L' ';
    }
  }
  return text;
}

// The parameters of $findPatterns: a row with the three patterns, and the text.
std::vector<EXTfldval> findParams() {
  EXTqlist row(qtrue);
  row.insertRow();
  for (size_t i = 0; i < 3; ++i) {
    str255 name;
    const std::u32string n = U"p" + std::u32string(1, static_cast<char32_t>(U'1' + i));
    name.set(n.data(), static_cast<qlong>(n.size()));
    const qshort col = row.addCol(fftCharacter, 0, 10000000, &name);
    EXTfldval cell;
    row.getColValRef(1, col, cell, qtrue);
    const std::wstring p = kPatterns[i];
    cell.setChar(reinterpret_cast<const qchar*>(p.data()), static_cast<qlong>(p.size()));
  }
  const std::wstring text = sampleText();
  std::vector<EXTfldval> params(2);
  params[0].setList(&row, qfalse);
  params[1].setChar(reinterpret_cast<const qchar*>(text.data()), static_cast<qlong>(text.size()));
  return params;
}

void BM_FindPatterns(benchmark::State& state) {
  zqbench::BenchHost host;
  std::vector<EXTfldval> params = findParams();
  qlong rows = 0;
  for (auto _ : state) {
    auto r = host.call(kFindPatternsId, params);
    if (!r.errors.empty()) state.SkipWithError("method reported an error");
    EXTqlist result;
    r.ret.getList(&result, qfalse);
    rows = result.rowCnt();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (1 << 20));
  state.counters["matches"] = static_cast<double>(rows);
}

// The host's share of BM_FindPatterns: the return value is copied by ECOaddParam and again
// into the caller's outcome, and all three lists are freed afterwards.
void BM_ResultListCopies(benchmark::State& state) {
  zqbench::BenchHost host;
  std::vector<EXTfldval> params = findParams();
  const EXTfldval result = host.call(kFindPatternsId, params).ret;
  for (auto _ : state) {
    EXTfldval returned(result);
    EXTfldval outcome(returned);
    benchmark::DoNotOptimize(outcome.data());
  }
}

// The same work without the host: compile the three expressions, enumerate every match and
// take the text of its first group.
void BM_BoostRegexDirect(benchmark::State& state) {
  const std::wstring text = sampleText();
  std::locale locale("C.UTF-8");
  size_t matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (const wchar_t* p : kPatterns) {
      boost::wregex expression;
      expression.imbue(locale);
      expression.assign(p, boost::regex_constants::perl | boost::regex_constants::icase);
      const wchar_t* first = text.data();
      const wchar_t* last = first + text.size();
      for (boost::regex_iterator<const wchar_t*> it(first, last, expression), end; it != end;
           ++it) {
        std::wstring group = (*it)[1].str();
        benchmark::DoNotOptimize(group);
        ++matches;
      }
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * (1 << 20));
  state.counters["matches"] = static_cast<double>(matches);
}

BENCHMARK(BM_FindPatterns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResultListCopies)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoostRegexDirect)->Unit(benchmark::kMillisecond);

}  // namespace
