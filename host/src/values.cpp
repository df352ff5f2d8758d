// Host values: storage, typed access, conversion and comparison.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "extcomp.h"
#include "internal.h"

// ---------------------------------------------------------------------------------------------
// Storage

namespace {

bool isByteType(ffttype t) { return t == fftBinary || t == fftPicture || t == fftObject; }
bool isListType(ffttype t) { return t == fftList || t == fftRow; }
bool isNumeric(ffttype t) {
  return t == fftInteger || t == fftInt64 || t == fftNumber || t == fftBoolean;
}

// A handle's byte length is a 32-bit count: more characters than this cannot be held (and
// len * 4 would overflow).
const qlong kMaxChars = 0x7FFFFFFF / 4;

qHandleInfo* charHandle(const qchar* chars, qlong len) {
  if (len <= 0) return nullptr;
  if (len > kMaxChars) throw std::bad_alloc();
  return handleWith(chars, len * 4);
}

}  // namespace

void FldData::freePayload() {
  delete list;
  list = nullptr;
  calc.reset();
  qHandleInfo* const old = h;  // freed last: the call ends the function
  h = nullptr;
  handleFree(old);
}

void FldData::assignExceptList(const FldData& other) {
  type = other.type;
  subtype = other.subtype;
  null = other.null;
  v = other.v;
  h = handleCopy(other.h);
  list = nullptr;
  calc = other.calc;
}

void FldData::assign(const FldData& other) {
  std::unique_ptr<ListData> copy(other.list ? new ListData(*other.list) : nullptr);
  assignExceptList(other);
  list = copy.release();
}

void FldData::swap(FldData& other) {
  std::swap(type, other.type);
  std::swap(subtype, other.subtype);
  std::swap(null, other.null);
  std::swap(v, other.v);
  std::swap(h, other.h);
  std::swap(list, other.list);
  calc.swap(other.calc);
}

void FldData::newList(bool isRow) {
  list = new ListData();
  list->isRow = isRow;
}

// ---------------------------------------------------------------------------------------------
// Text forms

namespace {

std::u32string ascii(const char* s, size_t n) { return std::u32string(s, s + n); }

std::u32string numberText(double d) {
  if (std::isnan(d)) return U"";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, d);
  return ascii(buf, static_cast<size_t>(r.ptr - buf));
}

}  // namespace

std::u32string textOf(const FldData& d) {
  if (d.null) return U"";
  char buf[32];
  switch (d.type) {
    case fftCharacter:
      return d.h ? std::u32string(reinterpret_cast<const qchar*>(d.h->mData),
                                  static_cast<size_t>(d.h->mUsed / 4))
                 : std::u32string();
    case fftInteger:
      return ascii(buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, "%d", d.v.i)));
    case fftInt64:
      return ascii(buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, "%lld",
                                                          static_cast<long long>(d.v.i64))));
    case fftNumber:
      return numberText(d.v.num);
    case fftBoolean:
      return d.v.i == qboolTrue ? U"1" : U"0";
    case fftDate:
      if (d.v.i == 0) return U"";
      return ascii(
          buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.v.i / 10000,
                                                 d.v.i / 100 % 100, d.v.i % 100)));
    default:
      return U"";
  }
}

bool textToLong(const qchar* s, qlong len, qlong& out) {
  const qchar comma = hostCommaChar();
  bool negative = false;
  int digits = 0;
  qint64 value = 0;
  for (qlong i = 0; i < len; ++i) {
    const qchar c = s[i];
    if (c >= U'0' && c <= U'9') {
      if (++digits > 10) return false;
      value = value * 10 + (c - U'0');
      if (value > 2147483647) return false;
    } else if (c == U'-') {
      if (negative) return false;
      negative = true;
    } else if (c == U'+' || c == U' ' || c < 32 || c == 127 || c == comma) {
      // skipped wherever it stands
    } else {
      return false;
    }
  }
  out = static_cast<qlong>(negative ? -value : value);
  return true;
}

