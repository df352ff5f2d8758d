// Memory handles, host strings, character conversion and case mapping.
#include <unicode/uchar.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if __has_include(<valgrind/memcheck.h>)
#include <valgrind/memcheck.h>
#else
#define RUNNING_ON_VALGRIND 0
#define VALGRIND_MAKE_MEM_UNDEFINED(p, n) ((void)0)
#define VALGRIND_MAKE_MEM_NOACCESS(p, n) ((void)0)
#endif

#include "hostruntime.h"
#include "internal.h"

namespace {

struct FailureSwitch {
  qlong countdown = 0;  // the allocation that makes this reach 0 fails
  qlong above = 0;
  bool refuseRows = false;
  bool refuseCols = false;
  qchar comma = U',';
} gSwitch;

bool refused(qlong bytes) {
  if (gSwitch.above > 0 && bytes > gSwitch.above) return true;
  if (gSwitch.countdown > 0 && --gSwitch.countdown == 0) return true;
  return false;
}

}  // namespace

namespace hostrt {
void setAllocFailure(qlong failNth, qlong failAbove) {
  gSwitch.countdown = failNth;
  gSwitch.above = failAbove;
}
void setListRefusal(bool refuseRows, bool refuseCols) {
  gSwitch.refuseRows = refuseRows;
  gSwitch.refuseCols = refuseCols;
}
void resetFailures() {
  const qchar comma = gSwitch.comma;
  gSwitch = FailureSwitch();
  gSwitch.comma = comma;
}
void setCommaChar(qchar c) { gSwitch.comma = c; }
}  // namespace hostrt

qchar hostCommaChar() { return gSwitch.comma; }
bool listRowsRefused() { return gSwitch.refuseRows; }
bool listColsRefused() { return gSwitch.refuseCols; }

// ---------------------------------------------------------------------------------------------
// Handles

