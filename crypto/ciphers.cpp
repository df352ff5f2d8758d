// Ciphers, digests and hexadecimal text over plain byte buffers (OpenSSL 3, EVP interface).
#include "ciphers.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/provider.h>

#include <climits>
#include <cstring>
#include <memory>

// ---------------------------------------------------------------------------------------------
// Library context

tCryptoLibrary::tCryptoLibrary(const char* moduleDir) {
  static const char* const kCipherNames[kCipherCount] = {
      "DES-ECB", "DES-EDE3-ECB", "AES-128-ECB", "AES-192-ECB", "AES-256-ECB", "RC4"};
  static const char* const kDigestNames[kDigestCount] = {"MD5", "SHA1", "SHA256"};
  mCtx = OSSL_LIB_CTX_new();
  if (mCtx) {
    if (moduleDir) OSSL_PROVIDER_set_default_search_path(mCtx, moduleDir);
    mDefault = OSSL_PROVIDER_load(mCtx, "default");
    mLegacy = OSSL_PROVIDER_load(mCtx, "legacy");
    for (int i = 0; i < kCipherCount; ++i)
      mCiphers[i] = EVP_CIPHER_fetch(mCtx, kCipherNames[i], nullptr);
    for (int i = 0; i < kDigestCount; ++i)
      mDigests[i] = EVP_MD_fetch(mCtx, kDigestNames[i], nullptr);
  }
  // A provider or algorithm that is missing is answered by a null pointer; its reasons on
  // OpenSSL's error queue would only mislead a later caller.
  ERR_clear_error();
}

tCryptoLibrary::~tCryptoLibrary() {
  for (EVP_CIPHER* c : mCiphers) EVP_CIPHER_free(c);
  for (EVP_MD* d : mDigests) EVP_MD_free(d);
  if (mLegacy) OSSL_PROVIDER_unload(mLegacy);
  if (mDefault) OSSL_PROVIDER_unload(mDefault);
  OSSL_LIB_CTX_free(mCtx);
}

const tCryptoLibrary& tCryptoLibrary::shared() {
  // Never freed: methods may run until the process ends, after static destructors.
  static const tCryptoLibrary* const lib = new tCryptoLibrary();
  return *lib;
}

// ---------------------------------------------------------------------------------------------
// Ciphers

namespace {

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
typedef std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> CipherCtx;

// Runs len bytes through an initialised context, in pieces that fit the library's int sizes.
bool update(EVP_CIPHER_CTX* ctx, qbyte* out, const qbyte* in, size_t len) {
  const size_t kPiece = size_t(1) << 30;  // a multiple of every block size
  while (len > 0) {
    const size_t n = len < kPiece ? len : kPiece;
    int written = 0;
    if (!EVP_CipherUpdate(ctx, out, &written, in, static_cast<int>(n)) ||
        static_cast<size_t>(written) != n)
      return false;
    in += n;
    out += n;
    len -= n;
  }
  return true;
}

// Electronic-codebook mode with the final partial block zero-padded.
eCipherStatus runECB(const EVP_CIPHER* cipher, const qbyte* key, size_t block, const qbyte* in,
                     size_t len, qbyte* out, bool decrypt) {
  if (!cipher) return eCipherStatus::kUnavailable;
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || !EVP_CipherInit_ex2(ctx.get(), cipher, key, nullptr, decrypt ? 0 : 1, nullptr) ||
      !EVP_CIPHER_CTX_set_padding(ctx.get(), 0))
    return eCipherStatus::kFailed;
  const size_t full = len / block * block;
  if (!update(ctx.get(), out, in, full)) return eCipherStatus::kFailed;
  if (len > full) {
    qbyte tail[kAESBlock] = {};
    std::memcpy(tail, in + full, len - full);
    if (!update(ctx.get(), out + full, tail, block)) return eCipherStatus::kFailed;
  }
  return eCipherStatus::kOk;
}

// The key cut to, or zero-padded up to, size bytes.
template <size_t N>
void fitKey(const qbyte* key, size_t keyLen, qbyte (&out)[N], size_t size) {
  std::memset(out, 0, N);
  if (keyLen > size) keyLen = size;
  if (keyLen > 0) std::memcpy(out, key, keyLen);
}

}  // namespace

eCipherStatus encrypt3DES(const qbyte* key, size_t keyLen, const qbyte* in, size_t len, qbyte* out,
                          bool decrypt, const tCryptoLibrary& lib) {
  qbyte k[24];
  fitKey(key, keyLen, k, 24);
  return runECB(lib.cipher(tCryptoLibrary::kDES3), k, kDESBlock, in, len, out, decrypt);
}

