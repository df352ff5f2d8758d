// Ciphers, digests and hexadecimal text over plain byte buffers, built on OpenSSL 3 libcrypto
// (EVP interface only). Nothing here touches host values, so every function can be checked
// against published vectors without a host.
#pragma once

#include <openssl/types.h>

#include <cstddef>

#include "hosttypes.h"

// AES codes of the cipher methods; encryptAES chooses its key size by them.
enum eZQEncrypt : qlong { kZQEncryptAES128 = 2, kZQEncryptAES192 = 3, kZQEncryptAES256 = 4 };

enum class eCipherStatus {
  kOk,
  kBadLength,    // input length outside what the cipher accepts
  kBadText,      // DES text form with a character other than digits and signs
  kUnavailable,  // the provider of this cipher could not be loaded
  kFailed,       // the library refused the operation
};

// The component's own OpenSSL library context with the default and legacy providers and the
// algorithms fetched from it. The legacy provider (DES, RC4) may be missing; the rest is then
// still usable.
class tCryptoLibrary {
 public:
  enum eCipher { kDES, kDES3, kAES128, kAES192, kAES256, kRC4, kCipherCount };
  enum eDigest { kMD5, kSHA1, kSHA256, kDigestCount };

  // Loads the providers; moduleDir, when given, is the directory the legacy provider is loaded
  // from instead of OpenSSL's own.
  explicit tCryptoLibrary(const char* moduleDir = nullptr);
  ~tCryptoLibrary();
  tCryptoLibrary(const tCryptoLibrary&) = delete;
  tCryptoLibrary& operator=(const tCryptoLibrary&) = delete;

  // The library the component uses: built on first use, exactly once, and kept for the life of
  // the process.
  static const tCryptoLibrary& shared();

  bool hasLegacy() const { return mLegacy != nullptr; }
  // Null when the algorithm is not available.
  const EVP_CIPHER* cipher(eCipher c) const { return mCiphers[c]; }
  const EVP_MD* digest(eDigest d) const { return mDigests[d]; }

 private:
  OSSL_LIB_CTX* mCtx = nullptr;
  OSSL_PROVIDER* mDefault = nullptr;
  OSSL_PROVIDER* mLegacy = nullptr;
  EVP_CIPHER* mCiphers[kCipherCount] = {};
  EVP_MD* mDigests[kDigestCount] = {};
};

// ---------------------------------------------------------------------------------------------
// Block ciphers in electronic-codebook mode over zero-padded blocks.
//
// The key is cut to, or padded with zero bytes up to, the bytes the cipher uses. out must hold
// the input length rounded up to whole blocks and may be the same buffer as in (it must not
// overlap it otherwise); an empty input gives no block.

const size_t kDESBlock = 8;
const size_t kAESBlock = 16;

inline size_t roundUpToBlock(size_t len, size_t block) { return (len + block - 1) / block * block; }

// Triple DES, encrypt-decrypt-encrypt with three keys: key bytes 1-8, 9-16 and 17-24 (a short
// key leaves the later keys zero).
eCipherStatus encrypt3DES(const qbyte* key, size_t keyLen, const qbyte* in, size_t len, qbyte* out,
                          bool decrypt, const tCryptoLibrary& lib = tCryptoLibrary::shared());

// AES-128, -192 or -256 (FIPS-197) by code.
eCipherStatus encryptAES(eZQEncrypt code, const qbyte* key, size_t keyLen, const qbyte* in,
                         size_t len, qbyte* out, bool decrypt,
                         const tCryptoLibrary& lib = tCryptoLibrary::shared());

// ARC4: the RC4 key schedule and key stream, nothing discarded. The key is capped at 255
// bytes; an empty key acts as one zero byte. out holds len bytes and may be in.
eCipherStatus encryptARC4(const qbyte* key, size_t keyLen, const qbyte* in, size_t len, qbyte* out,
                          const tCryptoLibrary& lib = tCryptoLibrary::shared());

// DES with a text form of its own. Encryption takes 1 to 16 bytes, zero-pads them to two DES
// blocks under the first 8 key bytes and writes the 16 output bytes as four unsigned 32-bit
// numbers (most significant byte first), each as "+digits", or "-" alone for 0: at most 44
// characters. Decryption takes that text (1 to 59 bytes), where each number is a sign ("-"
// negates) and digits up to the next sign; missing numbers are 0 and only the low 32 bits of
// each count; it gives the decrypted 16 bytes up to the first zero byte.
// The 32-bit build writes each number as a signed 32-bit value instead: one whose top bit is
// set is "-" and the digits of its magnitude (3722063774 is "-572903522"). Decryption reads
// both forms alike, so text from either build decrypts in the other.
const size_t kDESTextMax = 44;
const size_t kDESInputMax = 16;
const size_t kDESTextInputMax = 59;
enum class eDESTextForm { kUnsigned, kSigned };
constexpr eDESTextForm kBuildDESTextForm =
    sizeof(void*) == 4 ? eDESTextForm::kSigned : eDESTextForm::kUnsigned;
eCipherStatus encryptDES(const qbyte* key, size_t keyLen, const qbyte* in, size_t len,
                         qbyte out[kDESTextMax], size_t& outLen, bool decrypt,
                         const tCryptoLibrary& lib = tCryptoLibrary::shared(),
                         eDESTextForm form = kBuildDESTextForm);

// Length of the bytes before the first zero byte.
size_t lengthToZero(const qbyte* bytes, size_t len);

// ---------------------------------------------------------------------------------------------
// Digests: MD5 (RFC 1321), SHA-1 and SHA-256 (FIPS 180).

const size_t kMaxDigestLength = 32;
size_t digestLength(tCryptoLibrary::eDigest d);

// A digest computed over data handed in pieces.
class tDigest {
 public:
  explicit tDigest(tCryptoLibrary::eDigest d, const tCryptoLibrary& lib = tCryptoLibrary::shared());
  ~tDigest();
  tDigest(const tDigest&) = delete;
  tDigest& operator=(const tDigest&) = delete;

  bool ok() const { return mOk; }
  void update(const qbyte* data, size_t len);
  // Writes digestLength bytes to out; false when the library failed at any step.
  bool finish(qbyte* out);

 private:
  EVP_MD_CTX* mCtx;
  bool mOk;
};

// One-pass digests; false when the library fails.
bool signatureMD5(const qbyte* in, size_t len, qbyte out[16]);
bool signatureSHA1(const qbyte* in, size_t len, qbyte out[20]);
bool signatureSHA256(const qbyte* in, size_t len, qbyte out[32]);

// ---------------------------------------------------------------------------------------------
// Hexadecimal text: two lower-case digits per byte, high digit first. out holds 2 * len
// characters.
void convToHex(const qbyte* in, size_t len, qchar* out);
void convToHex(const qbyte* in, size_t len, char* out);
// Reads two digits (0-9, a-f, A-F) per byte into out (digits / 2 bytes). False for an odd
// number of digits or any other character.
bool convFromHex(const qchar* in, size_t digits, qbyte* out);
