// "$replace" and "$removechars" on a 16-million-character text through the entry procedure,
// against a plain copy of the same text. bench/replace_vs_python.py builds the same texts
// and times Python's str.replace on them. items_per_second counts characters of the source
// text.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "benchhost.h"
#include "replace.h"

namespace {

const qlong kLength = 16000000;
const qlong kMethodReplace = 2106;
const qlong kMethodRemoveChars = 2107;
const char kFiller[] =
    "lorem ipsum dolor sit amet consectetur adipiscing elit sed do eiusmod tempor incididunt ut "
    "labore";  // the first 94 characters are used

// Blocks of 100 characters: 94 of filler and then "{name}" (a hit) or "[name]" (no hit).
// wide: each block starts with U+1F600 instead of "l", so that every character needs 4 bytes
// in Python too.
std::u32string makeText(bool hits, bool wide) {
  std::u32string block(kFiller, kFiller + 94);
  if (wide) block[0] = 0x1F600;
  for (char c : std::string(hits ? "{name}" : "[name]")) block.push_back(static_cast<qchar>(c));
  std::u32string text;
  text.reserve(kLength);
  while (text.size() < static_cast<size_t>(kLength)) text += block;
  return text;
}

EXTfldval value(const std::u32string& s) {
  EXTfldval v;
  v.setChar(s.data(), static_cast<qlong>(s.size()));
  return v;
}

const std::u32string& text(bool hits, bool wide) {
  static const std::u32string texts[4] = {makeText(false, false), makeText(false, true),
                                          makeText(true, false), makeText(true, true)};
  return texts[(hits ? 2 : 0) + (wide ? 1 : 0)];
}

void BM_Replace(benchmark::State& state, bool hits, bool wide, const char32_t* replacement) {
  zqbench::BenchHost host;
  std::vector<EXTfldval> params{value(text(hits, wide)), value(U"{name}"), value(replacement),
                                value(U"")};
  qlong count = 0;
  for (auto _ : state) {
    auto r = host.call(kMethodReplace, params);
    count = r.ret.getLong();
  }
  state.counters["replacements"] = static_cast<double>(count);
  state.SetItemsProcessed(state.iterations() * kLength);
}

void BM_RemoveChars(benchmark::State& state, bool wide) {
  zqbench::BenchHost host;
  EXTfldval keep;
  keep.setBool(qboolFalse);
  std::vector<EXTfldval> params{value(text(true, wide)), value(U"aeiou"), keep, value(U"")};
  for (auto _ : state) host.call(kMethodRemoveChars, params);
  state.counters["kept"] = static_cast<double>(params[3].getCharLen());
  state.SetItemsProcessed(state.iterations() * kLength);
}

// The floor: a new handle with the text copied into it, as a method that returns a copy does.
void BM_PlainCopy(benchmark::State& state) {
  const std::u32string& s = text(true, false);
  for (auto _ : state) {
    qHandleInfo* h = HANglobalAlloc(kLength * 4, qfalse);
    std::memcpy(h->mData, s.data(), static_cast<size_t>(kLength) * 4);
    benchmark::DoNotOptimize(h->mData);
    HANglobalFree(h);
  }
  state.SetItemsProcessed(state.iterations() * kLength);
}

// The algorithms alone, writing into an output buffer that is already in memory: what the
// methods cost apart from the host's allocation of a fresh result (first touch of 64 MB).
void BM_ReplaceWarm(benchmark::State& state, bool hits, bool wide, const char32_t* replacement) {
  const std::u32string& s = text(hits, wide);
  const std::u32string search = U"{name}", repl = replacement;
  std::u32string out(s.size() * 2, U' ');
  qlong count = 0;
  for (auto _ : state) {
    qchar* w = &out[0];
    zqtext::replaceChars(
        s.data(), kLength, 0, search.data(), 6, repl.data(), static_cast<qlong>(repl.size()), 0,
        [&w](const qchar* c, qlong n) {
          std::memcpy(w, c, static_cast<size_t>(n) * 4);
          w += n;
          return qlong(0);
        },
        count);
    benchmark::DoNotOptimize(w);
  }
  state.counters["replacements"] = static_cast<double>(count);
  state.SetItemsProcessed(state.iterations() * kLength);
}

void BM_RemoveWarm(benchmark::State& state) {
  const std::u32string& s = text(true, false);
  const CharSet set(U"aeiou", 5);
  std::u32string out(s.size(), U' ');
  for (auto _ : state)
    benchmark::DoNotOptimize(zqtext::removeChars(s.data(), kLength, set, false, &out[0]));
  state.SetItemsProcessed(state.iterations() * kLength);
}

void BM_CopyWarm(benchmark::State& state) {
  const std::u32string& s = text(true, false);
  std::u32string out(s.size(), U' ');
  for (auto _ : state) {
    std::memcpy(&out[0], s.data(), static_cast<size_t>(kLength) * 4);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(state.iterations() * kLength);
}

}  // namespace

BENCHMARK_CAPTURE(BM_ReplaceWarm, hits_ascii, true, false, U"Smith")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceWarm, nohit_ascii, false, false, U"Smith")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceWarm, hits_wide, true, true, U"Smith")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceWarm, nohit_wide, false, true, U"Smith")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ReplaceWarm, hits_longer_ascii, true, false, U"Alexander")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RemoveWarm)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyWarm)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replace, hits_ascii, true, false, U"Smith")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replace, nohit_ascii, false, false, U"Smith")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replace, hits_wide, true, true, U"Smith")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replace, nohit_wide, false, true, U"Smith")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Replace, hits_longer_ascii, true, false, U"Alexander")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RemoveChars, ascii, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RemoveChars, wide, true)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainCopy)->Unit(benchmark::kMillisecond);
