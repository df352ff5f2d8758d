// The byte-buffer ciphers, digests and hexadecimal text against published vectors.
#include "ciphers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

typedef std::vector<qbyte> Bytes;

Bytes fromHex(const std::string& hex) {
  Bytes out(hex.size() / 2);
  std::u32string chars(hex.begin(), hex.end());
  EXPECT_TRUE(convFromHex(chars.data(), chars.size(), out.data())) << hex;
  return out;
}

std::string toHex(const qbyte* bytes, size_t len) {
  std::string out(len * 2, '?');
  convToHex(bytes, len, &out[0]);
  return out;
}
std::string toHex(const Bytes& b) { return toHex(b.data(), b.size()); }

Bytes ascii(const std::string& s) { return Bytes(s.begin(), s.end()); }

// ---------------------------------------------------------------------------------------------
// Block ciphers

struct BlockVector {
  const char* source;
  int method;  // 1: triple DES, 2-4: AES
  const char* key;
  const char* plain;
  const char* cipher;
};

const BlockVector kBlockVectors[] = {
    {"FIPS-197 C.1", 2, "000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff",
     "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"FIPS-197 C.2", 3, "000102030405060708090a0b0c0d0e0f1011121314151617",
     "00112233445566778899aabbccddeeff", "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"FIPS-197 C.3", 4, "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f",
     "00112233445566778899aabbccddeeff", "8ea2b7ca516745bfeafc49904b496089"},
    // NIST SP 800-67 TDEA example, keying option 1: "The qufck brown fox jump".
    {"SP 800-67", 1, "0123456789abcdef23456789abcdef01456789abcdef0123",
     "54686520717566636b2062726f776e20666f78206a756d70",
     "a826fd8ce53b855fcce21c8112256fe668d5c05dd9b6b900"},
};

eCipherStatus runBlock(int method, const Bytes& key, const Bytes& in, Bytes& out, bool decrypt) {
  const size_t block = method == 1 ? kDESBlock : kAESBlock;
  out.assign(roundUpToBlock(in.size(), block), 0xEE);
  if (method == 1)
    return encrypt3DES(key.data(), key.size(), in.data(), in.size(), out.data(), decrypt);
  return encryptAES(static_cast<eZQEncrypt>(method), key.data(), key.size(), in.data(), in.size(),
                    out.data(), decrypt);
}

TEST(BlockCiphers, PublishedVectorsBothWays) {
  for (const BlockVector& v : kBlockVectors) {
    const Bytes key = fromHex(v.key), plain = fromHex(v.plain), cipher = fromHex(v.cipher);
    Bytes out;
    ASSERT_EQ(runBlock(v.method, key, plain, out, false), eCipherStatus::kOk) << v.source;
    EXPECT_EQ(toHex(out), v.cipher) << v.source;
    ASSERT_EQ(runBlock(v.method, key, cipher, out, true), eCipherStatus::kOk) << v.source;
    EXPECT_EQ(toHex(out), v.plain) << v.source;
    // In place gives the same.
    Bytes inPlace = plain;
    inPlace.resize(out.size());
    const eCipherStatus s =
        v.method == 1 ? encrypt3DES(key.data(), key.size(), inPlace.data(), plain.size(),
                                    inPlace.data(), false)
                      : encryptAES(static_cast<eZQEncrypt>(v.method), key.data(), key.size(),
                                   inPlace.data(), plain.size(), inPlace.data(), false);
    ASSERT_EQ(s, eCipherStatus::kOk);
    Bytes separate;
    runBlock(v.method, key, plain, separate, false);
    EXPECT_EQ(inPlace, separate) << v.source;
  }
}

