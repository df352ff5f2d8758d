// Calculations in the host's expression language, through $evalcalc, which parses and
// evaluates them with the host layer in the context of the calling method: any text must give
// a value or a "Calculation is invalid" report, never a crash or a leak.
//
// Input: a flags byte; with it, up to three variables of the calling context (name and value)
// and $cinst (a row); then the calculation, which is the rest of the input as UTF-8 text, so
// that the dictionary's tokens work on it directly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzzinput.h"
#include "tables.h"

namespace {

// Names a calculation is likely to use (see fuzz/dict/calc.dict).
const char* const kNames[] = {"a", "b", "lst", "Row", "x", "n", "t", "LST"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __ExtInitialize(ZQ_MODULE_PATH);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const objinst inst = hostrt::newInstance("fuzz-calc");
  zqfuzz::Input in(data, size);
  const uint8_t flags = in.byte();

  hostrt::Host host(ZQWndProc);
  for (int i = 0; i < (flags & 3); ++i) {
    const std::string name = kNames[in.byte() % (sizeof(kNames) / sizeof(kNames[0]))];
    host.context().setVar(name, zqfuzz::makeValue(in));
  }
  if (flags & 4) {
    host.context().cinst = zqfuzz::makeList(in, true, 0);
    host.context().hasCinst = true;
  }
  const qlong failNth = flags & 0x10 ? 1 + in.byte() % 32 : 0;

  std::vector<EXTfldval> params;
  params.push_back(hostrt::charValue(in.rest()));
  EXTfldval flag;
  flag.setBool(flags & 8 ? qboolTrue : qboolFalse);
  params.push_back(flag);

  host.construct(kObjMain, inst);
  if (failNth) hostrt::setAllocFailure(failNth, 0);
  host.call(kObjMain, inst, 2119, params);
  hostrt::resetFailures();
  host.destruct(kObjMain, inst);
  hostrt::clearRecordedCalls();
  return 0;
}
