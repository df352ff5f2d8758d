// $encodeEntities and $decodeEntities over 8 million characters of mixed text in which one
// character in ten has an entity (for decoding: the encoded form of that text). items_per_second
// counts the characters each method reads: plain characters for encoding, encoded characters
// (entities counted by their letters) for decoding; the decoding benchmarks also give the
// rate of characters delivered, decoded_chars_per_second.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "benchhost.h"
#include "zqhtmlentities.h"

namespace {

const qlong kEncodeId = 2125;
const qlong kDecodeId = 2126;
const size_t kChars = 8000000;

std::u32string mixedText() {
  const std::u32string plain = U"the quick brown fox jumps over a lazy dog 0123456789 ";
  const std::u32string marked = U"<>&\"'\u00e9\u00a0\u2014\u20ac\u03b1";
  std::u32string text;
  text.reserve(kChars);
  for (size_t i = 0; text.size() < kChars; ++i) {
    text += (i % 10 == 9) ? marked[(i / 10) % marked.size()] : plain[i % plain.size()];
  }
  return text;
}

EXTfldval charValue(const std::u32string& text) {
  EXTfldval v;
  v.setChar(text.data(), static_cast<qlong>(text.size()));
  return v;
}

void run(benchmark::State& state, qlong methodId, const std::u32string& input) {
  zqbench::BenchHost host;
  std::vector<EXTfldval> params{charValue(input)};
  for (auto _ : state) {
    auto r = host.call(methodId, params);
    if (!r.errors.empty()) state.SkipWithError("method reported an error");
    benchmark::DoNotOptimize(r.ret.getHandle());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(input.size()));
  state.counters["chars_read"] = static_cast<double>(input.size());
}

// The rate of decoded characters delivered, beside items_per_second's encoded characters.
void decodedRate(benchmark::State& state, size_t decodedChars) {
  state.counters["decoded_chars_per_second"] = benchmark::Counter(
      static_cast<double>(decodedChars), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_EncodeEntities(benchmark::State& state) { run(state, kEncodeId, mixedText()); }

void BM_DecodeEntities(benchmark::State& state) {
  zqbench::BenchHost host;
  std::vector<EXTfldval> params{charValue(mixedText())};
  const std::u32string encoded = hostrt::toU32(hostrt::toUtf8(host.call(kEncodeId, params).ret));
  run(state, kDecodeId, encoded);
  decodedRate(state, kChars);
}

// The algorithms alone, over plain buffers, without the host's copies of parameter and result.
void runBuffer(benchmark::State& state, void (*convert)(const qchar*, qlong, CharBuffer&),
               const std::u32string& input) {
  for (auto _ : state) {
    CharBuffer out;
    convert(input.data(), static_cast<qlong>(input.size()), out);
    if (out.failed()) state.SkipWithError("out of memory");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(input.size()));
}

void BM_EncodeBuffer(benchmark::State& state) { runBuffer(state, encodeEntities, mixedText()); }

void BM_DecodeBuffer(benchmark::State& state) {
  const std::u32string text = mixedText();
  CharBuffer encoded;
  encodeEntities(text.data(), static_cast<qlong>(text.size()), encoded);
  runBuffer(state, decodeEntities,
            std::u32string(encoded.data(), static_cast<size_t>(encoded.length())));
  decodedRate(state, text.size());
}

BENCHMARK(BM_EncodeEntities)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeEntities)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBuffer)->Unit(benchmark::kMillisecond);

}  // namespace
