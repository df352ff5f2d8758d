// Intelligent Mail barcode: USPS4CB alone, $barcodeUSPS through the entry procedure, and Zint
// encoding the same mail pieces (when built with Zint). Every rate counts mail pieces encoded.
// Zint's peer reuses one symbol, as a caller encoding many pieces would; a symbol created and
// deleted per piece is shown apart, as what a one-off caller pays.
#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "benchhost.h"
#include "usps4cb.h"

#ifdef ZQ_HAVE_ZINT
#include <zint.h>
#endif

namespace {

struct Piece {
  std::string id, service, mailer, serial, zip;
  std::string track() const { return id + service + mailer + serial; }
};

// 256 valid mail pieces: both mailer lengths, every ZIP code length.
const std::vector<Piece>& pieces() {
  static const std::vector<Piece> all = [] {
    std::mt19937 rng(42);
    auto digits = [&](int n) {
      std::string s;
      for (int i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
      return s;
    };
    std::vector<Piece> v;
    const int zipLengths[] = {0, 5, 9, 11};
    for (int i = 0; i < 256; ++i) {
      Piece p;
      p.id = digits(1) + static_cast<char>('0' + rng() % 5);
      p.service = digits(3);
      const bool longMailer = i % 2 == 1;
      p.mailer = longMailer ? "9" + digits(8) : std::to_string(rng() % 900000);
      p.mailer.insert(0, (longMailer ? 9 : 6) - p.mailer.size(), '0');
      p.serial = digits(longMailer ? 6 : 9);
      p.zip = digits(zipLengths[(i / 2) % 4]);
      v.push_back(p);
    }
    return v;
  }();
  return all;
}

void BM_USPS4CB(benchmark::State& state) {
  const auto& all = pieces();
  std::vector<std::string> tracks;
  for (const auto& p : all) tracks.push_back(p.track());
  char bars[66];
  size_t i = 0;
  for (auto _ : state) {
    const size_t k = i++ % all.size();
    const int code = USPS4CB(tracks[k].c_str(), all[k].zip.c_str(), bars);
    benchmark::DoNotOptimize(code);
    benchmark::DoNotOptimize(bars);
    if (code != 0) state.SkipWithError("encoding failed");
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_USPS4CB);

void BM_barcodeUSPS_entry(benchmark::State& state) {
  zqbench::BenchHost host;
  std::vector<std::vector<EXTfldval>> params;
  for (const auto& p : pieces()) {
    params.push_back({hostrt::charValue(p.id), hostrt::charValue(p.service),
                      hostrt::charValue(p.mailer), hostrt::charValue(p.serial),
                      hostrt::charValue(p.zip)});
  }
  size_t i = 0;
  for (auto _ : state) {
    auto r = host.call(2124, params[i++ % params.size()]);
    if (!r.errors.empty() || r.ret.getCharLen() != 65) state.SkipWithError("method failed");
    benchmark::DoNotOptimize(r);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_barcodeUSPS_entry);

#ifdef ZQ_HAVE_ZINT
std::vector<std::string> zintInputs() {
  std::vector<std::string> v;
  for (const auto& p : pieces()) v.push_back(p.zip.empty() ? p.track() : p.track() + "-" + p.zip);
  return v;
}

// Zint's bars as letters: row 0 holds the ascenders, row 2 the descenders, a bar every second
// module.
std::string zintLetters(zint_symbol* s) {
  auto set = [s](int row, int col) { return (s->encoded_data[row][col >> 3] >> (col & 7)) & 1; };
  std::string out;
  for (int bar = 0; bar < 65; ++bar) {
    const bool up = set(0, bar * 2), down = set(2, bar * 2);
    out += up ? (down ? 'F' : 'A') : (down ? 'D' : 'T');
  }
  return out;
}

// Both encoders agree on every input, through a reused symbol as the peer encodes, or the
// comparison means nothing.
bool sameBars() {
  const auto inputs = zintInputs();
  const auto& all = pieces();
  zint_symbol* s = ZBarcode_Create();
  bool same = true;
  for (size_t k = 0; k < all.size() && same; ++k) {
    ZBarcode_Clear(s);
    s->symbology = BARCODE_USPS_IMAIL;
    const int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(inputs[k].data()),
                                   static_cast<int>(inputs[k].size()));
    const std::string theirs = rc < 5 ? zintLetters(s) : std::string();
    char bars[66] = {0};
    USPS4CB(all[k].track().c_str(), all[k].zip.c_str(), bars);
    same = theirs == std::string(bars, 65);
  }
  ZBarcode_Delete(s);
  return same;
}

// A symbol created, encoded and deleted for every piece: what a one-off caller pays.
void BM_Zint_symbolPerPiece(benchmark::State& state) {
  const auto inputs = zintInputs();
  size_t i = 0;
  for (auto _ : state) {
    const std::string& in = inputs[i++ % inputs.size()];
    zint_symbol* s = ZBarcode_Create();
    s->symbology = BARCODE_USPS_IMAIL;
    const int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(in.data()),
                                   static_cast<int>(in.size()));
    benchmark::DoNotOptimize(rc);
    ZBarcode_Delete(s);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Zint_symbolPerPiece);

// The peer: one symbol, cleared and reused for every piece.
void BM_Zint_reusedSymbol(benchmark::State& state) {
  if (!sameBars()) state.SkipWithError("Zint's bars differ from USPS4CB's");
  const auto inputs = zintInputs();
  zint_symbol* s = ZBarcode_Create();
  size_t i = 0;
  for (auto _ : state) {
    const std::string& in = inputs[i++ % inputs.size()];
    ZBarcode_Clear(s);
    s->symbology = BARCODE_USPS_IMAIL;
    const int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(in.data()),
                                   static_cast<int>(in.size()));
    benchmark::DoNotOptimize(rc);
  }
  ZBarcode_Delete(s);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Zint_reusedSymbol);
#endif

}  // namespace
