// A host handle owned until it is handed to a host value: the one owning buffer type of the
// methods that build a result aside and then commit it. Handing it over (setHandle with
// release()) cannot fail, so a method that fails before that point leaves its parameters as
// they were and frees what it built.
#pragma once

#include <cstdint>

#include "hosttypes.h"

class tOwnedHandle {
 public:
  tOwnedHandle() = default;
  explicit tOwnedHandle(qHandleInfo* h) : mHandle(h) {}
  ~tOwnedHandle() { reset(nullptr); }
  tOwnedHandle(const tOwnedHandle&) = delete;
  tOwnedHandle& operator=(const tOwnedHandle&) = delete;

  // Allocates bytes (uninitialised, all of them in use); false when memory cannot be had.
  bool allocate(uint64_t bytes) {
    reset(bytes <= INT32_MAX ? HANglobalAlloc(static_cast<qlong>(bytes), qfalse) : nullptr);
    return mHandle != nullptr;
  }
  void reset(qHandleInfo* h) {
    if (mHandle) HANglobalFree(mHandle);
    mHandle = h;
  }
  void take(tOwnedHandle& other) {
    reset(other.mHandle);
    other.mHandle = nullptr;
  }
  qHandleInfo* release() {
    qHandleInfo* h = mHandle;
    mHandle = nullptr;
    return h;
  }
  qbyte* data() const { return mHandle ? mHandle->mData : nullptr; }
  qchar* chars() const { return reinterpret_cast<qchar*>(data()); }
  size_t allocated() const { return static_cast<size_t>(HANgetAllocated(mHandle)); }
  qHandleInfo* get() const { return mHandle; }
  // For code that grows the handle in place (handleConcatChars and the like).
  qHandleInfo*& ref() { return mHandle; }

 private:
  qHandleInfo* mHandle = nullptr;
};
