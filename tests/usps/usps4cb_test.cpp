// The Intelligent Mail encoder: published results, input checks, the 13-byte arithmetic, the
// character tables, and a decoder that checks random encodings bit for bit.
#include "usps4cb.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// Unsigned 128-bit arithmetic for the reference computations below, modulo 2^128: only the
// operations they use. (The 32-bit build's compiler has no __int128.)
struct u128 {
  uint64_t hi = 0, lo = 0;
  u128() = default;
  u128(uint64_t v) : lo(v) {}  // NOLINT: converts like a built-in integer
  explicit operator uint32_t() const { return static_cast<uint32_t>(lo); }
  friend u128 operator+(u128 a, u128 b) {
    u128 r(a.lo + b.lo);
    r.hi = a.hi + b.hi + (r.lo < a.lo ? 1 : 0);
    return r;
  }
  friend u128 operator-(u128 a, u128 b) {
    u128 r(a.lo - b.lo);
    r.hi = a.hi - b.hi - (a.lo < b.lo ? 1 : 0);
    return r;
  }
  friend u128 operator*(u128 a, uint32_t k) {
    const uint64_t low = (a.lo & 0xFFFFFFFFu) * k, high = (a.lo >> 32) * k + (low >> 32);
    u128 r((high << 32) | (low & 0xFFFFFFFFu));
    r.hi = a.hi * k + (high >> 32);
    return r;
  }
  friend u128 operator<<(u128 a, int n) {
    if (n == 0) return a;
    u128 r;
    r.hi = n >= 64 ? a.lo << (n - 64) : (a.hi << n) | (a.lo >> (64 - n));
    r.lo = n >= 64 ? 0 : a.lo << n;
    return r;
  }
  friend u128 operator>>(u128 a, int n) {
    if (n == 0) return a;
    u128 r(n >= 64 ? a.hi >> (n - 64) : (a.lo >> n) | (a.hi << (64 - n)));
    r.hi = n >= 64 ? 0 : a.hi >> n;
    return r;
  }
  friend u128 operator|(u128 a, u128 b) {
    a.hi |= b.hi;
    a.lo |= b.lo;
    return a;
  }
  friend u128 operator&(u128 a, u128 b) {
    a.hi &= b.hi;
    a.lo &= b.lo;
    return a;
  }
  friend bool operator==(u128 a, u128 b) { return a.hi == b.hi && a.lo == b.lo; }
  u128& operator+=(u128 b) { return *this = *this + b; }
};

// Runs USPS4CB into a buffer with a guard behind the 65 letters.
std::pair<int, std::string> encode(const char* track, const char* route) {
  char bars[70];
  std::memset(bars, '#', sizeof bars);
  const int code = USPS4CB(track, route, bars);
  EXPECT_EQ(bars[65], '#') << "wrote past the 65 letters";
  return {code, std::string(bars, 65)};
}

const char kTrack[] = "01234567094987654321";

// USPS-B-3200 appendix examples and one more mail piece.
TEST(USPS4CB, PublishedResults) {
  const struct {
    const char* track;
    const char* route;
    const char* bars;
  } cases[] = {
      {kTrack, "", "ATTFATTDTTADTAATTDTDTATTDAFDDFADFDFTFFFFFTATFAAAATDFFTDAADFTFDTDT"},
      {kTrack, "01234", "DTTAFADDTTFTDTFTFDTDDADADAFADFATDDFTAAAFDTTADFAAATDFDTDFADDDTDFFT"},
      {kTrack, "012345678", "ADFTTAFDTTTTFATTADTAAATFTFTATDAAAFDDADATATDTDTTDFDTDATADADTDFFTFA"},
      {kTrack, "01234567891", "AADTFFDFTDADTAADAATFDTDDAAADDTDTTDAFADADDDTFFFDDTTTADFAAADFTDAADA"},
      {"00040123456200800001", "987654321",
       "ADTTTATTTFTDFADTDTFTAATATADDDDFTTDTDFFDFTTATAFFDDADDTFFADFDFTTTAD"},
  };
  for (const auto& c : cases) {
    const auto r = encode(c.track, c.route);
    EXPECT_EQ(r.first, 0) << c.route;
    EXPECT_EQ(r.second, c.bars) << c.route;
  }
}