TEST(BlockCiphers, PartialBlockIsZeroPadded) {
  const Bytes key = ascii("YELLOW SUBMARINE");
  for (int method : {1, 2, 3, 4}) {
    const size_t block = method == 1 ? kDESBlock : kAESBlock;
    for (size_t len : {size_t(1), block - 1, block + 1, 3 * block - 1}) {
      Bytes in(len, 'x'), padded(roundUpToBlock(len, block), 0), a, b;
      std::copy(in.begin(), in.end(), padded.begin());
      ASSERT_EQ(runBlock(method, key, in, a, false), eCipherStatus::kOk);
      ASSERT_EQ(runBlock(method, key, padded, b, false), eCipherStatus::kOk);
      EXPECT_EQ(a, b) << method << " " << len;
      EXPECT_EQ(a.size(), padded.size());
    }
  }
  Bytes out;
  EXPECT_EQ(runBlock(2, key, Bytes(), out, false), eCipherStatus::kOk);
  EXPECT_TRUE(out.empty());
}

// ---------------------------------------------------------------------------------------------
// DES text form

std::string desText(const Bytes& key, const std::string& in, eCipherStatus* status = nullptr) {
  qbyte out[kDESTextMax];
  size_t len = 99;
  const eCipherStatus s =
      encryptDES(key.data(), key.size(), reinterpret_cast<const qbyte*>(in.data()), in.size(), out,
                 len, false);
  if (status) *status = s;
  return std::string(reinterpret_cast<char*>(out), s == eCipherStatus::kOk ? len : 0);
}

std::string desPlain(const Bytes& key, const std::string& text, eCipherStatus* status = nullptr) {
  qbyte out[kDESTextMax];
  size_t len = 99;
  const eCipherStatus s =
      encryptDES(key.data(), key.size(), reinterpret_cast<const qbyte*>(text.data()), text.size(),
                 out, len, true);
  if (status) *status = s;
  return std::string(reinterpret_cast<char*>(out), s == eCipherStatus::kOk ? len : 0);
}

TEST(DESText, Fips81VectorAsFourNumbers) {
  // FIPS 81 ECB example: "Now is t" -> 3fa40e8a984d4815, "he time " -> 6a271787ab8883f9.
  const Bytes key = fromHex("0123456789abcdef");
  const std::string text = desText(key, "Now is the time ");
  EXPECT_EQ(text, kBuildDESTextForm == eDESTextForm::kSigned
                      ? "+1067716234-1739765739+1780946823-1417116679"
                      : "+1067716234+2555201557+1780946823+2877850617");
  EXPECT_EQ(desPlain(key, text), "Now is the time ");
  // Numbers with the top bit set written as signed 32-bit values decrypt alike.
  EXPECT_EQ(desPlain(key, "+1067716234-1739765739+1780946823-1417116679"), "Now is the time ");
  // Only the low 32 bits of each number count: 1067716234 + 2^32.
  EXPECT_EQ(desPlain(key, "+5362683530+2555201557+1780946823+2877850617"), "Now is the time ");
  // Missing numbers are 0, as is "-" alone.
  EXPECT_EQ(desPlain(key, "+1067716234+2555201557"), desPlain(key, "+1067716234+2555201557--"));
  EXPECT_EQ(desPlain(key, "+1067716234+2555201557").substr(0, 8), "Now is t");
}

TEST(DESText, BothFormsOfTheNumbers) {
  // Ciphertext blocks at the sign limits, reached by encrypting what they decrypt to (none of
  // these decrypts to a zero byte, which would end the plain text early).
  const Bytes key = ascii("password");
  const struct {
    const char* numbers;        // the unsigned form
    const char* signedNumbers;  // the 32-bit build's form
  } cases[] = {
      {"+1+2147483647+2147483648+4294967295", "+1+2147483647-2147483648-1"},
      {"-+4294967294-+2147483649", "--2--2147483647"},
      {"+3722063774---", "-572903522---"},
  };
  for (const auto& c : cases) {
    qbyte plain[kDESTextMax];
    size_t len = 0;
    ASSERT_EQ(encryptDES(key.data(), key.size(), reinterpret_cast<const qbyte*>(c.numbers),
                         std::strlen(c.numbers), plain, len, true),
              eCipherStatus::kOk);
    ASSERT_EQ(len, 16u) << c.numbers;
    for (const auto form : {eDESTextForm::kUnsigned, eDESTextForm::kSigned}) {
      qbyte text[kDESTextMax];
      size_t textLen = 0;
      ASSERT_EQ(encryptDES(key.data(), key.size(), plain, 16, text, textLen, false,
                           tCryptoLibrary::shared(), form),
                eCipherStatus::kOk);
      const std::string expected = form == eDESTextForm::kSigned ? c.signedNumbers : c.numbers;
      EXPECT_EQ(std::string(reinterpret_cast<char*>(text), textLen), expected);
      EXPECT_EQ(desPlain(key, expected), std::string(reinterpret_cast<char*>(plain), 16));
    }
  }
}