// A small block lives in one allocation with its handle, right behind it; larger blocks and
// any block once resized have their bytes apart.
namespace {
const qlong kInlineBytes = 1024;
qbyte* inlineData(qHandleInfo* h) { return reinterpret_cast<qbyte*>(h + 1); }

// Freed allocations of the smallest handles (a handle with up to 12 characters on 64 bits) are
// kept per thread for the next handles of their size, so a list of many short values is built
// and freed without a trip through malloc's bins for each. A thread keeps at most
// kCachedBytes, and its blocks go back to malloc when it ends. Sanitizer builds keep none, so
// that a use after free stays visible; under valgrind a kept block is marked inaccessible.
#if defined(__SANITIZE_ADDRESS__)
#define ZQ_HANDLE_CACHE 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
#define ZQ_HANDLE_CACHE 0
#endif
#endif
#ifndef ZQ_HANDLE_CACHE
#define ZQ_HANDLE_CACHE 1
#endif
constexpr bool kKeepBlocks = ZQ_HANDLE_CACHE;

const size_t kCachedStep = 8;  // classes of 8, 16, ... 64 bytes
const size_t kCachedClasses = 8;
const size_t kCachedBytes = size_t{4} << 20;

// One class's kept blocks: a stack of their addresses, so that taking one reads nothing of the
// (long untouched) block itself.
struct BlockStack {
  void** blocks;
  size_t count;
  size_t capacity;
};

// Trivially destructible and zero-initialised: usable before and after the thread's
// destructors run. The closer below frees what it holds.
struct BlockCache {
  BlockStack classes[kCachedClasses];
  size_t bytes;
  bool open;
  bool closed;  // the thread is ending: blocks go straight back to malloc
};
// Initial-exec: the host library is loaded with the program, and the cache is read at every
// handle made or freed (the general model costs a call each time).
#if defined(__ELF__) && ZQ_HANDLE_CACHE
thread_local BlockCache tCache __attribute__((tls_model("initial-exec")));
#else
thread_local BlockCache tCache;
#endif

struct BlockCacheCloser {
  BlockCacheCloser() { tCache.open = true; }
  ~BlockCacheCloser() {
    for (BlockStack& stack : tCache.classes) {
      for (size_t i = 0; i < stack.count; ++i) std::free(stack.blocks[i]);
      std::free(stack.blocks);
      stack = BlockStack{};
    }
    tCache.bytes = 0;
    tCache.open = false;
    tCache.closed = true;
  }
};

// Asked once: valgrind's requests cost a few cycles each even without valgrind, and are made
// apart so that the common path needs no stack frame for them.
bool askValgrind() { return RUNNING_ON_VALGRIND != 0; }
const bool kUnderValgrind = askValgrind();
HOST_NOINLINE void markKept(void* block, size_t size) { VALGRIND_MAKE_MEM_NOACCESS(block, size); }
HOST_NOINLINE void markTaken(void* block, size_t size) { VALGRIND_MAKE_MEM_UNDEFINED(block, size); }

// A block of total bytes belongs to class (total - 1) / kCachedStep, whose blocks are all
// allocated with (class + 1) * kCachedStep bytes; total is never 0 (a handle has its header).
// The common paths (a kept block taken, a freed block kept) are inline and need no stack
// frame; everything else goes through the slow paths below, which are never inlined.
inline bool cachedSize(size_t total) {
  return kKeepBlocks && total <= kCachedClasses * kCachedStep;
}

// A kept block for total bytes, or null when its class keeps none.
inline void* takeKept(size_t total) {
  if (!cachedSize(total)) return nullptr;
  const size_t k = (total - 1) / kCachedStep;
  BlockStack& stack = tCache.classes[k];
  if (stack.count == 0) return nullptr;
  const size_t size = (k + 1) * kCachedStep;
  tCache.bytes -= size;
  void* block = stack.blocks[--stack.count];
  // Blocks come back long after they were freed, out of the caches: the one taken a few
  // handles from now is fetched meanwhile.
  if (stack.count >= 4) __builtin_prefetch(stack.blocks[stack.count - 4], 1);
  if (kUnderValgrind) markTaken(block, size);
  return block;
}

void* blockNew(size_t total) {
  if (void* block = takeKept(total)) return block;
  return std::malloc(cachedSize(total) ? (total + kCachedStep - 1) / kCachedStep * kCachedStep
                                       : total);
}

// Keeps the block when its class's stack must first grow or the cache first open, and frees it
// when it cannot be kept.
HOST_NOINLINE void blockFreeSlowly(void* block, size_t total) {
  if (!cachedSize(total)) {
    std::free(block);
    return;
  }
  const size_t k = (total - 1) / kCachedStep;
  const size_t size = (k + 1) * kCachedStep;
  BlockStack& stack = tCache.classes[k];
  const bool open = tCache.open || !tCache.closed;
  if (open && !tCache.open) {
    thread_local BlockCacheCloser closer;  // opens the cache and frees it when the thread ends
    (void)closer;
  }
  if (!open || tCache.bytes + size > kCachedBytes) {
    std::free(block);
    return;
  }
  if (stack.count == stack.capacity) {
    const size_t capacity = stack.capacity ? stack.capacity * 2 : 256;
    void** grown = static_cast<void**>(std::realloc(stack.blocks, capacity * sizeof(void*)));
    if (!grown) {
      std::free(block);
      return;
    }
    stack.blocks = grown;
    stack.capacity = capacity;
  }
  stack.blocks[stack.count++] = block;
  tCache.bytes += size;
  if (kUnderValgrind) markKept(block, size);
}

inline void blockFree(void* block, size_t total) {
  if (cachedSize(total)) {
    const size_t k = (total - 1) / kCachedStep;
    const size_t size = (k + 1) * kCachedStep;
    BlockStack& stack = tCache.classes[k];
    // A stack with room belongs to an open cache (the closer empties every stack).
    if (stack.count < stack.capacity && tCache.bytes + size <= kCachedBytes) {
      stack.blocks[stack.count++] = block;
      tCache.bytes += size;
      if (kUnderValgrind) markKept(block, size);
      return;
    }
  }
  blockFreeSlowly(block, total);
}

// A handle whose bytes live apart from it.
HOST_NOINLINE qHandleInfo* handleNewApart(qlong bytes) {
  qHandleInfo* h = static_cast<qHandleInfo*>(std::malloc(sizeof(qHandleInfo)));
  if (!h) return nullptr;
  h->mData = static_cast<qbyte*>(std::malloc(static_cast<size_t>(bytes)));
  if (!h->mData) {
    std::free(h);
    return nullptr;
  }
  h->mAllocated = bytes;
  h->mUsed = bytes;
  return h;
}

// Makes block the handle of bytes that live right behind it.
inline qHandleInfo* inlineHandle(void* block, qlong bytes) {
  qHandleInfo* h = static_cast<qHandleInfo*>(block);
  h->mData = inlineData(h);
  h->mAllocated = bytes;
  h->mUsed = bytes;
  return h;
}

}  // namespace