// Each check in its order: the first failing one decides the code.
TEST(USPS4CB, InputChecks) {
  char bars[66];
  EXPECT_EQ(USPS4CB(nullptr, nullptr, nullptr), 7);
  EXPECT_EQ(USPS4CB(kTrack, nullptr, nullptr), 8);
  EXPECT_EQ(USPS4CB(kTrack, "", nullptr), 2);
  const struct {
    const char* track;
    const char* route;
    int code;
  } cases[] = {
      {"0123456709498765432", "", 9},  // 19 digits
      {"", "", 9},
      {"0A234567094987654321", "", 10},  // a letter in the second place: data, not digit 2
      {"0123456709498765432/", "", 10},  // the last character
      {"0123456709498765432:", "", 10},
      {"05234567094987654321", "", 11},
      {"09234567094987654321", "", 11},
      {"04234567094987654321", "", 0},
      {"0523456709498765432X", "", 10},      // every character is scanned before digit 2
      {"05234567094987654321", "1234", 11},  // tracking before routing
      {kTrack, "1234", 12},
      {kTrack, "123456", 12},
      {kTrack, "1234567890", 12},
      {kTrack, "0123 ", 12},  // cut at the space: four digits
      {kTrack, " 1234", 0},   // cut at the space: no routing code
      {kTrack, "1234a", 13},
      {kTrack, "a2345678901", 13},
      {kTrack, "1234-", 13},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(USPS4CB(c.track, c.route, bars), c.code) << c.track << " / " << c.route;
  }
}

// Only the first 20 tracking and 11 routing characters count; routing ends at a space.
TEST(USPS4CB, InputIsCutLikeTheCopies) {
  const struct {
    const char* track;
    const char* route;
    const char* sameAsRoute;
  } cases[] = {
      {"012345670949876543219", "01234567891", "01234567891"},  // 21 digits
      {"01234567094987654321XYZ", "", ""},
      {kTrack, "012345678912", "01234567891"},  // 12 digits
      {kTrack, "01234 5678", "01234"},
      {kTrack, "012345678 12", "012345678"},
      {kTrack, "01234567891 junk", "01234567891"},
  };
  for (const auto& c : cases) {
    const auto got = encode(c.track, c.route);
    const auto want = encode(kTrack, c.sameAsRoute);
    EXPECT_EQ(got.first, 0) << c.track << " / " << c.route;
    EXPECT_EQ(got.second, want.second) << c.track << " / " << c.route;
  }
}

// Encode on its own trusts its caller, but never turns a number too large into bars.
TEST(USPS4CB, EncodeRefusesWhatDoesNotFit) {
  char bars[66];
  EXPECT_EQ(Encode(kTrack, "0123456", bars), 12);
  EXPECT_EQ(Encode(kTrack, "99999999999", bars), 0);  // the largest routing value fits
  EXPECT_EQ(Encode("94999999999999999999", "99999999999", bars), 0);
  // Characters above '9' make routing "digits" above 9: the value passes 2^102.
  EXPECT_EQ(Encode(kTrack, ":::::::::::", bars), 5);
  EXPECT_EQ(Encode(kTrack, "AAAAAAAAAAA", bars), 5);
}

u128 fromBytes(const uint8_t* b) {
  u128 v = 0;
  for (int i = 0; i < 13; ++i) v = (v << 8) | b[i];
  return v;
}

TEST(USPS4CB, ByteArithmetic) {
  EXPECT_EQ(MultiplyBytesByShort(nullptr, 10), 0);
  EXPECT_EQ(AddShortToBytes(nullptr, 10), 0);

  const u128 mask = (u128(1) << 104) - 1;
  std::mt19937_64 rng(7);
  for (int round = 0; round < 2000; ++round) {
    uint8_t bytes[13];
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    if (round % 4 == 0) std::memset(bytes, 0xFF, 8);  // long carries
    const u128 before = fromBytes(bytes);
    const uint16_t k = static_cast<uint16_t>(rng());
    uint8_t product[13], sum[13];
    std::memcpy(product, bytes, 13);
    std::memcpy(sum, bytes, 13);
    ASSERT_EQ(MultiplyBytesByShort(product, k), 1);
    ASSERT_EQ(AddShortToBytes(sum, k), 1);
    EXPECT_TRUE(fromBytes(product) == ((before * k) & mask));  // overflow dropped
    EXPECT_TRUE(fromBytes(sum) == ((before + k) & mask));
  }
  uint8_t all[13];
  std::memset(all, 0xFF, 13);
  AddShortToBytes(all, 1);
  EXPECT_TRUE(fromBytes(all) == 0);
}