TEST(DESText, ParityBitsAndBytesAfterTheEighthDoNotCount) {
  const Bytes key = ascii("password");
  const std::string text = desText(key, "hello");
  EXPECT_EQ(text, kBuildDESTextForm == eDESTextForm::kSigned
                      ? "+1428184963-572903522+2015163489-1150941523"
                      : "+1428184963+3722063774+2015163489+3144025773");
  Bytes parity = key, longer = key;
  for (qbyte& b : parity) b ^= 1;
  longer.insert(longer.end(), {'x', 'y'});
  EXPECT_EQ(desText(parity, "hello"), text);
  EXPECT_EQ(desText(longer, "hello"), text);
  EXPECT_EQ(desPlain(key, text), "hello");
}

// ---------------------------------------------------------------------------------------------
// ARC4

TEST(ARC4, Rfc6229KeystreamAtOffsetZero) {
  const struct {
    const char* key;
    const char* stream;
  } vectors[] = {
      {"0102030405", "b2396305f03dc027ccc3524a0a1118a8"},
      {"0102030405060708090a0b0c0d0e0f10", "9ac7cc9a609d1ef7b2932899cde41b97"},
  };
  for (const auto& v : vectors) {
    const Bytes key = fromHex(v.key), zeros(16, 0);
    Bytes out(16);
    ASSERT_EQ(encryptARC4(key.data(), key.size(), zeros.data(), 16, out.data()),
              eCipherStatus::kOk);
    EXPECT_EQ(toHex(out), v.stream) << v.key;
    // Its own ciphertext encrypts back to the plain text.
    ASSERT_EQ(encryptARC4(key.data(), key.size(), out.data(), 16, out.data()), eCipherStatus::kOk);
    EXPECT_EQ(out, zeros);
  }
}

TEST(ARC4, EmptyKeyIsOneZeroByteAndLongKeysStopAt255) {
  // Long enough for the last key bytes, which move only late entries of the state, to show.
  const Bytes plain(4096, 'p');
  auto run = [&](const Bytes& key) {
    Bytes out(plain.size());
    EXPECT_EQ(encryptARC4(key.data(), key.size(), plain.data(), plain.size(), out.data()),
              eCipherStatus::kOk);
    return out;
  };
  EXPECT_EQ(run(Bytes()), run(Bytes(1, 0)));
  Bytes k255(255), k256(256), k300(300);
  for (size_t i = 0; i < k300.size(); ++i) {
    const qbyte b = static_cast<qbyte>((i * 2654435761u) >> 13);
    if (i < 255) k255[i] = b;
    if (i < 256) k256[i] = b;
    k300[i] = b;
  }
  EXPECT_EQ(run(k256), run(k255));
  EXPECT_EQ(run(k300), run(k255));
  EXPECT_NE(run(Bytes(k255.begin(), k255.end() - 1)), run(k255));
}

