// $findPatterns against the same expressions run directly by its peers in the same program
// (same allocator): Boost.Regex, which defines what a pattern means, and PCRE2 with JIT.
//
// Cases:
//   3 patterns over 1 MB (mail addresses, ISO dates, words starting with qu), also split into
//   the method's matching and its result rows;
//   5 literal patterns over the same 1 MB, where most of the cost is building the result rows;
//   10 patterns over a 1 KB text, one call per iteration (repeated short calls).
// The peers compile their expressions in every iteration, as a one-off call of the method
// would; the method keeps recently compiled patterns between calls. Every benchmark reports
// "matches" (rows or matches per iteration). Items per second count calls for the short case.
//
// Interleaved and repeated (compare CPU times when the machine is shared):
//   bench_markup_patterns --benchmark_repetitions=10 --benchmark_enable_random_interleaving=true
//       --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 32
#include <pcre2.h>

#include <boost/regex.hpp>
#include <locale>
#include <string>
#include <vector>

#include "benchhost.h"
#include "patternengine.h"

namespace {

const qlong kFindPatternsId = 2127;

typedef std::vector<std::u32string> Patterns;

const Patterns& threePatterns() {
  static const Patterns p = {
      U"([a-z0-9._-]+)@[a-z0-9-]+\\.[a-z]{2,4}",  // mail addresses, group: the user
      U"(\\d{4})-\\d{2}-\\d{2}",                  // ISO dates, group: the year
      U"\\b(qu\\w+)",                             // words starting with qu
  };
  return p;
}

const Patterns& literalPatterns() {
  static const Patterns p = {U"the", U"fox", U"report", U"number", U"of"};
  return p;
}

const Patterns& shortPatterns() {
  static const Patterns p = {U"([a-z0-9._-]+)@[a-z0-9-]+\\.[a-z]{2,4}",
                             U"(\\d{4})-\\d{2}-\\d{2}",
                             U"\\b(qu\\w+)",
                             U"invoice\\s+(\\d+)",
                             U"\\b(fox|dog)\\b",
                             U"^(\\w+)",
                             U"(lazy) dog",
                             U"[A-Z]\\w*",
                             U"report(s)?",
                             U"\\d+"};
  return p;
}

std::u32string sampleText(size_t length) {
  const char32_t* const words[] = {U"the",    U"quick", U"brown", U"fox",   U"jumps",
                                   U"over",   U"lazy",  U"dog",   U"query", U"Quality",
                                   U"report", U"sent",  U"to",    U"on",    U"invoice",
                                   U"number", U"42",    U"and",   U"quota", U"of"};
  std::u32string text;
  text.reserve(length);
  for (unsigned i = 0; text.size() < length - 40; ++i) {
    std::string piece;
    if (i % 97 == 0) {
      piece = "mail" + std::to_string(i % 1000) + "@example.com ";
    } else if (i % 89 == 0) {
      piece = "20" + std::to_string(10 + i % 20) + "-0" + std::to_string(1 + i % 9) + "-1" +
              std::to_string(i % 10) + " ";
    }
    if (!piece.empty()) {
      text.append(piece.begin(), piece.end());
    } else {
      text += words[(i * 7 + i / 3) % 20];
      text += U' ';
    }
  }
  return text;
}

// The parameters of $findPatterns: a row with the patterns, and the text.
std::vector<EXTfldval> findParams(const Patterns& patterns, const std::u32string& text) {
  EXTqlist row(qtrue);
  row.insertRow();
  for (size_t i = 0; i < patterns.size(); ++i) {
    str255 name;
    const std::u32string n = U"p" + std::u32string(1, static_cast<char32_t>(U'a' + i));
    name.set(n.data(), static_cast<qlong>(n.size()));
    const qshort col = row.addCol(fftCharacter, 0, 10000000, &name);
    EXTfldval cell;
    row.getColValRef(1, col, cell, qtrue);
    cell.setChar(patterns[i].data(), static_cast<qlong>(patterns[i].size()));
  }
  std::vector<EXTfldval> params(2);
  params[0].setList(&row, qfalse);
  params[1].setChar(text.data(), static_cast<qlong>(text.size()));
  return params;
}

void runMethod(benchmark::State& state, const Patterns& patterns, size_t length) {
  zqbench::BenchHost host;
  std::vector<EXTfldval> params = findParams(patterns, sampleText(length));
  qlong rows = 0;
  for (auto _ : state) {
    auto r = host.call(kFindPatternsId, params);
    if (!r.errors.empty()) state.SkipWithError("method reported an error");
    EXTqlist result;
    r.ret.getList(&result, qfalse);
    rows = result.rowCnt();
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["matches"] = static_cast<double>(rows);
}

// Boost.Regex as the method used it alone: wide expressions, Perl syntax, case-insensitive,
// Unicode locale; every match enumerated and the text of its first group taken.
void runBoost(benchmark::State& state, const Patterns& patterns, size_t length) {
  const std::u32string text32 = sampleText(length);
  const std::wstring text(text32.begin(), text32.end());
  std::locale locale("C.UTF-8");
  size_t matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (const std::u32string& p : patterns) {
      const std::wstring w(p.begin(), p.end());
      boost::wregex expression;
      expression.imbue(locale);
      expression.assign(w, boost::regex_constants::perl | boost::regex_constants::icase);
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
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["matches"] = static_cast<double>(matches);
}

// PCRE2 with JIT on the 32-bit code units, with the options that give Boost's meaning
// (caseless, Unicode classes, ^ and $ at line ends, . matching everything); every match
// enumerated, stepping past empty matches as the method does, and the group's text taken.
// With precompiled, the expressions are compiled once before the loop, as the method's cache
// keeps them.
pcre2_code* compilePcre2(const std::u32string& p) {
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(p.data()), p.size(),
                                   PCRE2_UTF | PCRE2_UCP | PCRE2_CASELESS | PCRE2_MULTILINE |
                                       PCRE2_ALT_CIRCUMFLEX | PCRE2_DOTALL,
                                   &error, &offset, nullptr);
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  return code;
}

void runPcre2(benchmark::State& state, const Patterns& patterns, size_t length,
              bool precompiled = false) {
  const std::u32string text = sampleText(length);
  const PCRE2_SPTR subject = reinterpret_cast<PCRE2_SPTR>(text.data());
  pcre2_match_data* data = pcre2_match_data_create(2, nullptr);
  std::vector<pcre2_code*> kept;
  if (precompiled)
    for (const std::u32string& p : patterns) kept.push_back(compilePcre2(p));
  size_t matches = 0;
  for (auto _ : state) {
    matches = 0;
    for (size_t i = 0; i < patterns.size(); ++i) {
      pcre2_code* code = precompiled ? kept[i] : compilePcre2(patterns[i]);
      PCRE2_SIZE start = 0;
      uint32_t options = 0;
      for (;;) {
        const int rc = pcre2_jit_match(code, subject, text.size(), start, options, data, nullptr);
        if (rc < 0) break;
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data);
        std::u32string group;
        if (rc != 1 && ov[2] != PCRE2_UNSET) group.assign(text, ov[2], ov[3] - ov[2]);
        benchmark::DoNotOptimize(group);
        ++matches;
        start = ov[1];
        options = ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART : 0;
      }
      if (!precompiled) pcre2_code_free(code);
    }
  }
  for (pcre2_code* code : kept) pcre2_code_free(code);
  pcre2_match_data_free(data);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
  state.counters["matches"] = static_cast<double>(matches);
}

const size_t kLong = 1 << 20, kShort = 1024;

void BM_FindPatterns(benchmark::State& s) { runMethod(s, threePatterns(), kLong); }
void BM_BoostRegexDirect(benchmark::State& s) { runBoost(s, threePatterns(), kLong); }
void BM_Pcre2JitDirect(benchmark::State& s) { runPcre2(s, threePatterns(), kLong); }

void BM_FindPatterns_Literals(benchmark::State& s) { runMethod(s, literalPatterns(), kLong); }
void BM_Pcre2JitDirect_Literals(benchmark::State& s) { runPcre2(s, literalPatterns(), kLong); }

void BM_FindPatterns_Short(benchmark::State& s) { runMethod(s, shortPatterns(), kShort); }
void BM_BoostRegexDirect_Short(benchmark::State& s) { runBoost(s, shortPatterns(), kShort); }
void BM_Pcre2JitDirect_Short(benchmark::State& s) { runPcre2(s, shortPatterns(), kShort); }
void BM_Pcre2JitDirect_Short_Precompiled(benchmark::State& s) {
  runPcre2(s, shortPatterns(), kShort, true);
}

// What copying the result list costs: two deep copies and their freeing, as the return path
// once made them. The method now hands its list over (returnValue), so BM_FindPatterns no
// longer pays this; the caller still frees the one list it gets.
void BM_ResultListCopies(benchmark::State& state) {
  zqbench::BenchHost host;
  std::vector<EXTfldval> params = findParams(threePatterns(), sampleText(kLong));
  const EXTfldval result = host.call(kFindPatternsId, params).ret;
  for (auto _ : state) {
    EXTfldval returned(result);
    EXTfldval outcome(returned);
    benchmark::DoNotOptimize(outcome.data());
  }
}

// The two halves of BM_FindPatterns, to see where its time goes:
// - the method's matching alone: the scan of the text for characters the engines read
//   differently, and the cached patterns run, collecting match offsets;
// - its result alone: the same 41,788 rows (order, name, group text, start, end) built through
//   the host's list interface as the method builds them, and freed.
void BM_FindPatterns_MatchingOnly(benchmark::State& state) {
  const std::u32string text = sampleText(kLong);
  const char32_t* first = text.data();
  std::vector<PatternMatch> found;
  size_t matches = 0;
  for (auto _ : state) {
    matches = 0;
    const unsigned kinds = textHazards(first, text.size());
    for (const std::u32string& p : threePatterns()) {
      found.clear();
      compilePattern(p.data(), p.size())->matches(first, first + text.size(), kinds, found);
      matches += found.size();
    }
  }
  state.counters["matches"] = static_cast<double>(matches);
}

void BM_FindPatterns_RowsOnly(benchmark::State& state) {
  zqbench::BenchHost host;  // the host's allocator settings
  const std::u32string text = sampleText(kLong);
  std::vector<std::vector<PatternMatch>> perPattern;
  for (const std::u32string& p : threePatterns()) {
    perPattern.emplace_back();
    compilePattern(p.data(), p.size())
        ->matches(text.data(), text.data() + text.size(), textHazards(text.data(), text.size()),
                  perPattern.back());
  }
  qlong rows = 0;
  for (auto _ : state) {
    EXTqlist list(qfalse);
    const char32_t* const names[] = {U"Order", U"Name", U"Content", U"Start", U"End"};
    const ffttype types[] = {fftInteger, fftCharacter, fftCharacter, fftInteger, fftInteger};
    for (int c = 0; c < 5; ++c) {
      str15 name;
      name.set(names[c], static_cast<qlong>(std::char_traits<char32_t>::length(names[c])));
      list.addCol(types[c], 0, 10000000, &name);
    }
    EXTfldval cell;
    for (size_t p = 0; p < perPattern.size(); ++p) {
      str15 name;
      const char32_t patternName[] = {U'p', static_cast<char32_t>(U'a' + p)};
      name.set(patternName, 2);
      for (const PatternMatch& m : perPattern[p]) {
        const qlong row = list.insertRow();
        list.getColValRef(row, 1, cell, qtrue);
        cell.setLong(static_cast<qlong>(p + 1));
        list.getColValRef(row, 2, cell, qtrue);
        cell.setChar(name);
        if (m.groupStart >= 0) {
          list.getColValRef(row, 3, cell, qtrue);
          cell.setChar(text.data() + m.groupStart, m.groupEnd - m.groupStart);
        }
        list.getColValRef(row, 4, cell, qtrue);
        cell.setLong(m.start);
        list.getColValRef(row, 5, cell, qtrue);
        cell.setLong(m.end);
      }
    }
    rows = list.rowCnt();
  }
  state.counters["matches"] = static_cast<double>(rows);
}

BENCHMARK(BM_FindPatterns)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindPatterns_MatchingOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindPatterns_RowsOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoostRegexDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pcre2JitDirect)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindPatterns_Literals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pcre2JitDirect_Literals)->Unit(benchmark::kMillisecond);
// 10,000 calls per measurement.
BENCHMARK(BM_FindPatterns_Short)->Unit(benchmark::kMicrosecond)->Iterations(10000);
BENCHMARK(BM_BoostRegexDirect_Short)->Unit(benchmark::kMicrosecond)->Iterations(10000);
BENCHMARK(BM_Pcre2JitDirect_Short)->Unit(benchmark::kMicrosecond)->Iterations(10000);
BENCHMARK(BM_Pcre2JitDirect_Short_Precompiled)->Unit(benchmark::kMicrosecond)->Iterations(10000);
BENCHMARK(BM_ResultListCopies)->Unit(benchmark::kMillisecond);

}  // namespace