int bits(uint32_t v) { return __builtin_popcount(v); }

uint32_t reversed13(uint32_t v) {
  uint32_t r = 0;
  for (int i = 0; i < 13; ++i)
    if (v & (1u << i)) r |= 1u << (12 - i);
  return r;
}

TEST(USPS4CB, CharacterTables) {
  const struct {
    int n, length;
    std::vector<uint32_t> head;  // USPS-B-3200 tables start with these
    int symmetric;               // bit-symmetric values, stored from the back
  } cases[] = {{5, 1287, {31, 7936, 47, 7808, 55, 7552}, 15}, {2, 78, {3, 6144, 5, 5120}, 6}};
  for (const auto& c : cases) {
    std::vector<uint32_t> table(c.length + 1, 0xDEAD);
    ASSERT_EQ(InitializeNof13Table(table.data(), c.n, c.length), 1);
    EXPECT_EQ(table[c.length], 0xDEADu);
    EXPECT_EQ(std::vector<uint32_t>(table.begin(), table.begin() + c.head.size()), c.head);
    std::set<uint32_t> seen;
    const int pairs = c.length - c.symmetric;
    for (int i = 0; i < c.length; ++i) {
      const uint32_t v = table[i];
      EXPECT_LT(v, 8192u);
      EXPECT_EQ(bits(v), c.n);
      EXPECT_TRUE(seen.insert(v).second) << "duplicate " << v;
      if (i < pairs && i % 2 == 0) {
        EXPECT_EQ(table[i + 1], reversed13(v));
        EXPECT_LT(v, table[i + 1]);
      }
      if (i >= pairs) {
        EXPECT_EQ(reversed13(v), v) << i;
      }
    }
    // Symmetric values fill from the back in increasing order of value.
    EXPECT_GT(table[pairs], table[c.length - 1]);

    // A wrong length is refused, and a short table is never written past.
    std::vector<uint32_t> shorter(c.length, 0xBEEF);
    EXPECT_EQ(InitializeNof13Table(shorter.data(), c.n, c.length - 1), 0);
    EXPECT_EQ(shorter[c.length - 1], 0xBEEFu);
    std::vector<uint32_t> longer(c.length + 1);
    EXPECT_EQ(InitializeNof13Table(longer.data(), c.n, c.length + 1), 0);
  }
  EXPECT_EQ(InitializeNof13Table(nullptr, 5, 1287), 0);
}

// A decoder for the checks below: bars back to characters, codewords, the number and the FCS.
struct Decoded {
  bool ok = false;
  u128 value = 0;
  uint32_t fcs = 0;
  uint32_t codewordJ = 0;  // as encoded (doubled)
};

Decoded decode(const std::string& bars) {
  static std::vector<uint32_t> t5(1287), t2(78);
  static const bool built =
      InitializeNof13Table(t5.data(), 5, 1287) == 1 && InitializeNof13Table(t2.data(), 2, 78) == 1;
  Decoded d;
  if (!built || bars.size() != 65) return d;
  uint32_t chars[10] = {0};
  for (int i = 0; i < 65; ++i) {
    const char b = bars[i];
    if (b != 'F' && b != 'A' && b != 'D' && b != 'T') return d;
    if (b == 'F' || b == 'A')
      chars[BarTopCharacterIndexArray[i]] |= 1u << BarTopCharacterShiftArray[i];
    if (b == 'F' || b == 'D')
      chars[BarBottomCharacterIndexArray[i]] |= 1u << BarBottomCharacterShiftArray[i];
  }
  uint32_t codewords[10];
  for (int i = 0; i < 10; ++i) {
    uint32_t c = chars[i];
    if (bits(c) == 8 || bits(c) == 11) {
      c = ~c & 0x1FFF;
      d.fcs |= 1u << i;
    }
    int index = -1;
    for (int k = 0; k < 1287 && index < 0; ++k)
      if (t5[k] == c) index = k;
    for (int k = 0; k < 78 && index < 0; ++k)
      if (t2[k] == c) index = 1287 + k;
    if (index < 0) return d;
    codewords[i] = static_cast<uint32_t>(index);
  }
  if (codewords[0] >= 659) {
    d.fcs |= 0x400;
    codewords[0] -= 659;
  }
  d.codewordJ = codewords[9];
  if (codewords[9] % 2 != 0) return d;
  u128 v = codewords[0];
  for (int i = 1; i <= 8; ++i) v = v * 1365 + codewords[i];
  d.value = v * 636 + codewords[9] / 2;
  d.ok = true;
  return d;
}

