// $prepareupdate on a 200-column $cinst row of which 10 columns differ from the old row.
#include <benchmark/benchmark.h>

#include <string>

#include "benchhost.h"

namespace {

EXTfldval textValue(const std::string& s) { return hostrt::charValue(s); }

// A row (or a one-line list) of 200 columns c1..c200: texts, integers, numbers and dates in
// turn; with changed, every 20th column holds another value.
EXTfldval wideLine(bool isRow, bool changed) {
  EXTqlist l(isRow);
  const ffttype types[] = {fftCharacter, fftInteger, fftNumber, fftDate};
  for (int c = 1; c <= 200; ++c) {
    const std::u32string name = hostrt::toU32("c" + std::to_string(c));
    str255 s;
    s.set(name.data(), static_cast<qlong>(name.size()));
    l.addCol(types[c % 4], 0, 100, &s);
  }
  const qlong line = l.insertRow();
  for (qshort c = 1; c <= 200; ++c) {
    EXTfldval cell;
    l.getColValRef(line, c, cell, qtrue);
    const int v = c + (changed && c % 20 == 0 ? 1000 : 0);
    switch (types[c % 4]) {
      case fftCharacter:
        cell = textValue("value " + std::to_string(v));
        break;
      case fftInteger:
        cell.setLong(v);
        break;
      case fftNumber:
        cell.setNum(v + 0.5);
        break;
      default:
        cell.setDate(2000 + v % 20, 1 + v % 12, 1 + v % 28);
        break;
    }
  }
  l.setCurRow(line);
  EXTfldval value;
  value.setList(&l, qtrue);
  return value;
}

void BM_PrepareUpdate200Columns10Changed(benchmark::State& state) {
  zqbench::BenchHost bench;
  bench.host.context().cinst = wideLine(true, true);
  bench.host.context().setVar("old", wideLine(false, false));
  const qlong id = bench.host.methodId(kObjMain, "$prepareupdate");
  std::vector<EXTfldval> params{textValue(""), hostrt::charValue(""), textValue("old"),
                                textValue("c20`c40"), textValue("")};
  params[1].setLong(0);
  for (auto _ : state) {
    hostrt::CallOutcome r = bench.call(id, params);
    benchmark::DoNotOptimize(r.answer);
  }
  if (hostrt::toUtf8(params[0]).find("c200=@[$cinst.c200]") == std::string::npos)
    state.SkipWithError("unexpected statement text");
}
BENCHMARK(BM_PrepareUpdate200Columns10Changed)->Unit(benchmark::kMicrosecond);

}  // namespace