namespace {

bool textToNumber(const std::u32string& t, double& out) {
  std::string s;
  for (qchar c : t) {
    if (c == U' ' || c == hostCommaChar()) continue;
    if (c > 127) return false;
    s += static_cast<char>(c);
  }
  if (s.empty()) {
    out = 0;
    return true;
  }
  const char* first = s.data();
  if (*first == '+') ++first;
  auto r = std::from_chars(first, s.data() + s.size(), out);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool textToDate(const std::u32string& t, qlong& out) {
  if (t.empty()) {
    out = 0;
    return true;
  }
  int y, m, d;
  char tail;
  std::string s(t.begin(), t.end());
  if (std::sscanf(s.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return false;
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return false;
  out = y * 10000 + m * 100 + d;
  return true;
}

double numberOf(const FldData& d) {
  switch (d.type) {
    case fftInteger:
      return d.v.i;
    case fftInt64:
      return static_cast<double>(d.v.i64);
    case fftNumber:
      return d.v.num;
    case fftBoolean:
      return d.v.i == qboolTrue ? 1 : 0;
    case fftDate:
      return d.v.i;
    default:
      return 0;
  }
}

// Integer value of a number: rounded half away from zero, saturated to 32 bits.
qlong roundToLong(double x) {
  if (std::isnan(x)) return 0;
  x = std::round(x);
  if (x > 2147483647.0) return 2147483647;
  if (x < -2147483648.0) return INT32_MIN;
  return static_cast<qlong>(x);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// EXTfldval

EXTfldval::EXTfldval() : mData(new FldData()), mOwned(mData) {}
EXTfldval::EXTfldval(qfldval ref) : mData(ref), mOwned(nullptr) {}
EXTfldval::EXTfldval(const EXTfldval& other) : mData(new FldData(*other.mData)), mOwned(mData) {}
EXTfldval& EXTfldval::operator=(const EXTfldval& other) {
  if (mData != other.mData) *mData = *other.mData;
  return *this;
}
EXTfldval::~EXTfldval() { delete mOwned; }

void EXTfldval::take(EXTfldval& other) {
  if (mData == other.mData) return;
  if (other.isReference()) {
    *this = other;
    return;
  }
  FldData old;
  old.swap(*mData);
  mData->swap(*other.mData);  // other now holds the empty character value
}

void EXTfldval::referTo(qfldval ref) {
  if (mOwned != ref) delete mOwned;
  mOwned = nullptr;
  mData = ref;
}

ffttype EXTfldval::getType(qshort* subtype) const {
  if (subtype) *subtype = mData->subtype;
  return mData->type;
}

qbool EXTfldval::isNull() const { return mData->null; }

qbool EXTfldval::isEmpty() const {
  const FldData& d = *mData;
  if (d.null) return qfalse;
  switch (d.type) {
    case fftCharacter:
      return HANgetUsed(d.h) == 0;
    case fftInteger:
    case fftDate:
      return d.v.i == 0;
    case fftBoolean:
      return d.v.i != qboolTrue;
    case fftInt64:
      return d.v.i64 == 0;
    case fftNumber:
      return d.v.num == 0;
    case fftList:
    case fftRow:
      return !d.list || d.list->cols.empty();
    case fftObjref:
      return d.v.obj == 0;
    default:
      return HANgetUsed(d.h) == 0;
  }
}

void EXTfldval::setEmpty(ffttype type, qshort subtype) { mData->reset(type, subtype, false); }
void EXTfldval::setNull(ffttype type, qshort subtype) { mData->reset(type, subtype, true); }

qlong EXTfldval::getCharLen() const {
  if (mData->type == fftCharacter) return mData->null ? 0 : HANgetUsed(mData->h) / 4;
  return static_cast<qlong>(textOf(*mData).size());
}

void EXTfldval::getChar(qlong maxLen, qchar* buf, qlong& realLen) const {
  if (mData->type == fftCharacter) {
    const qlong len = mData->null ? 0 : HANgetUsed(mData->h) / 4;
    realLen = len < maxLen ? len : maxLen;
    if (realLen > 0) std::memcpy(buf, mData->h->mData, static_cast<size_t>(realLen) * 4);
    return;
  }
  const std::u32string t = textOf(*mData);
  realLen = static_cast<qlong>(t.size()) < maxLen ? static_cast<qlong>(t.size()) : maxLen;
  if (realLen > 0) std::memcpy(buf, t.data(), static_cast<size_t>(realLen) * 4);
}

void EXTfldval::getChar(strxxx& out) const {
  qlong len = 0;
  getChar(out.maxLength(), out.cString(), len);
  out.setLength(len);
}

void EXTfldval::setChar(const qchar* chars, qlong len) {
  qHandleInfo* h = charHandle(chars, len);  // before the old content goes: chars may live there
  mData->rewrite(fftCharacter, [h](FldData& d) { d.h = h; });
}

qlong EXTfldval::getLong() const {
  const FldData& d = *mData;
  if (d.null) return 0;
  switch (d.type) {
    case fftInteger:
      return d.v.i;
    case fftBoolean:
      return d.v.i == qboolTrue ? 1 : 0;
    case fftInt64:
      return static_cast<qlong>(d.v.i64);
    case fftNumber:
      return roundToLong(d.v.num);
    case fftCharacter: {
      qlong out = 0;
      const std::u32string t = textOf(d);
      return textToLong(t.data(), static_cast<qlong>(t.size()), out) ? out : 0;
    }
    default:
      return 0;
  }
}

void EXTfldval::setLong(qlong v) {
  mData->rewrite(fftInteger, [v](FldData& d) { d.v.i = v; });
}

qint64 EXTfldval::getLong64() const {
  const FldData& d = *mData;
  if (d.null) return 0;
  if (d.type == fftInt64) return d.v.i64;
  if (d.type == fftNumber) return static_cast<qint64>(std::llround(d.v.num));
  return getLong();
}

void EXTfldval::setLong64(qint64 v) {
  mData->rewrite(fftInt64, [v](FldData& d) { d.v.i64 = v; });
}

double EXTfldval::getNum() const {
  const FldData& d = *mData;
  if (d.null) return 0;
  if (d.type == fftCharacter) {
    double out = 0;
    return textToNumber(textOf(d), out) ? out : 0;
  }
  return numberOf(d);
}

void EXTfldval::setNum(double v) {
  mData->rewrite(fftNumber, [v](FldData& d) { d.v.num = v; });
}

qlong EXTfldval::getBool() const {
  const FldData& d = *mData;
  if (d.null) return 0;
  if (d.type == fftBoolean) return d.v.i;
  if (isNumeric(d.type)) return numberOf(d) != 0 ? qboolTrue : qboolFalse;
  EXTfldval copy(*this);
  return copy.conv(fftBoolean) ? copy.mData->v.i : qboolFalse;
}

void EXTfldval::setBool(qlong hostBool) {
  mData->rewrite(fftBoolean, [hostBool](FldData& d) {
    d.v.i = hostBool == qboolTrue ? qboolTrue : qboolFalse;
  });
}

void EXTfldval::setDate(qlong year, qlong month, qlong day) {
  const qlong packed = year <= 0 ? 0 : year * 10000 + month * 100 + day;
  mData->rewrite(fftDate, [packed](FldData& d) { d.v.i = packed; });
}

qbool EXTfldval::getDate(qlong& year, qlong& month, qlong& day) const {
  if (mData->type != fftDate || mData->null) return qfalse;
  year = mData->v.i / 10000;
  month = mData->v.i / 100 % 100;
  day = mData->v.i % 100;
  return qtrue;
}

qlong EXTfldval::getBinLen() const {
  return isByteType(mData->type) && !mData->null ? HANgetUsed(mData->h) : 0;
}

void EXTfldval::getBinary(qlong maxLen, qbyte* buf, qlong& realLen) const {
  const qlong len = getBinLen();
  realLen = len < maxLen ? len : maxLen;
  if (realLen > 0) std::memcpy(buf, mData->h->mData, static_cast<size_t>(realLen));
}

void EXTfldval::setBinary(ffttype type, const qbyte* bytes, qlong len) {
  qHandleInfo* h = len > 0 ? handleWith(bytes, len) : nullptr;
  mData->rewrite(isByteType(type) ? type : fftBinary, [h](FldData& d) { d.h = h; });
}

qHandleInfo* EXTfldval::getHandle() const { return mData->null ? nullptr : mData->h; }

void EXTfldval::setHandle(ffttype type, qHandleInfo* h) {
  if (h == mData->h && (type == fftCharacter || isByteType(type))) {
    mData->type = type;
    mData->null = false;
    return;
  }
  mData->reset(type == fftCharacter || isByteType(type) ? type : fftBinary, 0, false);
  mData->h = h;
}

qbool EXTfldval::getList(EXTqlist* out, qbool) const {
  if (!isListType(mData->type)) return qfalse;
  if (!mData->list) {
    mData->list = new ListData();
    mData->list->isRow = mData->type == fftRow;
  }
  out->setRef(mData->list);
  return qtrue;
}

void EXTfldval::setList(EXTqlist* list, qbool ownIt) {
  ListData* src = list ? list->data() : nullptr;
  // Everything that needs memory happens before the value or list changes: a failure leaves
  // both as they were and frees the copy.
  std::unique_ptr<ListData> copy(src && !ownIt ? new ListData(*src) : new ListData());
  if (src && ownIt) {
    copy->isRow = src->isRow;
    copy->swapContent(*src);
  }
  const bool row = src && src->isRow;
  FldData& d = *mData;
  d.clearPayload();
  d.type = row ? fftRow : fftList;
  d.subtype = 0;
  d.null = false;
  d.v.i64 = 0;
  copy->isRow = row;
  d.list = copy.release();
}

objinst EXTfldval::getObjRef() const {
  return mData->type == fftObjref && !mData->null ? mData->v.obj : 0;
}

void EXTfldval::setObjRef(objinst inst) {
  mData->rewrite(fftObjref, [inst](FldData& d) { d.v.obj = inst; });
}

qbool EXTfldval::conv(ffttype type, qshort subtype) {
  FldData& d = *mData;
  if (type == fftNone) return qtrue;
  if (d.null) {
    d.reset(type, subtype, true);
    return qtrue;
  }
  if (d.type == type) {
    d.subtype = subtype;
    return qtrue;
  }
  FldData out;
  out.reset(type, subtype, false);
  switch (type) {
    case fftCharacter: {
      if (isListType(d.type) || isByteType(d.type) || d.type == fftObjref) return qfalse;
      const std::u32string t = textOf(d);
      out.h = charHandle(t.data(), charCount(t.size()));
      break;
    }
    case fftInteger:
      if (d.type == fftCharacter) {
        const std::u32string t = textOf(d);
        if (!textToLong(t.data(), static_cast<qlong>(t.size()), out.v.i)) return qfalse;
      } else if (isNumeric(d.type)) {
        out.v.i = roundToLong(numberOf(d));
      } else {
        return qfalse;
      }
      break;
    case fftInt64:
      if (d.type == fftCharacter) {
        const std::u32string t = textOf(d);
        qlong v = 0;
        if (!textToLong(t.data(), static_cast<qlong>(t.size()), v)) return qfalse;
        out.v.i64 = v;
      } else if (isNumeric(d.type)) {
        out.v.i64 = d.type == fftNumber ? std::llround(d.v.num) : static_cast<qint64>(numberOf(d));
      } else {
        return qfalse;
      }
      break;
    case fftNumber:
      if (d.type == fftCharacter) {
        if (!textToNumber(textOf(d), out.v.num)) return qfalse;
      } else if (isNumeric(d.type)) {
        out.v.num = numberOf(d);
      } else {
        return qfalse;
      }
      break;
    case fftBoolean:
      if (d.type == fftCharacter) {
        std::u32string t = textOf(d);
        for (qchar& c : t) c = uppC(c);
        if (t == U"YES" || t == U"TRUE" || t == U"1")
          out.v.i = qboolTrue;
        else if (t.empty() || t == U"NO" || t == U"FALSE" || t == U"0")
          out.v.i = qboolFalse;
        else
          return qfalse;
      } else if (isNumeric(d.type)) {
        out.v.i = numberOf(d) != 0 ? qboolTrue : qboolFalse;
      } else {
        return qfalse;
      }
      break;
    case fftDate:
      if (d.type != fftCharacter || !textToDate(textOf(d), out.v.i)) return qfalse;
      break;
    case fftBinary:
    case fftPicture:
    case fftObject:
      if (!isByteType(d.type)) return qfalse;
      out.h = handleCopy(d.h);
      break;
    case fftList:
    case fftRow:
      if (isListType(d.type) && d.list) {
        delete out.list;
        out.list = new ListData(*d.list);
        out.list->isRow = type == fftRow;
        if (type == fftRow && out.list->rows.size() > 1) {
          // a row keeps the current line (or the first) of a list
          const size_t keep =
              out.list->current > 0 ? static_cast<size_t>(out.list->current - 1) : 0;
          out.list->keepOnlyRow(keep);
          out.list->current = 1;
        }
      }
      break;
    case fftObjref:
      return qfalse;
    default:
      return qfalse;
  }
  d.swap(out);
  return qtrue;
}

namespace {

int typeRank(ffttype t) {
  if (isNumeric(t)) return 1;
  if (t == fftDate) return 2;
  if (t == fftCharacter) return 3;
  if (isByteType(t)) return 4;
  if (isListType(t)) return 5;
  return 6;
}

int sign(qint64 x) { return x < 0 ? -1 : x > 0 ? 1 : 0; }

int compareData(const FldData& a, const FldData& b, bool caseInsensitive);

size_t rowCount(const ListData* l) { return l ? l->rows.size() : 0; }
size_t colCount(const ListData* l) { return l ? l->cols.size() : 0; }

// Lists compare by column count, then cell by cell in line order, then by line count. A list
// cell's lists are compared in place of the cell: one level of a work list per nesting level.
int compareLists(const ListData* a, const ListData* b, bool caseInsensitive) {
  struct Level {
    const ListData *a, *b;
    size_t row, col;
  };
  if (colCount(a) != colCount(b)) return colCount(a) < colCount(b) ? -1 : 1;
  std::vector<Level> levels{{a, b, 0, 0}};
  while (!levels.empty()) {
    Level& at = levels.back();
    const size_t ra = rowCount(at.a), rb = rowCount(at.b), cols = colCount(at.a);
    if (at.row >= ra || at.row >= rb || cols == 0) {
      if (ra != rb) return ra < rb ? -1 : 1;
      levels.pop_back();
      continue;
    }
    const FldData& x = at.a->rows[at.row].cells[at.col];
    const FldData& y = at.b->rows[at.row].cells[at.col];
    if (++at.col == cols) at.col = 0, ++at.row;
    if (!x.null && !y.null && isListType(x.type) && isListType(y.type)) {
      if (colCount(x.list) != colCount(y.list)) return colCount(x.list) < colCount(y.list) ? -1 : 1;
      levels.push_back(Level{x.list, y.list, 0, 0});
      continue;
    }
    const int c = compareData(x, y, caseInsensitive);
    if (c) return c;
  }
  return 0;
}

int compareData(const FldData& a, const FldData& b, bool caseInsensitive) {
  if (a.null || b.null) return a.null == b.null ? 0 : a.null ? -1 : 1;
  const int ra = typeRank(a.type), rb = typeRank(b.type);
  if (ra != rb) return ra < rb ? -1 : 1;
  switch (ra) {
    case 1:
      if (a.type != fftNumber && b.type != fftNumber) {
        const qint64 x = a.type == fftInt64 ? a.v.i64 : static_cast<qint64>(numberOf(a));
        const qint64 y = b.type == fftInt64 ? b.v.i64 : static_cast<qint64>(numberOf(b));
        return sign((x > y) - (x < y));
      } else {
        const double x = numberOf(a), y = numberOf(b);
        return x < y ? -1 : x > y ? 1 : 0;
      }
    case 2:
      return sign(static_cast<qint64>(a.v.i) - b.v.i);
    case 3: {
      const qlong la = HANgetUsed(a.h) / 4, lb = HANgetUsed(b.h) / 4;
      const qchar* x = a.h ? reinterpret_cast<const qchar*>(a.h->mData) : nullptr;
      const qchar* y = b.h ? reinterpret_cast<const qchar*>(b.h->mData) : nullptr;
      const qlong n = la < lb ? la : lb;
      for (qlong i = 0; i < n; ++i) {
        qchar p = x[i], q = y[i];
        if (caseInsensitive) p = uppC(p), q = uppC(q);
        if (p != q) return p < q ? -1 : 1;
      }
      return la == lb ? 0 : la < lb ? -1 : 1;
    }
    case 4: {
      const qlong la = HANgetUsed(a.h), lb = HANgetUsed(b.h);
      const qlong n = la < lb ? la : lb;
      const int x = n > 0 ? std::memcmp(a.h->mData, b.h->mData, static_cast<size_t>(n)) : 0;
      if (x) return x < 0 ? -1 : 1;
      return la == lb ? 0 : la < lb ? -1 : 1;
    }
    case 5:
      return compareLists(a.list, b.list, caseInsensitive);
    default:
      return a.type != b.type ? (a.type < b.type ? -1 : 1)
                              : (a.v.obj == b.v.obj  ? 0
                                 : a.v.obj < b.v.obj ? -1
                                                     : 1);
  }
}

}  // namespace

int compareCells(const FldData& a, const FldData& b, bool caseInsensitive) {
  return compareData(a, b, caseInsensitive);
}

qlong EXTfldval::compare(const EXTfldval& other, qbool caseInsensitive) const {
  return compareData(*mData, *other.mData, caseInsensitive);
}

qlong EXTfldval::pos(const EXTfldval& sub) const {
  const std::u32string hay = textOf(*mData), needle = textOf(*sub.mData);
  const size_t at = hay.find(needle);
  return at == std::u32string::npos ? 0 : static_cast<qlong>(at) + 1;
}

void EXTfldval::concat(const EXTfldval& other) {
  const std::u32string t = textOf(*mData) + textOf(*other.mData);
  setChar(t.data(), charCount(t.size()));
}