eCipherStatus encryptAES(eZQEncrypt code, const qbyte* key, size_t keyLen, const qbyte* in,
                         size_t len, qbyte* out, bool decrypt, const tCryptoLibrary& lib) {
  tCryptoLibrary::eCipher cipher;
  size_t size;
  switch (code) {
    case kZQEncryptAES128:
      cipher = tCryptoLibrary::kAES128, size = 16;
      break;
    case kZQEncryptAES192:
      cipher = tCryptoLibrary::kAES192, size = 24;
      break;
    case kZQEncryptAES256:
      cipher = tCryptoLibrary::kAES256, size = 32;
      break;
    default:
      return eCipherStatus::kFailed;
  }
  qbyte k[32];
  fitKey(key, keyLen, k, size);
  return runECB(lib.cipher(cipher), k, kAESBlock, in, len, out, decrypt);
}

eCipherStatus encryptARC4(const qbyte* key, size_t keyLen, const qbyte* in, size_t len, qbyte* out,
                          const tCryptoLibrary& lib) {
  const EVP_CIPHER* rc4 = lib.cipher(tCryptoLibrary::kRC4);
  if (!rc4) return eCipherStatus::kUnavailable;
  static const qbyte kZeroKey[1] = {0};
  if (keyLen == 0) {
    key = kZeroKey;
    keyLen = 1;
  }
  if (keyLen > 255) keyLen = 255;
  CipherCtx ctx(EVP_CIPHER_CTX_new());
  if (!ctx || !EVP_CipherInit_ex2(ctx.get(), rc4, nullptr, nullptr, 1, nullptr) ||
      !EVP_CIPHER_CTX_set_key_length(ctx.get(), static_cast<int>(keyLen)) ||
      !EVP_CipherInit_ex2(ctx.get(), nullptr, key, nullptr, 1, nullptr) ||
      !update(ctx.get(), out, in, len))
    return eCipherStatus::kFailed;
  return eCipherStatus::kOk;
}

