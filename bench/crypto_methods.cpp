// $encrypt and $getsignature through the entry procedure, side by side with bare OpenSSL EVP
// passes over the same bytes.
//
//   AES-128, 64 MiB binary -> binary   vs  EVP AES-128-ECB into a block of the host's allocator
//                                          (fresh each pass, as the method's result is), and
//                                          into one pre-touched block reused by every pass
//   SHA-256, 64 MiB binary -> binary   vs  EVP SHA-256
//   AES-128, 16 Mi characters -> hex   vs  EVP AES-128-ECB over its UTF-8 bytes, and the two
//                                          conversions (UTF-32 -> UTF-8, bytes -> hex) alone
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "benchhost.h"
#include "ciphers.h"

namespace {

const size_t kBinaryBytes = size_t(64) << 20;
const size_t kTextChars = size_t(16) << 20;
const qbyte kKey[16] = {'b', 'e', 'n', 'c', 'h', ' ', 'k', 'e', 'y'};

zqbench::BenchHost& benchHost() {
  static zqbench::BenchHost* host = new zqbench::BenchHost();
  return *host;
}

const EXTfldval& binarySource() {
  static const EXTfldval* v = [] {
    std::vector<qbyte> bytes(kBinaryBytes);
    uint32_t x = 12345;
    for (qbyte& b : bytes) b = static_cast<qbyte>((x = x * 1103515245u + 12345u) >> 24);
    EXTfldval* value = new EXTfldval();
    value->setBinary(fftBinary, bytes.data(), static_cast<qlong>(bytes.size()));
    return value;
  }();
  return *v;
}

// Mostly ASCII text with a two-byte character every 64 characters.
const EXTfldval& textSource() {
  static const EXTfldval* v = [] {
    std::u32string chars(kTextChars, U'x');
    for (size_t i = 0; i < chars.size(); ++i) chars[i] = i % 64 == 63 ? U'é' : U'a' + i % 26;
    EXTfldval* value = new EXTfldval();
    value->setChar(chars.data(), static_cast<qlong>(chars.size()));
    return value;
  }();
  return *v;
}

size_t textUtf8Bytes() {
  const qHandleInfo* h = textSource().getHandle();
  return static_cast<size_t>(
      CHARutf8Length(reinterpret_cast<const qchar*>(h->mData), HANgetUsed(h) / 4));
}

std::vector<EXTfldval> methodParams(qlong code, const EXTfldval& source, bool binaryResult) {
  EXTfldval result;
  if (binaryResult) result.setBinary(fftBinary, nullptr, 0);
  EXTfldval key;
  key.setChar(std::u32string(kKey, kKey + 9).data(), 9);
  EXTfldval method;
  method.setLong(code);
  return {method, source, result, key};
}

void callMethod(benchmark::State& state, qlong id, std::vector<EXTfldval>& params) {
  hostrt::CallOutcome r = benchHost().call(id, params);
  if (!r.errors.empty()) state.SkipWithError(r.errors[0].detail.c_str());
}

const EVP_CIPHER* aes128() {
  static EVP_CIPHER* c = EVP_CIPHER_fetch(nullptr, "AES-128-ECB", nullptr);
  return c;
}

// A bare AES-128-ECB pass into out.
void bareAESInto(const qbyte* in, size_t len, qbyte* out) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_EncryptInit_ex2(ctx, aes128(), kKey, nullptr, nullptr);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int n = 0;
  EVP_EncryptUpdate(ctx, out, &n, in, static_cast<int>(len));
  EVP_CIPHER_CTX_free(ctx);
  benchmark::DoNotOptimize(out[0]);
}

// A bare pass into a new block of the host's allocator, which is what the method writes its
// result into: both sides pay the same allocation and first-touch costs.
void bareAES(const qbyte* in, size_t len) {
  qHandleInfo* out = HANglobalAlloc(static_cast<qlong>(len + 16), qfalse);
  bareAESInto(in, len, out->mData);
  HANglobalFree(out);
}

void setRates(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  // bytes_per_second and per_MiB count input bytes: the binary value's bytes, or the text's
  // UTF-8 bytes for the text benchmarks.
  state.counters["per_MiB"] =
      benchmark::Counter(double(bytes) / (1 << 20), benchmark::Counter::kIsIterationInvariantRate |
                                                        benchmark::Counter::kInvert);
}

