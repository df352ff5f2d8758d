// $encrypt and $decrypt driven through the entry procedure.
#include <cstdlib>
#include <string>
#include <vector>

#include "ciphers.h"
#include "testhost.h"
#include "zqbase.h"

using namespace zqtest;

namespace {

const qlong kEncrypt = 2113;
const qlong kDecrypt = 2114;
// "hello" under "password" in DES method 0's text form; the 32-bit build writes the numbers
// with their top bit set as negative values.
const char* const kHelloDES = kBuildDESTextForm == eDESTextForm::kSigned
                                  ? "+1428184963-572903522+2015163489-1150941523"
                                  : "+1428184963+3722063774+2015163489+3144025773";

std::string hexOf(const std::string& bytes) {
  std::string out(bytes.size() * 2, '?');
  convToHex(reinterpret_cast<const qbyte*>(bytes.data()), bytes.size(), &out[0]);
  return out;
}

class Encrypt : public ComponentTest {
 protected:
  // Calls $encrypt or $decrypt; the result parameter is updated from the call. A null key
  // passes three parameters only.
  hostrt::CallOutcome run(qlong id, qlong method, const EXTfldval& source, EXTfldval& result,
                          const char* key) {
    std::vector<EXTfldval> p{integer(method), source, result};
    if (key) p.push_back(chr(key));
    hostrt::CallOutcome r = call(id, p);
    result = p[2];
    return r;
  }

  static void expectSuccess(const hostrt::CallOutcome& r) {
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(r.changed, std::vector<qlong>{3});
    for (const auto& e : r.errors) ADD_FAILURE() << e.code << " " << e.detail;
  }