qHandleInfo* handleNew(qlong bytes) {
  if (static_cast<unsigned long>(bytes) > static_cast<unsigned long>(kInlineBytes))
    return bytes < 0 ? nullptr : handleNewApart(bytes);
  void* block = blockNew(sizeof(qHandleInfo) + static_cast<size_t>(bytes));
  return block ? inlineHandle(block, bytes) : nullptr;
}

namespace {

// Copies n bytes, at least one Word and at most two, as the first and the last Word.
template <class Word>
inline void copyEnds(qbyte* to, const qbyte* from, size_t n) {
  Word first, last;
  std::memcpy(&first, from, sizeof(Word));
  std::memcpy(&last, from + n - sizeof(Word), sizeof(Word));
  std::memcpy(to, &first, sizeof(Word));
  std::memcpy(to + n - sizeof(Word), &last, sizeof(Word));
}

// Copies the bytes of a short value (at most kShortCopy: all a kept block holds on 64 bits)
// with a few overlapping moves instead of a call.
const size_t kShortCopy = 48;
struct Bytes16 {
  qbyte b[16];
};
inline void copyShort(qbyte* to, const qbyte* from, size_t n) {
  if (n > 32) {
    copyEnds<Bytes16>(to, from, 16);
    copyEnds<Bytes16>(to + 16, from + 16, n - 16);
  } else if (n >= 16) {
    copyEnds<Bytes16>(to, from, n);
  } else if (n >= 8) {
    copyEnds<uint64_t>(to, from, n);
  } else if (n >= 4) {
    copyEnds<uint32_t>(to, from, n);
  } else {
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
  }
}

// A short value (n at most kShortCopy) in a kept block, or null when its class keeps none.
inline qHandleInfo* shortHandle(const void* bytes, size_t n) {
  void* block = takeKept(sizeof(qHandleInfo) + n);
  if (!block) return nullptr;
  qHandleInfo* h = inlineHandle(block, static_cast<qlong>(n));
  copyShort(h->mData, static_cast<const qbyte*>(bytes), n);
  return h;
}

HOST_NOINLINE qHandleInfo* handleWithSlowly(const void* bytes, qlong count) {
  // Under valgrind, short values are made here: the same copy, with the block marked.
  const size_t n = static_cast<size_t>(count);
  if (count >= 0 && n <= kShortCopy)
    if (qHandleInfo* h = shortHandle(bytes, n)) return h;
  qHandleInfo* h = handleNew(count);
  if (!h) throw std::bad_alloc();
  if (count > 0) std::memcpy(h->mData, bytes, n);
  return h;
}

}  // namespace

