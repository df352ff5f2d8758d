// $encrypt, $decrypt and $getsignature: host values in and out of the byte-buffer ciphers and
// digests. Every conversion is one pass that writes straight into the buffer its consumer
// reads: UTF-8 into the cipher's working handle, the cipher in place, hexadecimal or UTF-32
// text straight into the handle that the result parameter takes over.
#include <climits>
#include <cstring>

#include "ciphers.h"
#include "omnistools.h"
#include "ownedhandle.h"
#include "zqmain.h"

namespace {

typedef tObjZQBase Base;

const char* const kLegacyMissing =
    "DES and ARC4 need the OpenSSL legacy provider, which could not be loaded";
const char* const kCipherFailed = "The cipher library failed";
const char* const kDigestFailed = "The digest library failed";

// The characters of a character value, straight from its handle.
struct tChars {
  explicit tChars(const EXTfldval& value) {
    const OmnisTools::CharSpan span = OmnisTools::getCharsFromEXTFldVal(value);
    chars = span.chars;
    count = static_cast<size_t>(span.length);
  }
  const qchar* chars;
  size_t count;
};

// How the output bytes become the text of a character result.
enum class eTextForm { kHex, kUtf8 };

// Hands len bytes held in out to the result parameter: as they are into a binary value; as
// hexadecimal digits or as decoded UTF-8 into a character value. The result is untouched when
// memory runs out.
qlong storeOutput(EXTfldval& result, tOwnedHandle& out, size_t len, eTextForm form) {
  if (result.getType() == fftBinary) {
    if (len == 0) {
      result.setHandle(fftBinary, nullptr);
      return kStatusOk;
    }
    qHandleInfo* h = out.get();
    HANsetUsed(h, static_cast<qlong>(len));
    // A working buffer sized for the worst case of UTF-8 gives its slack back (keeping it when
    // the system will not shrink the block costs nothing but the slack).
    if (out.allocated() - len > 4096 && out.allocated() / 2 > len)
      HANglobalReAlloc(h, static_cast<qlong>(len));
    result.setHandle(fftBinary, out.release());
    return kStatusOk;
  }
  if (len == 0) {
    result.setHandle(fftCharacter, nullptr);
    return kStatusOk;
  }
  tOwnedHandle text;
  if (form == eTextForm::kHex) {
    if (!text.allocate(uint64_t(len) * 2 * sizeof(qchar))) return kErrMemory;
    convToHex(out.data(), len, reinterpret_cast<qchar*>(text.data()));
  } else {
    // UTF-8 never has more characters than bytes.
    if (!text.allocate(uint64_t(len) * sizeof(qchar))) return kErrMemory;
    const qlong chars = CHARconvFromUtf8(out.data(), static_cast<qlong>(len),
                                         reinterpret_cast<qchar*>(text.data()));
    HANsetUsed(text.get(), chars * static_cast<qlong>(sizeof(qchar)));
  }
  result.setHandle(fftCharacter, text.release());
  return kStatusOk;
}

bool isDESTextChar(qchar c) { return (c >= U'0' && c <= U'9') || c == U'+' || c == U'-'; }

qlong cipherFailure(tThreadData* td, eCipherStatus status) {
  if (status == eCipherStatus::kUnavailable)
    return Base::returnError(td, kErrUnsupported, kLegacyMissing);
  return Base::returnError(td, kErrFailed, kCipherFailed);
}

qlong encryptDecrypt(tThreadData* td, qshort paramCount, bool decrypt) {
  if (paramCount < 3)
    return Base::returnError(td, kErrParams, "Parameter count must be at least 3");
  EXTfldval source;
  qlong status = Base::getParamVar(td, 2, source, fftCharacter, fftBinary);
  if (status != 0)
    return Base::returnError(td, status, "The source parameter must be of type character");
  str255 keyText;
  if (paramCount >= 4 && (status = Base::getParamText(td, 4, keyText)) != 0)
    return Base::returnError(td, status, "The key parameter must be of type character");
  qlong method = 0;
  if ((status = Base::getParamInt(td, 1, method)) != 0)
    return Base::returnError(td, status, "The encryption method must be of type integer");

  // Input bytes: a binary source is read where it lies; a character source is converted into a
  // working handle with room for one more block, so that a block cipher can run in place.
  const size_t kSlack = kAESBlock;
  tOwnedHandle work;
  const qbyte* in;
  size_t inLen;
  if (source.getType() == fftCharacter && HANgetUsed(source.getHandle()) > 0) {
    const tChars text(source);
    if (!decrypt) {
      if (!work.allocate(uint64_t(text.count) * 4 + kSlack)) return kErrMemory;
      inLen = static_cast<size_t>(
          CHARconvToUtf8(text.chars, static_cast<qlong>(text.count), work.data()));
    } else if (method == 0) {
      for (size_t i = 0; i < text.count; ++i)
        if (!isDESTextChar(text.chars[i])) return kErrDes;
      if (!work.allocate(uint64_t(text.count) + kSlack)) return kErrMemory;
      for (size_t i = 0; i < text.count; ++i) work.data()[i] = static_cast<qbyte>(text.chars[i]);
      inLen = text.count;
    } else {
      if (text.count % 2 != 0) return kErrHex;
      if (!work.allocate(uint64_t(text.count) / 2 + kSlack)) return kErrMemory;
      if (!convFromHex(text.chars, text.count, work.data())) return kErrHex;
      inLen = text.count / 2;
    }
    in = work.data();
  } else {
    qHandleInfo* h = source.getHandle();
    in = h ? h->mData : nullptr;
    inLen = static_cast<size_t>(HANgetUsed(h));
  }

  // Key: the UTF-8 bytes of the key text up to its first zero byte.
  qbyte key[255 * 4];
  size_t keyLen = static_cast<size_t>(CHARconvToUtf8(keyText.cString(), keyText.length(), key));
  keyLen = lengthToZero(key, keyLen);

  if (method < 0 || method > 5)
    return Base::returnError(td, kErrParams, "Parameter 1 is out of range");

  tOwnedHandle out;
  size_t outLen = 0;
  if (method == 0) {
    qbyte text[kDESTextMax];
    const eCipherStatus cs = encryptDES(key, keyLen, in, inLen, text, outLen, decrypt);
    switch (cs) {
      case eCipherStatus::kOk:
        break;
      case eCipherStatus::kBadLength:
        return Base::returnError(td, kErrParams,
                                 decrypt ? "Input length must be between 1 and 59"
                                         : "Input length must be between 1 and 16");
      case eCipherStatus::kBadText:
        return kErrDes;
      default:
        return cipherFailure(td, cs);
    }
    if (!out.allocate(outLen)) return kErrMemory;
    std::memcpy(out.data(), text, outLen);
  } else if (method == 5) {
    if (decrypt) return Base::returnError(td, kErrUnsupported, "ARC4 does not support $decrypt");
    if (work.get())
      out.take(work);
    else if (!out.allocate(inLen))
      return kErrMemory;
    const eCipherStatus cs = encryptARC4(key, keyLen, in, inLen, out.data());
    if (cs != eCipherStatus::kOk) return cipherFailure(td, cs);
    outLen = inLen;
  } else {
    const size_t block = method == 1 ? kDESBlock : kAESBlock;
    if (work.get())
      out.take(work);  // room for the padding: in place
    else if (!out.allocate(uint64_t(inLen) + block))
      return kErrMemory;
    const eCipherStatus cs = method == 1 ? encrypt3DES(key, keyLen, in, inLen, out.data(), decrypt)
                                         : encryptAES(static_cast<eZQEncrypt>(method), key, keyLen,
                                                      in, inLen, out.data(), decrypt);
    if (cs != eCipherStatus::kOk) return cipherFailure(td, cs);
    outLen = roundUpToBlock(inLen, block);
    // Decrypted data ends at its first zero byte: the padding, or a zero in the data itself.
    if (decrypt) outLen = lengthToZero(out.data(), outLen);
  }

  EXTfldval result;
  if ((status = Base::getParamTarget(td, 3, result, fftCharacter, fftBinary)) != 0)
    return Base::returnError(td, status, "The result parameter must be of type character");
  const eTextForm form = !decrypt && method != 0 ? eTextForm::kHex : eTextForm::kUtf8;
  if ((status = storeOutput(result, out, outLen, form)) != 0) return status;
  ECOsetParameterChanged(td->eci, 3);
  return kStatusOk;
}

qlong getSignature(tThreadData* td, qshort paramCount) {
  if (paramCount < 3)
    return Base::returnError(td, kErrParams, "Parameter count must be at least 3");
  EXTfldval source;
  qlong status = Base::getParamVar(td, 2, source, fftCharacter, fftBinary);
  if (status != 0)
    return Base::returnError(td, status, "The source parameter must be of type character");
  qlong algorithm = 0;
  if ((status = Base::getParamInt(td, 1, algorithm)) != 0)
    return Base::returnError(td, status, "The signature algorythm must be of type integer");
  if (algorithm < 0 || algorithm > 2)
    return Base::returnError(td, kErrParams, "Parameter 1 is out of range");

  const auto kind = static_cast<tCryptoLibrary::eDigest>(algorithm);
  tDigest digest(kind);
  if (source.getType() == fftCharacter) {
    // Characters are digested in their UTF-8 form, converted piece by piece.
    const tChars text(source);
    const size_t kPiece = 4096;
    qbyte utf8[kPiece * 4];
    for (size_t done = 0; done < text.count; done += kPiece) {
      const size_t n = text.count - done < kPiece ? text.count - done : kPiece;
      const qlong bytes = CHARconvToUtf8(text.chars + done, static_cast<qlong>(n), utf8);
      digest.update(utf8, static_cast<size_t>(bytes));
    }
  } else {
    qHandleInfo* h = source.getHandle();
    digest.update(h ? h->mData : nullptr, static_cast<size_t>(HANgetUsed(h)));
  }
  const size_t len = digestLength(kind);
  tOwnedHandle out;
  if (!out.allocate(len)) return kErrMemory;
  if (!digest.finish(out.data())) return Base::returnError(td, kErrFailed, kDigestFailed);

  EXTfldval result;
  if ((status = Base::getParamTarget(td, 3, result, fftCharacter, fftBinary)) != 0)
    return Base::returnError(td, status,
                             "The result parameter must be of type character or binary");
  if ((status = storeOutput(result, out, len, eTextForm::kHex)) != 0) return status;
  ECOsetParameterChanged(td->eci, 3);
  return kStatusOk;
}

}  // namespace

qlong tObjZQMain::methodEncryptDecrypt(tThreadData* td, qshort paramCount, qshort decrypt) {
  return encryptDecrypt(td, paramCount, decrypt != 0);
}

qlong tObjZQMain::methodGetSignature(tThreadData* td, qshort paramCount) {
  return getSignature(td, paramCount);
}