  // The character result of a successful call.
  std::string textCall(qlong id, qlong method, const EXTfldval& source, const char* key) {
    EXTfldval result = chr("");
    expectSuccess(run(id, method, source, result, key));
    EXPECT_EQ(result.getType(), fftCharacter);
    return text(result);
  }
  std::string encrypt(qlong method, const std::string& plain, const char* key) {
    return textCall(kEncrypt, method, chr(plain), key);
  }
  std::string decrypt(qlong method, const std::string& cipher, const char* key) {
    return textCall(kDecrypt, method, chr(cipher), key);
  }
  // The binary result of a successful call.
  std::string bytesCall(qlong id, qlong method, const EXTfldval& source, const char* key) {
    EXTfldval result = binary("old");
    expectSuccess(run(id, method, source, result, key));
    EXPECT_EQ(result.getType(), fftBinary);
    return bytes(result);
  }
};

TEST_F(Encrypt, BlockCiphersRoundTripThroughHexText) {
  const std::string texts[] = {"a",
                               "hello",
                               "0123456789abcdef",
                               "0123456789abcdefg",
                               "é",
                               "日本語のテキスト",
                               std::string(100, 'x')};
  const char* keys[] = {"", "key", "a key longer than every cipher uses, 40b"};
  for (qlong method = 1; method <= 4; ++method) {
    const size_t block = method == 1 ? 8 : 16;
    for (const std::string& plain : texts) {
      for (const char* key : keys) {
        const std::string hex = encrypt(method, plain, key);
        EXPECT_EQ(hex.size(), 2 * roundUpToBlock(plain.size(), block)) << method << plain;
        EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
        EXPECT_EQ(decrypt(method, hex, key), plain) << method << " " << key;
      }
    }
  }
}

TEST_F(Encrypt, DESTextFormRoundTrips) {
  for (const std::string plain : {"a", "hello", "é!", "sixteen bytes..", "日本語"}) {
    for (const char* key : {"", "password", "a much longer key"}) {
      const std::string cipher = encrypt(0, plain, key);
      EXPECT_LE(cipher.size(), 44u);
      EXPECT_EQ(cipher.find_first_not_of("+-0123456789"), std::string::npos) << cipher;
      EXPECT_EQ(decrypt(0, cipher, key), plain);
    }
  }
}

TEST_F(Encrypt, KnownCiphertexts) {
  // Checked against the openssl command-line tool.
  EXPECT_EQ(encrypt(2, "hello", "YELLOW SUBMARINE"), "5bc4ae02d3d5475136061a6b5feaa6b3");
  EXPECT_EQ(decrypt(2, "5BC4AE02D3D5475136061A6B5FEAA6B3", "YELLOW SUBMARINE"), "hello");
  EXPECT_EQ(encrypt(0, "hello", "password"), kHelloDES);
  // RFC 6229, key 0102030405: the key stream at offset 0, from sixteen zero bytes.
  EXTfldval result = chr("");
  expectSuccess(run(kEncrypt, 5, binary(std::string(16, '\0')), result, "\x01\x02\x03\x04\x05"));
  EXPECT_EQ(text(result), "b2396305f03dc027ccc3524a0a1118a8");
  // Triple DES with a 16-byte key: the third key is all zero, not the first.
  const std::string key16 = "0123456789abcdef";
  std::string key24 = key16 + std::string(8, '\0');
  std::string expected(16, '\0');
  ASSERT_EQ(encrypt3DES(reinterpret_cast<const qbyte*>(key24.data()), 24,
                        reinterpret_cast<const qbyte*>("nine byte"), 9,
                        reinterpret_cast<qbyte*>(&expected[0]), false),
            eCipherStatus::kOk);
  EXPECT_EQ(encrypt(1, "nine byte", key16.c_str()), hexOf(expected));
}

TEST_F(Encrypt, KeyBytesPastTheUsedOnesAndParityBitsChangeNothing) {
  const struct {
    qlong method;
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {2, "0123456789abcdefXYZ", "0123456789abcdefQRS", true},
      {3, "0123456789abcdef01234567X", "0123456789abcdef01234567Y", true},
      {4, "0123456789abcdef0123456789abcdefX", "0123456789abcdef0123456789abcdefY", true},
      {1, "0123456789abcdef01234567X", "0123456789abcdef01234567Y", true},
      {0, "passwordA", "passwordB", true},
      {0, "password", "q`rrvnse", true},  // every byte's low (parity) bit flipped
      {2, "0123456789abcdeX", "0123456789abcdeY", false},
      {3, "0123456789abcdef0123456X", "0123456789abcdef0123456Y", false},
      {1, "0123456789abcdef0123456X", "0123456789abcdef0123456Z", false},
      {0, "passworA", "passworB", false},
      {5, "key1", "key2", false},
  };
  for (const auto& c : cases) {
    const std::string x = encrypt(c.method, "plain", c.a), y = encrypt(c.method, "plain", c.b);
    EXPECT_EQ(x == y, c.same) << c.method << " " << c.a << " " << c.b;
  }
  // The key ends at its first zero byte; without a key parameter the key is empty.
  std::vector<EXTfldval> p{integer(2), chr("plain"), chr(""), chr32(std::u32string(U"abc\0zz", 6))};
  expectSuccess(call(kEncrypt, p));
  EXPECT_EQ(text(p[2]), encrypt(2, "plain", "abc"));
  for (qlong method = 0; method <= 5; ++method) {
    EXTfldval result = chr("");
    expectSuccess(run(kEncrypt, method, chr("plain"), result, nullptr));
    EXPECT_EQ(text(result), encrypt(method, "plain", "")) << method;
  }
}

TEST_F(Encrypt, BinarySourceAndResultAreRawBytes) {
  std::string raw;
  for (int i = 1; i < 256; ++i) raw += static_cast<char>(i);
  for (qlong method = 1; method <= 4; ++method) {
    const std::string cipher = bytesCall(kEncrypt, method, binary(raw), "k");
    EXPECT_EQ(cipher.size(), 256u);
    std::string expected(256, '\0');
    const qbyte* in = reinterpret_cast<const qbyte*>(raw.data());
    qbyte* out = reinterpret_cast<qbyte*>(&expected[0]);
    const eCipherStatus s =
        method == 1 ? encrypt3DES(reinterpret_cast<const qbyte*>("k"), 1, in, 255, out, false)
                    : encryptAES(static_cast<eZQEncrypt>(method),
                                 reinterpret_cast<const qbyte*>("k"), 1, in, 255, out, false);
    ASSERT_EQ(s, eCipherStatus::kOk);
    EXPECT_EQ(cipher, expected);
    EXPECT_EQ(bytesCall(kDecrypt, method, binary(cipher), "k"), raw);
    // A character source is its UTF-8 form: é is the two bytes C3 A9.
    EXPECT_EQ(bytesCall(kEncrypt, method, chr("é"), "k"),
              bytesCall(kEncrypt, method, binary("\xC3\xA9"), "k"));
    EXPECT_EQ(hexOf(bytesCall(kEncrypt, method, chr("é"), "k")), encrypt(method, "é", "k"));
  }
  // Method 0 gives its text form as bytes.
  EXPECT_EQ(bytesCall(kEncrypt, 0, chr("hello"), "password"), kHelloDES);
  // An empty source gives an empty result of either kind.
  EXPECT_EQ(bytesCall(kEncrypt, 2, binary(""), "k"), "");
  EXPECT_EQ(encrypt(2, "", "k"), "");
  EXPECT_EQ(decrypt(2, "", "k"), "");
}

TEST_F(Encrypt, DecryptionEndsAtTheFirstZeroByte) {
  for (qlong method = 1; method <= 4; ++method) {
    const std::string cipher = bytesCall(kEncrypt, method, binary(std::string("ab\0cd", 5)), "k");
    EXPECT_EQ(bytesCall(kDecrypt, method, binary(cipher), "k"), "ab");
    EXPECT_EQ(textCall(kDecrypt, method, binary(cipher), "k"), "ab");
    EXPECT_EQ(decrypt(method, hexOf(cipher), "k"), "ab");
  }
}

TEST_F(Encrypt, ARC4EncryptsItsOwnCiphertextBackAndRefusesDecrypt) {
  const std::string plain = "Attack at dawn, é";
  const std::string hex = encrypt(5, plain, "Secret");
  EXPECT_EQ(hex.size(), 2 * plain.size());
  const std::string cipher = bytesCall(kEncrypt, 5, chr(plain), "Secret");
  EXPECT_EQ(hexOf(cipher), hex);
  EXPECT_EQ(bytesCall(kEncrypt, 5, binary(cipher), "Secret"), plain);
}

struct FailureCase {
  const char* name;
  qlong id;
  std::vector<EXTfldval> params;  // parameter 3 starts as the text "unchanged"
  qlong code;
  const char* detail;
};

TEST_F(Encrypt, FailuresReportCodeAndDetailAndLeaveTheResult) {
  const std::string des60 = "+" + std::string(59, '1');
  const std::vector<FailureCase> cases = {
      {"two parameters",
       kEncrypt,
       {integer(2), chr("x")},
       -102,
       "Parameter count must be at least 3"},
      {"source list",
       kEncrypt,
       {integer(2), list({{"c"}}, {}), chr("unchanged")},
       -102,
       "The source parameter must be of type character"},
      {"source boolean",
       kEncrypt,
       {integer(2), boolean(true), chr("unchanged")},
       -102,
       "The source parameter must be of type character"},
      {"key integer",
       kEncrypt,
       {integer(2), chr("x"), chr("unchanged"), integer(5)},
       -102,
       "The key parameter must be of type character"},
      {"method text",
       kEncrypt,
       {chr("two"), chr("x"), chr("unchanged"), chr("k")},
       -102,
       "The encryption method must be of type integer"},
      {"method 6",
       kEncrypt,
       {integer(6), chr("x"), chr("unchanged"), chr("k")},
       -102,
       "Parameter 1 is out of range"},
      {"method -1",
       kDecrypt,
       {integer(-1), chr("00"), chr("unchanged"), chr("k")},
       -102,
       "Parameter 1 is out of range"},
      {"result list",
       kEncrypt,
       {integer(2), chr("x"), list({{"c"}}, {}), chr("k")},
       -102,
       "The result parameter must be of type character"},
      {"odd hex", kDecrypt, {integer(2), chr("abc"), chr("unchanged"), chr("k")}, -107, ""},
      {"not hex", kDecrypt, {integer(3), chr("zz"), chr("unchanged"), chr("k")}, -107, ""},
      {"wide char",
       kDecrypt,
       {integer(1), chr32(U"\u01300"), chr("unchanged"), chr("k")},
       -107,
       ""},
      {"hex before range", kDecrypt, {integer(9), chr("0"), chr("unchanged"), chr("k")}, -107, ""},
      {"des letter", kDecrypt, {integer(0), chr("+12a+3"), chr("unchanged"), chr("k")}, -108, ""},
      {"des empty",
       kEncrypt,
       {integer(0), chr(""), chr("unchanged"), chr("k")},
       -102,
       "Input length must be between 1 and 16"},
      {"des 17",
       kEncrypt,
       {integer(0), chr("seventeen bytes!!"), chr("unchanged"), chr("k")},
       -102,
       "Input length must be between 1 and 16"},
      {"des 17 utf8",
       kEncrypt,
       {integer(0), chr("éééééééé!"), chr("unchanged"), chr("k")},
       -102,
       "Input length must be between 1 and 16"},
      {"des 60",
       kDecrypt,
       {integer(0), chr(des60), chr("unchanged"), chr("k")},
       -102,
       "Input length must be between 1 and 59"},
      {"des binary", kDecrypt, {integer(0), binary("+1 2"), chr("unchanged"), chr("k")}, -108, ""},
      {"arc4 decrypt",
       kDecrypt,
       {integer(5), chr("00"), chr("unchanged"), chr("k")},
       -104,
       "ARC4 does not support $decrypt"},
  };
  for (FailureCase c : cases) {
    auto r = call(c.id, c.params);
    EXPECT_EQ(r.ret.getLong(), 0) << c.name;
    EXPECT_TRUE(r.changed.empty()) << c.name;
    ASSERT_EQ(r.errors.size(), 1u) << c.name;
    EXPECT_EQ(r.errors[0].code, c.code) << c.name;
    EXPECT_EQ(r.errors[0].message, statusMessage(c.code)) << c.name;
    EXPECT_EQ(r.errors[0].detail, c.detail) << c.name;
    EXPECT_EQ(r.errors[0].method, c.id == kEncrypt ? "$encrypt" : "$decrypt") << c.name;
    if (c.params.size() >= 3 && c.params[2].getType() == fftCharacter) {
      EXPECT_EQ(text(c.params[2]), "unchanged") << c.name;
    }
  }
}

TEST_F(Encrypt, BuffersThatCannotBeHadGiveOutOfMemory) {
  const std::string big(100000, 'a');  // working buffer 400016 bytes, hex result 800000
  const std::string bigHex = encrypt(2, big, "k");  // working buffer 100016, text 400000
  const struct {
    const char* name;
    qlong id;
    qlong method;
    const std::string& source;
    qlong failAbove;
  } cases[] = {
      {"working buffer", kEncrypt, 2, big, 300000},  {"hex result", kEncrypt, 2, big, 500000},
      {"arc4 hex result", kEncrypt, 5, big, 500000}, {"text result", kDecrypt, 2, bigHex, 200000},
      {"hex input", kDecrypt, 4, bigHex, 50000},
  };
  for (const auto& c : cases) {
    hostrt::setAllocFailure(0, c.failAbove);
    EXTfldval result = chr("unchanged");
    auto r = run(c.id, c.method, chr(c.source), result, "k");
    hostrt::resetFailures();
    EXPECT_EQ(r.ret.getLong(), 0) << c.name;
    ASSERT_EQ(r.errors.size(), 1u) << c.name;
    EXPECT_EQ(r.errors[0].code, -103) << c.name;
    EXPECT_EQ(r.errors[0].message, "Out of memory.");
    EXPECT_TRUE(r.changed.empty());
    EXPECT_EQ(text(result), "unchanged") << c.name;
  }
  // A binary source and result need one buffer only: the cipher's output.
  hostrt::setAllocFailure(0, 100020);
  EXTfldval result = binary("old");
  auto r = run(kEncrypt, 2, binary(big), result, "k");
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(bytes(result).size(), big.size());
}

// Without the legacy provider DES and ARC4 fail with a clear detail text; the other ciphers
// keep working. Run in a fresh process whose OpenSSL cannot find its provider modules.
TEST_F(Encrypt, MissingLegacyProviderFailsDESAndARC4Only) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        setenv("OPENSSL_MODULES", "/nonexistent/ossl-modules", 1);
        int failures = 0;
        for (qlong method = 0; method <= 5; ++method) {
          EXTfldval result = chr("unchanged");
          auto r = run(kEncrypt, method, chr("plain"), result, "key");
          const bool legacy = method == 0 || method == 5;
          const bool ok =
              legacy ? r.errors.size() == 1 && r.errors[0].code == -104 &&
                           r.errors[0].detail ==
                               "DES and ARC4 need the OpenSSL legacy provider, which could not "
                               "be loaded" &&
                           text(result) == "unchanged"
                     : r.errors.empty() && text(result).size() > 0;
          if (!ok) {
            fprintf(stderr, "method %d wrong\n", static_cast<int>(method));
            ++failures;
          }
        }
        std::exit(failures);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