TEST(CryptoLibrary, MissingLegacyProviderIsReportedNotFatal) {
  const tCryptoLibrary lib("/nonexistent/ossl-modules");
  EXPECT_FALSE(lib.hasLegacy());
  const Bytes key = ascii("key"), in = ascii("data");
  qbyte text[kDESTextMax];
  size_t len = 0;
  Bytes out(16);
  EXPECT_EQ(encryptDES(key.data(), key.size(), in.data(), in.size(), text, len, false, lib),
            eCipherStatus::kUnavailable);
  EXPECT_EQ(encryptARC4(key.data(), key.size(), in.data(), in.size(), out.data(), lib),
            eCipherStatus::kUnavailable);
  // Triple DES and AES come from the default provider and still work.
  EXPECT_EQ(encrypt3DES(key.data(), key.size(), in.data(), in.size(), out.data(), false, lib),
            eCipherStatus::kOk);
  EXPECT_EQ(encryptAES(kZQEncryptAES256, key.data(), key.size(), in.data(), in.size(), out.data(),
                       false, lib),
            eCipherStatus::kOk);
  EXPECT_TRUE(tCryptoLibrary::shared().hasLegacy());
}

// ---------------------------------------------------------------------------------------------
// Digests

TEST(Digests, PublishedVectors) {
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";  // 56 bytes
  const struct {
    const char* source;
    std::string in;
    bool (*fn)(const qbyte*, size_t, qbyte*);
    size_t len;
    const char* digest;
  } vectors[] = {
      {"RFC 1321", "abc", signatureMD5, 16, "900150983cd24fb0d6963f7d28e17f72"},
      {"RFC 1321", "", signatureMD5, 16, "d41d8cd98f00b204e9800998ecf8427e"},
      {"FIPS 180", "abc", signatureSHA1, 20, "a9993e364706816aba3e25717850c26c9cd0d89d"},
      {"FIPS 180", "", signatureSHA1, 20, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {"FIPS 180", two, signatureSHA1, 20, "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
      {"FIPS 180", "abc", signatureSHA256, 32,
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"FIPS 180", "", signatureSHA256, 32,
       "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"FIPS 180", two, signatureSHA256, 32,
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
  };
  for (const auto& v : vectors) {
    qbyte out[kMaxDigestLength];
    ASSERT_TRUE(v.fn(reinterpret_cast<const qbyte*>(v.in.data()), v.in.size(), out));
    EXPECT_EQ(toHex(out, v.len), v.digest) << v.source << " " << v.in;
  }
  // Handed in pieces, the digest is the same.
  tDigest pieces(tCryptoLibrary::kSHA256);
  for (size_t i = 0; i < two.size(); i += 5)
    pieces.update(reinterpret_cast<const qbyte*>(two.data()) + i,
                  std::min<size_t>(5, two.size() - i));
  qbyte out[32];
  ASSERT_TRUE(pieces.finish(out));
  EXPECT_EQ(toHex(out, 32), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
}

// ---------------------------------------------------------------------------------------------
// Hexadecimal text

TEST(Hex, EveryByteRoundTripsAndDigitsAreLowerCase) {
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[i] = static_cast<qbyte>(i);
  std::u32string wide(512, U'?');
  convToHex(all.data(), all.size(), &wide[0]);
  EXPECT_EQ(wide.substr(0, 6), U"000102");
  EXPECT_EQ(wide.substr(0x9f * 2, 4), U"9fa0");
  EXPECT_EQ(wide.substr(508), U"feff");
  Bytes back(256);
  ASSERT_TRUE(convFromHex(wide.data(), wide.size(), back.data()));
  EXPECT_EQ(back, all);
}

TEST(Hex, ReadingAcceptsEitherCaseAndRefusesTheRest) {
  const struct {
    std::u32string in;
    bool ok;
  } cases[] = {
      {U"", true},         {U"00ff", true},
      {U"ABcd", true},     {U"a", false},
      {U"abc", false},     {U"0g", false},
      {U"0 ", false},      {U"\u0130\u0130", false},
      {U"\u0661a", false}, {std::u32string(U"ab\0a", 4), false},
  };
  for (const auto& c : cases) {
    Bytes out(c.in.size() / 2 + 1);
    EXPECT_EQ(convFromHex(c.in.data(), c.in.size(), out.data()), c.ok)
        << std::string(c.in.begin(), c.in.end());
  }
  Bytes out(2);
  convFromHex(U"ABcd", 4, out.data());
  EXPECT_EQ(out, (Bytes{0xab, 0xcd}));
}

}  // namespace
