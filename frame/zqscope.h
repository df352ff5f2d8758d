// The object-scope object (object id 1002): holds references to host objects and calls
// "$cleanupRef" on each of them, oldest first, when the instance is destroyed.
#pragma once

#include <vector>

#include "zqbase.h"

class tObjZQObjScope : public tObjZQBase {
 public:
  tObjZQObjScope(objinst inst, tThreadData* td, tObjZQObjScope* source);
  ~tObjZQObjScope() override;
  tObjZQBase* dup(tThreadData* td, objinst inst) override;
  using tObjZQBase::copy;
  virtual void copy(tThreadData* td, tObjZQObjScope* source);
  qlong methodCall(tThreadData* td) override;
  qlong property(qlong message, EXTCompInfo* eci, qbyte flag) override;
  static qlong returnMethods(EXTCompInfo* eci);

  // Calls "$cleanupRef" of every stored reference, oldest first, and empties the store.
  void clearObjectStore(tThreadData* td);
  const std::vector<objinst>& references() const { return mRefs; }

 private:
  qlong methodAddRef(tThreadData* td, qshort paramCount);
  std::vector<objinst> mRefs;
};
