// "$caps" on names and addresses through the entry procedure: 1 MB and 8 MB of text (in
// characters), to show that the time grows linearly with the length. items_per_second counts
// characters of the source text.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "benchhost.h"

namespace {

const qlong kMethodCaps = 2111;

std::u32string namesAndAddresses(qlong length) {
  static const char* const kLines[] = {
      "mary o'brien-smith\n",    "123 main st ne apt 4b\n",     "JOHN MCBRIDE III\n",
      "po box 12 springfield\n", "jan van dorp of the hague\n", "fred@example.com 10am\n",
      "de la cruz, maria\n",     "21st street and 3rd ave\n",   "angus macdonald\n",
      "visit www.example.org\n",
  };
  std::u32string text;
  text.reserve(static_cast<size_t>(length));
  for (size_t i = 0; text.size() < static_cast<size_t>(length); ++i)
    for (const char* c = kLines[i % 10]; *c; ++c) text.push_back(static_cast<qchar>(*c));
  text.resize(static_cast<size_t>(length));
  return text;
}

void BM_Caps(benchmark::State& state) {
  zqbench::BenchHost host;
  const qlong length = static_cast<qlong>(state.range(0));
  const std::u32string original = namesAndAddresses(length);
  const std::u32string exceptions = U"of;the;and;";
  std::vector<EXTfldval> params(2);
  params[1].setChar(exceptions.data(), static_cast<qlong>(exceptions.size()));
  for (auto _ : state) {
    state.PauseTiming();
    params[0].setChar(original.data(), length);
    state.ResumeTiming();
    host.call(kMethodCaps, params);
  }
  state.SetItemsProcessed(state.iterations() * length);
}

}  // namespace

BENCHMARK(BM_Caps)->Arg(1 << 20)->Arg(8 << 20)->Unit(benchmark::kMillisecond);