// A short value in a kept block is made without a call or stack frame.
qHandleInfo* handleWith(const void* bytes, qlong count) {
  const size_t n = static_cast<size_t>(count);
  if (count >= 0 && n <= kShortCopy && !kUnderValgrind)
    if (qHandleInfo* h = shortHandle(bytes, n)) return h;
  return handleWithSlowly(bytes, count);
}

qHandleInfo* handleCopy(const qHandleInfo* h) {
  return h ? handleWith(h->mData, h->mUsed) : nullptr;
}

namespace {
HOST_NOINLINE void freeApart(qHandleInfo* h) {
  std::free(h->mData);
  std::free(h);
}
}  // namespace

void handleFree(qHandleInfo* h) {
  if (!h) return;
  if (h->mData != inlineData(h)) return freeApart(h);
  // Never resized: its allocation is as large as its bytes say.
  blockFree(h, sizeof(qHandleInfo) + static_cast<size_t>(h->mAllocated));
}

namespace {

// Asks the kernel to back a large block with huge pages where it allows them: the first touch
// of a block of tens of megabytes then costs a few page faults instead of thousands.
void adviseLargeBlock(qbyte* data, qlong size) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const uintptr_t kHuge = 2u << 20;
  if (size < static_cast<qlong>(4 * kHuge)) return;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end =
      (reinterpret_cast<uintptr_t>(data) + static_cast<uintptr_t>(size)) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)size;
#endif
}

}  // namespace

qHandleInfo* HANglobalAlloc(qlong size, qbool zero) {
  if (size < 0 || refused(size)) return nullptr;
  qHandleInfo* h = handleNew(size);
  if (h) adviseLargeBlock(h->mData, size);
  if (h && zero && size > 0) std::memset(h->mData, 0, static_cast<size_t>(size));
  return h;
}

qbool HANglobalReAlloc(qHandleInfo* h, qlong size) {
  if (!h || size < 0 || refused(size)) return qfalse;
  const size_t bytes = size > 0 ? static_cast<size_t>(size) : 1;
  qbyte* data;
  if (h->mData == inlineData(h)) {
    data = static_cast<qbyte*>(std::malloc(bytes));
    if (!data) return qfalse;
    const qlong kept = size < h->mAllocated ? size : h->mAllocated;
    if (kept > 0) std::memcpy(data, h->mData, static_cast<size_t>(kept));
  } else {
    data = static_cast<qbyte*>(std::realloc(h->mData, bytes));
    if (!data) return qfalse;
  }
  h->mData = data;
  if (size > h->mAllocated) adviseLargeBlock(data, size);
  h->mAllocated = size;
  if (h->mUsed > size) h->mUsed = size;
  return qtrue;
}

void HANglobalFree(qHandleInfo* h) { handleFree(h); }

void HANsetUsed(qHandleInfo* h, qlong used) {
  if (!h) return;
  if (used < 0) used = 0;
  h->mUsed = used > h->mAllocated ? h->mAllocated : used;
}

// ---------------------------------------------------------------------------------------------
// Host strings

void strxxx::setLength(qlong len) {
  if (len < 0) len = 0;
  mLength = len > mCapacity ? mCapacity : len;
}

void strxxx::set(const qchar* chars, qlong len) {
  if (len < 0) len = 0;
  if (len > mCapacity) len = mCapacity;
  if (len > 0 && chars != mData) std::memmove(mData, chars, static_cast<size_t>(len) * 4);
  mLength = len;
}

void strxxx::append(const qchar* chars, qlong len) {
  if (len > mCapacity - mLength) len = mCapacity - mLength;
  if (len <= 0) return;
  std::memmove(mData + mLength, chars, static_cast<size_t>(len) * 4);
  mLength += len;
}

void strxxx::appendAscii(const char* text) {
  for (; *text && mLength < mCapacity; ++text) mData[mLength++] = static_cast<qbyte>(*text);
}

strDyn::strDyn(qlong capacity) : strxxx(new qchar[capacity > 0 ? capacity : 1], capacity) {}
strDyn::~strDyn() { delete[] cString(); }