// The number a mail piece stands for, with 128-bit arithmetic.
u128 expectedValue(const std::string& track, const std::string& route) {
  u128 routing = 0;
  for (char c : route) routing = routing * 10 + (c - '0');
  if (route.size() == 5) routing += 1;
  if (route.size() == 9) routing += 100001;
  if (route.size() == 11) routing += 1000100001;
  u128 v = routing * 10 + (track[0] - '0');
  v = v * 5 + (track[1] - '0');
  for (int i = 2; i < 20; ++i) v = v * 10 + (track[i] - '0');
  return v;
}

// CRC-11, generator 0xF35, preset 0x7FF, over the 102 low bits, most significant first.
uint32_t expectedFcs(u128 v) {
  uint32_t fcs = 0x7FF;
  for (int bit = 101; bit >= 0; --bit) {
    const uint32_t data = static_cast<uint32_t>(v >> bit) & 1u;
    fcs = (((fcs >> 10) ^ data) & 1u) ? ((fcs << 1) ^ 0xF35) & 0x7FF : (fcs << 1) & 0x7FF;
  }
  return fcs;
}

std::string randomDigits(std::mt19937& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
  return s;
}

TEST(USPS4CB, PublishedResultsDecode) {
  // Both values of the FCS's top bit among the published results.
  std::set<bool> topBit;
  for (const char* route : {"", "01234", "012345678", "01234567891"}) {
    const Decoded d = decode(encode(kTrack, route).second);
    ASSERT_TRUE(d.ok) << route;
    EXPECT_TRUE(d.value == expectedValue(kTrack, route)) << route;
    EXPECT_EQ(d.fcs, expectedFcs(d.value)) << route;
    topBit.insert((d.fcs & 0x400) != 0);
  }
  EXPECT_EQ(topBit.size(), 2u);
}

// Random valid mail pieces: 65 letters F, A, D, T that decode to the input and its FCS, an
// even codeword J, both paths of every FCS bit, and the same letters on a second call.
TEST(USPS4CB, RandomPiecesRoundTrip) {
  std::mt19937 rng(2024);
  const int lengths[] = {0, 5, 9, 11};
  uint32_t fcsSeen = 0, fcsClear = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string track = randomDigits(rng, 20);
    track[1] = static_cast<char>('0' + rng() % 5);
    if (round == 0) track = "94999999999999999999";  // the largest values
    const std::string route = randomDigits(rng, round == 0 ? 11 : lengths[rng() % 4]);
    const auto first = encode(track.c_str(), route.c_str());
    ASSERT_EQ(first.first, 0) << track << " / " << route;
    ASSERT_EQ(first.second.find_first_not_of("FADT"), std::string::npos);
    const Decoded d = decode(first.second);
    ASSERT_TRUE(d.ok) << track << " / " << route << ": " << first.second;
    ASSERT_TRUE(d.value == expectedValue(track, route)) << track << " / " << route;
    ASSERT_EQ(d.fcs, expectedFcs(d.value)) << track << " / " << route;
    EXPECT_EQ(d.codewordJ % 2, 0u);
    fcsSeen |= d.fcs;
    fcsClear |= ~d.fcs & 0x7FF;
    EXPECT_EQ(encode(track.c_str(), route.c_str()), first);
  }
  EXPECT_EQ(fcsSeen, 0x7FFu);
  EXPECT_EQ(fcsClear, 0x7FFu);
}

// The first encodings of a process may run on several threads at once.
TEST(USPS4CB, ConcurrentCallsAgree) {
  const std::string want = encode(kTrack, "01234567891").second;
  std::vector<std::thread> threads;
  std::vector<std::string> got(4);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&got, t] {
      char bars[66] = {0};
      for (int i = 0; i < 200; ++i) USPS4CB(kTrack, "01234567891", bars);
      got[t] = std::string(bars, 65);
    });
  for (auto& th : threads) th.join();
  for (const auto& g : got) EXPECT_EQ(g, want);
}

}  // namespace