// ---------------------------------------------------------------------------------------------

void BM_EncryptAES128_BinaryToBinary(benchmark::State& state) {
  std::vector<EXTfldval> params = methodParams(2, binarySource(), true);
  for (auto _ : state) callMethod(state, 2113, params);
  setRates(state, kBinaryBytes);
}

void BM_BareEVP_AES128_Binary(benchmark::State& state) {
  const qHandleInfo* h = binarySource().getHandle();
  for (auto _ : state) bareAES(h->mData, kBinaryBytes);
  setRates(state, kBinaryBytes);
}

// The cipher alone: one output block, touched before timing and reused by every pass.
void BM_BareEVP_AES128_Binary_WarmBuffer(benchmark::State& state) {
  const qHandleInfo* h = binarySource().getHandle();
  qHandleInfo* out = HANglobalAlloc(static_cast<qlong>(kBinaryBytes + 16), qtrue);
  for (auto _ : state) bareAESInto(h->mData, kBinaryBytes, out->mData);
  HANglobalFree(out);
  setRates(state, kBinaryBytes);
}

void BM_SignatureSHA256_BinaryToBinary(benchmark::State& state) {
  std::vector<EXTfldval> params = methodParams(2, binarySource(), true);
  params.pop_back();
  for (auto _ : state) callMethod(state, 2115, params);
  setRates(state, kBinaryBytes);
}

void BM_BareEVP_SHA256_Binary(benchmark::State& state) {
  const qHandleInfo* h = binarySource().getHandle();
  EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  for (auto _ : state) {
    unsigned char digest[32];
    unsigned int n = 0;
    EVP_Digest(h->mData, kBinaryBytes, digest, &n, md, nullptr);
    benchmark::DoNotOptimize(digest[0]);
  }
  EVP_MD_free(md);
  setRates(state, kBinaryBytes);
}

void BM_EncryptAES128_TextToHex(benchmark::State& state) {
  std::vector<EXTfldval> params = methodParams(2, textSource(), false);
  for (auto _ : state) callMethod(state, 2113, params);
  setRates(state, textUtf8Bytes());
  state.counters["text_chars"] = double(kTextChars);
}

// The cipher's share of the text benchmark: AES over the text's UTF-8 bytes.
void BM_BareEVP_AES128_TextBytes(benchmark::State& state) {
  const size_t len = textUtf8Bytes();
  std::vector<qbyte> utf8(len);
  const qHandleInfo* h = textSource().getHandle();
  CHARconvToUtf8(reinterpret_cast<const qchar*>(h->mData), HANgetUsed(h) / 4, utf8.data());
  for (auto _ : state) bareAES(utf8.data(), len);
  setRates(state, len);
}

// The two conversions alone, each writing into a new block of the host's allocator as the
// method does.
void BM_Part_TextToUtf8(benchmark::State& state) {
  const qHandleInfo* h = textSource().getHandle();
  for (auto _ : state) {
    qHandleInfo* out = HANglobalAlloc(static_cast<qlong>(kTextChars * 4 + 16), qfalse);
    benchmark::DoNotOptimize(
        CHARconvToUtf8(reinterpret_cast<const qchar*>(h->mData), HANgetUsed(h) / 4, out->mData));
    HANglobalFree(out);
  }
  setRates(state, textUtf8Bytes());
}

void BM_Part_BytesToHex(benchmark::State& state) {
  const size_t len = roundUpToBlock(textUtf8Bytes(), 16);
  const qbyte* in = binarySource().getHandle()->mData;
  for (auto _ : state) {
    qHandleInfo* out = HANglobalAlloc(static_cast<qlong>(len * 2 * sizeof(qchar)), qfalse);
    qchar* chars = reinterpret_cast<qchar*>(out->mData);
    convToHex(in, len, chars);
    benchmark::DoNotOptimize(chars[len]);
    HANglobalFree(out);
  }
  setRates(state, len);
}

BENCHMARK(BM_EncryptAES128_BinaryToBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareEVP_AES128_Binary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareEVP_AES128_Binary_WarmBuffer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SignatureSHA256_BinaryToBinary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareEVP_SHA256_Binary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncryptAES128_TextToHex)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareEVP_AES128_TextBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Part_TextToUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Part_BytesToHex)->Unit(benchmark::kMillisecond);

}  // namespace
