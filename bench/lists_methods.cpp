// Speed of the list methods through the entry procedure: $stringtolist, $listtostring,
// $binarysearch and $getuniquewords. items_per_second counts fields split for $stringtolist,
// rows joined for $listtostring and searches for $binarysearch.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "benchhost.h"

namespace {

const qlong kStringToList = 2102, kListToString = 2103, kBinarySearch = 2104, kUniqueWords = 2118;

EXTfldval chars(const std::u32string& s) {
  EXTfldval v;
  v.setChar(s.data(), static_cast<qlong>(s.size()));
  return v;
}

EXTfldval text(const std::string& s) { return chars(std::u32string(s.begin(), s.end())); }

EXTfldval integer(qlong n) {
  EXTfldval v;
  v.setLong(n);
  return v;
}

EXTfldval emptyList(int columns) {
  EXTqlist l;
  for (int c = 1; c <= columns; ++c) {
    str15 name;
    const std::u32string n = U"c" + std::u32string(1, static_cast<char32_t>(U'0' + c));
    name.set(n.data(), static_cast<qlong>(n.size()));
    l.addCol(fftCharacter, 0, 10000000, &name);
  }
  EXTfldval v;
  v.setList(&l, qtrue);
  return v;
}

// 1,000,000 fields of 6 to 7 characters, comma-separated, cut into 4 columns.
void BM_StringToList_1M_Fields(benchmark::State& state) {
  zqbench::BenchHost host;
  std::string t;
  for (int i = 0; i < 1000000; ++i) t += "f" + std::to_string(100000 + i % 900000) + ",";
  const EXTfldval source = text(t);
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<EXTfldval> p{source, integer(4), emptyList(4), text(","), text("c1,c2,c3,c4")};
    state.ResumeTiming();
    auto r = host.call(kStringToList, p);
    if (r.ret.getLong() != 1) state.SkipWithError("failed");
    state.PauseTiming();
    p.clear();  // freeing the 250,000 rows is not the method's cost
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 1000000);
}
BENCHMARK(BM_StringToList_1M_Fields)->Unit(benchmark::kMillisecond);

// 250,000 rows of 4 columns joined into one text.
void BM_ListToString_250k_Rows(benchmark::State& state) {
  zqbench::BenchHost host;
  std::string t;
  for (int i = 0; i < 1000000; ++i) t += "f" + std::to_string(100000 + i % 900000) + ",";
  std::vector<EXTfldval> fill{text(t), integer(4), emptyList(4), text(","), text("c1,c2,c3,c4")};
  host.call(kStringToList, fill);
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<EXTfldval> p{text(""), integer(4), fill[2], text(","), text("c1,c2,c3,c4")};
    state.ResumeTiming();
    auto r = host.call(kListToString, p);
    if (r.ret.getLong() != 1) state.SkipWithError("failed");
    state.PauseTiming();
    p.clear();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 250000);
}
BENCHMARK(BM_ListToString_250k_Rows)->Unit(benchmark::kMillisecond);

// One search in a sorted list of 1,000,000 rows held by a variable of the caller.
void BM_BinarySearch_1M_Rows(benchmark::State& state) {
  zqbench::BenchHost host;
  EXTqlist l;
  str15 name;
  name.set(U"k", 1);
  l.addCol(fftCharacter, 0, 100, &name);
  for (int i = 0; i < 1000000; ++i) {
    const qlong row = l.insertRow();
    EXTfldval cell;
    l.getColValRef(row, 1, cell, qtrue);
    cell = text("k" + std::to_string(1000000 + i));
  }
  EXTfldval lv;
  lv.setList(&l, qtrue);
  host.host.context().setVar("big", lv);
  std::mt19937 rng(7);
  qlong found = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<EXTfldval> p{text("big"), text("k"),
                             text("k" + std::to_string(1000000 + rng() % 1000000)), integer(0)};
    state.ResumeTiming();
    found += host.call(kBinarySearch, p).ret.getLong();
  }
  if (found != static_cast<qlong>(state.iterations())) state.SkipWithError("not found");
}
BENCHMARK(BM_BinarySearch_1M_Rows)->Unit(benchmark::kMicrosecond);

// Normalises and collects the words of a text of state.range(0) MB. With state.range(1) = 0
// the words are drawn from 50,000 distinct words, a set already full at 1 MB; with 1 the
// vocabulary grows with the text (50,000 words per MB), so that the set of distinct words
// keeps growing too. bytes_per_second counts the text's bytes (all ASCII: one byte a character).
void BM_GetUniqueWords(benchmark::State& state) {
  zqbench::BenchHost host;
  const size_t bytes = static_cast<size_t>(state.range(0)) * 1000000;
  const int vocabularySize = state.range(1) ? 50000 * static_cast<int>(state.range(0)) : 50000;
  std::vector<std::string> vocabulary;
  for (int i = 0; i < vocabularySize; ++i) {
    std::string w;
    for (int n = i + 26 * 26; n > 0; n /= 26) w += static_cast<char>('a' + n % 26);
    vocabulary.push_back(w);
  }
  std::mt19937 rng(11);
  std::string t;
  const char* punctuation[] = {" ", " ", " ", ", ", ". ", "\n"};
  while (t.size() < bytes) {
    std::string w = vocabulary[rng() % vocabulary.size()];
    if (rng() % 5 == 0) w[0] = static_cast<char>(w[0] - 32);  // some capitals
    t += w;
    t += punctuation[rng() % 6];
  }
  const EXTfldval source = text(t);
  qlong words = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::vector<EXTfldval> p{source, text(";"), emptyList(1), text("c1")};
    state.ResumeTiming();
    host.call(kUniqueWords, p);
    state.PauseTiming();
    EXTqlist l;
    p[2].getList(&l, qfalse);
    words = l.rowCnt();
    p.clear();
    state.ResumeTiming();
  }
  state.counters["distinct"] = static_cast<double>(words);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}
BENCHMARK(BM_GetUniqueWords)
    ->ArgNames({"MB", "growing"})
    ->Args({1, 0})
    ->Args({10, 0})
    ->Args({1, 1})
    ->Args({10, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