qlong ECOuprCmp(const qchar* a, const qchar* b, qlong len) {
  for (qlong i = 0; i < len; ++i) {
    const qchar x = uppC(a[i]), y = uppC(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Characters

qchar uppC(qchar c) {
  if (c < 128) return (c >= U'a' && c <= U'z') ? c - 32 : c;
  return static_cast<qchar>(u_toupper(static_cast<UChar32>(c)));
}

qchar lowC(qchar c) {
  if (c < 128) return (c >= U'A' && c <= U'Z') ? c + 32 : c;
  return static_cast<qchar>(u_tolower(static_cast<UChar32>(c)));
}

namespace {
const qchar kReplacement = 0xFFFD;
bool isScalar(qchar c) { return c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF); }
}  // namespace

qlong CHARconvFromUtf8(const qbyte* src, qlong len, qchar* dst) {
  qlong i = 0, n = 0;
  while (i < len) {
    const qbyte b = src[i];
    if (b < 0x80) {
      dst[n++] = b;
      ++i;
      continue;
    }
    int extra;
    qchar c, min;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, c = b & 0x07, min = 0x10000;
    } else {
      dst[n++] = kReplacement;
      ++i;
      continue;
    }
    int k = 1;
    for (; k <= extra && i + k < len && (src[i + k] & 0xC0) == 0x80; ++k)
      c = (c << 6) | (src[i + k] & 0x3F);
    if (k <= extra || c < min || !isScalar(c)) {
      dst[n++] = kReplacement;  // one replacement for the malformed lead and its tail
      i += k;
      continue;
    }
    dst[n++] = c;
    i += k;
  }
  return n;
}

qlong CHARutf8Length(const qchar* src, qlong len) {
  qlong n = 0;
  for (qlong i = 0; i < len; ++i) {
    const qchar c = isScalar(src[i]) ? src[i] : kReplacement;
    n += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  return n;
}

qlong CHARconvToUtf8(const qchar* src, qlong len, qbyte* dst) {
  qlong n = 0;
  for (qlong i = 0; i < len; ++i) {
    const qchar c = isScalar(src[i]) ? src[i] : kReplacement;
    if (c < 0x80) {
      dst[n++] = static_cast<qbyte>(c);
    } else if (c < 0x800) {
      dst[n++] = static_cast<qbyte>(0xC0 | (c >> 6));
      dst[n++] = static_cast<qbyte>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      dst[n++] = static_cast<qbyte>(0xE0 | (c >> 12));
      dst[n++] = static_cast<qbyte>(0x80 | ((c >> 6) & 0x3F));
      dst[n++] = static_cast<qbyte>(0x80 | (c & 0x3F));
    } else {
      dst[n++] = static_cast<qbyte>(0xF0 | (c >> 18));
      dst[n++] = static_cast<qbyte>(0x80 | ((c >> 12) & 0x3F));
      dst[n++] = static_cast<qbyte>(0x80 | ((c >> 6) & 0x3F));
      dst[n++] = static_cast<qbyte>(0x80 | (c & 0x3F));
    }
  }
  return n;
}

qlong CHARconvToUtf16(const qchar* src, qlong len, uint16_t* dst) {
  qlong n = 0;
  for (qlong i = 0; i < len; ++i) {
    const qchar c = isScalar(src[i]) ? src[i] : kReplacement;
    if (c < 0x10000) {
      dst[n++] = static_cast<uint16_t>(c);
    } else {
      const qchar v = c - 0x10000;
      dst[n++] = static_cast<uint16_t>(0xD800 + (v >> 10));
      dst[n++] = static_cast<uint16_t>(0xDC00 + (v & 0x3FF));
    }
  }
  return n;
}

qlong CHARconvFromLatin1(const qbyte* src, qlong len, qchar* dst) {
  for (qlong i = 0; i < len; ++i) dst[i] = src[i];
  return len;
}