namespace {

// Four 32-bit numbers as "+digits", or "-" for 0; in the signed form, a number with its top
// bit set as "-" and the digits of its magnitude.
size_t formatDESText(const qbyte block[16], qbyte* out, eDESTextForm form) {
  size_t n = 0;
  for (int i = 0; i < 4; ++i) {
    const qbyte* b = block + 4 * i;
    uint32_t v = (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | b[3];
    if (v == 0) {
      out[n++] = '-';
      continue;
    }
    if (form == eDESTextForm::kSigned && (v >> 31) != 0) {
      out[n++] = '-';
      v = 0u - v;  // the magnitude; 2147483648 for the lowest value
    } else {
      out[n++] = '+';
    }
    char digits[10];
    int d = 0;
    for (; v > 0; v /= 10) digits[d++] = static_cast<char>('0' + v % 10);
    while (d > 0) out[n++] = static_cast<qbyte>(digits[--d]);
  }
  return n;
}

// Reads up to four signed numbers; keeps the low 32 bits of each, most significant byte first.
// Digits before the first sign belong to a first, positive number; numbers past the fourth are
// ignored. False for a character other than a digit or a sign.
bool parseDESText(const qbyte* text, size_t len, qbyte block[16]) {
  uint32_t values[4] = {};
  bool negative[4] = {};
  int index = -1;
  for (size_t i = 0; i < len; ++i) {
    const qbyte c = text[i];
    if (c == '+' || c == '-') {
      ++index;
      if (index < 4) negative[index] = c == '-';
    } else if (c >= '0' && c <= '9') {
      if (index < 0) index = 0;
      if (index < 4) values[index] = values[index] * 10u + (c - '0');  // modulo 2^32
    } else {
      return false;
    }
  }
  for (int i = 0; i < 4; ++i) {
    const uint32_t v = negative[i] ? 0u - values[i] : values[i];
    block[4 * i] = static_cast<qbyte>(v >> 24);
    block[4 * i + 1] = static_cast<qbyte>(v >> 16);
    block[4 * i + 2] = static_cast<qbyte>(v >> 8);
    block[4 * i + 3] = static_cast<qbyte>(v);
  }
  return true;
}

}  // namespace

eCipherStatus encryptDES(const qbyte* key, size_t keyLen, const qbyte* in, size_t len,
                         qbyte out[kDESTextMax], size_t& outLen, bool decrypt,
                         const tCryptoLibrary& lib, eDESTextForm form) {
  outLen = 0;
  const size_t maxLen = decrypt ? kDESTextInputMax : kDESInputMax;
  if (len < 1 || len > maxLen) return eCipherStatus::kBadLength;
  const EVP_CIPHER* des = lib.cipher(tCryptoLibrary::kDES);
  if (!des) return eCipherStatus::kUnavailable;
  qbyte k[8];
  fitKey(key, keyLen, k, 8);
  qbyte block[16] = {};
  if (decrypt) {
    if (!parseDESText(in, len, block)) return eCipherStatus::kBadText;
  } else {
    std::memcpy(block, in, len);
  }
  const eCipherStatus status = runECB(des, k, kDESBlock, block, 16, block, decrypt);
  if (status != eCipherStatus::kOk) return status;
  if (decrypt) {
    outLen = lengthToZero(block, 16);
    std::memcpy(out, block, outLen);
  } else {
    outLen = formatDESText(block, out, form);
  }
  return eCipherStatus::kOk;
}

size_t lengthToZero(const qbyte* bytes, size_t len) {
  if (len == 0) return 0;
  const void* zero = std::memchr(bytes, 0, len);
  return zero ? static_cast<size_t>(static_cast<const qbyte*>(zero) - bytes) : len;
}

// ---------------------------------------------------------------------------------------------
// Digests

size_t digestLength(tCryptoLibrary::eDigest d) {
  switch (d) {
    case tCryptoLibrary::kMD5:
      return 16;
    case tCryptoLibrary::kSHA1:
      return 20;
    default:
      return 32;
  }
}

tDigest::tDigest(tCryptoLibrary::eDigest d, const tCryptoLibrary& lib) : mCtx(EVP_MD_CTX_new()) {
  const EVP_MD* md = lib.digest(d);
  mOk = mCtx && md && EVP_DigestInit_ex2(mCtx, md, nullptr);
}

tDigest::~tDigest() { EVP_MD_CTX_free(mCtx); }

void tDigest::update(const qbyte* data, size_t len) {
  if (mOk && len > 0) mOk = EVP_DigestUpdate(mCtx, data, len) == 1;
}

bool tDigest::finish(qbyte* out) {
  unsigned int written = 0;
  return mOk && EVP_DigestFinal_ex(mCtx, out, &written) == 1;
}

namespace {

bool oneDigest(tCryptoLibrary::eDigest d, const qbyte* in, size_t len, qbyte* out) {
  tDigest digest(d);
  digest.update(in, len);
  return digest.finish(out);
}

}  // namespace

bool signatureMD5(const qbyte* in, size_t len, qbyte out[16]) {
  return oneDigest(tCryptoLibrary::kMD5, in, len, out);
}

bool signatureSHA1(const qbyte* in, size_t len, qbyte out[20]) {
  return oneDigest(tCryptoLibrary::kSHA1, in, len, out);
}

bool signatureSHA256(const qbyte* in, size_t len, qbyte out[32]) {
  return oneDigest(tCryptoLibrary::kSHA256, in, len, out);
}

// ---------------------------------------------------------------------------------------------
// Hexadecimal text

namespace {

struct HexTables {
  qchar pairs[256][2];  // the two digits of each byte
  int16_t values[128];  // value of an ASCII digit, -1 for any other character
};

constexpr HexTables makeHexTables() {
  HexTables t{};
  const char* digits = "0123456789abcdef";
  for (int b = 0; b < 256; ++b) {
    t.pairs[b][0] = static_cast<qchar>(digits[b >> 4]);
    t.pairs[b][1] = static_cast<qchar>(digits[b & 15]);
  }
  for (int c = 0; c < 128; ++c) t.values[c] = -1;
  for (int c = 0; c < 10; ++c) t.values['0' + c] = static_cast<int16_t>(c);
  for (int c = 0; c < 6; ++c) {
    t.values['a' + c] = static_cast<int16_t>(10 + c);
    t.values['A' + c] = static_cast<int16_t>(10 + c);
  }
  return t;
}

constexpr HexTables kHex = makeHexTables();

}  // namespace

void convToHex(const qbyte* in, size_t len, qchar* out) {
  for (size_t i = 0; i < len; ++i) std::memcpy(out + 2 * i, kHex.pairs[in[i]], sizeof(qchar) * 2);
}

void convToHex(const qbyte* in, size_t len, char* out) {
  for (size_t i = 0; i < len; ++i) {
    out[2 * i] = static_cast<char>(kHex.pairs[in[i]][0]);
    out[2 * i + 1] = static_cast<char>(kHex.pairs[in[i]][1]);
  }
}

bool convFromHex(const qchar* in, size_t digits, qbyte* out) {
  if (digits % 2 != 0) return false;
  int bad = 0;
  for (size_t i = 0; i < digits / 2; ++i) {
    const qchar a = in[2 * i], b = in[2 * i + 1];
    const int hi = a < 128 ? kHex.values[a] : -1;
    const int lo = b < 128 ? kHex.values[b] : -1;
    bad |= hi | lo;
    out[i] = static_cast<qbyte>((static_cast<unsigned>(hi) << 4) | static_cast<unsigned>(lo));
  }
  return bad >= 0;
}
