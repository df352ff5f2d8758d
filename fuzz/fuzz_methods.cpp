// Drives the component as a host would, from the fuzzer's bytes: methods of main and scope
// instances, the static methods, the instance lifecycle (construct, copy, destruct), variables
// of the calling context and $cinst, values of every kind (long texts, 64-bit integers, dates,
// object references, pictures, nested lists), and failing host allocations or lists that
// refuse rows or columns. Any input must give a status, never a crash, a leak or an
// out-of-bounds access.
//
// Input: a sequence of operations, each a byte choosing it followed by its operands (see
// Operation below). Every input starts with a main instance in slot 0 and a scope instance in
// slot 1; whatever is still alive at the end is destructed.
//
// The static method that launches programs always gets /bin/true as its program, and the trace
// file that the trace method appends to (zq_trace.txt in the working directory) is removed
// after each input that wrote it: run the fuzzer in a scratch directory.
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzzinput.h"
#include "tables.h"

namespace {

using zqfuzz::Input;
using zqfuzz::kAllocationCeiling;

const int kSlots = 4;
const int kMaxOperations = 24;

enum Operation {
  kCall,       // slot, method, parameters: a method of the slot's object
  kStatic,     // method, parameters: a static method of the library
  kVariable,   // name, value: a variable of the calling context
  kCinst,      // row: the calling instance's row
  kConstruct,  // slot, class
  kDestruct,   // slot
  kCopy,       // from, to
  kFailures,   // switches for the next operation
  kHandshake,  // the registration messages
  kOperationCount
};

// Names that methods look up, so that variables are found as often as not.
const char* const kVariableNames[] = {"lst", "Row", "a", "b", "oldRow", "iVar", "LST", "x"};

struct Slots {
  objinst inst[kSlots];
  qlong objectId[kSlots] = {0, 0, 0, 0};  // 0: no object constructed
};

const Slots& slotInstances() {
  static const Slots slots = [] {
    Slots s;
    for (int i = 0; i < kSlots; ++i) s.inst[i] = hostrt::newInstance("fuzz-i" + std::to_string(i));
    return s;
  }();
  return slots;
}

std::vector<EXTfldval> makeParams(Input& in) {
  std::vector<EXTfldval> params;
  const int count = in.byte() % 15;
  for (int i = 0; i < count && !in.done(); ++i) params.push_back(zqfuzz::makeValue(in));
  return params;
}

std::string variableName(Input& in) {
  const uint8_t b = in.byte();
  if (b & 0x80) return in.text();
  return kVariableNames[b % (sizeof(kVariableNames) / sizeof(kVariableNames[0]))];
}

struct Failures {
  qlong failNth = 0, failAbove = 0;
  bool refuseRows = false, refuseCols = false;
};

Failures readFailures(Input& in) {
  Failures f;
  const uint8_t flags = in.byte();
  if (flags & 1) f.failNth = 1 + in.byte() % 64;
  if (flags & 2) f.failAbove = qlong(16) << (in.byte() % 24);
  f.refuseRows = flags & 4;
  f.refuseCols = flags & 8;
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  __ExtInitialize(ZQ_MODULE_PATH);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Slots slots = slotInstances();
  hostrt::Host host(ZQWndProc);
  Input in(data, size);
  bool traced = false;

  slots.objectId[0] = kObjMain;
  host.construct(kObjMain, slots.inst[0]);
  slots.objectId[1] = kObjScope;
  host.construct(kObjScope, slots.inst[1]);

  Failures failures;
  for (int n = 0; n < kMaxOperations && !in.done(); ++n) {
    const int op = in.byte() % kOperationCount;
    Failures now = failures;
    failures = Failures();
    auto armed = [&now] {
      const qlong above =
          now.failAbove ? std::min(now.failAbove, kAllocationCeiling) : kAllocationCeiling;
      hostrt::setAllocFailure(now.failNth, above);
      hostrt::setListRefusal(now.refuseRows, now.refuseCols);
    };
    switch (op) {
      case kCall: {
        const int slot = in.byte() % kSlots;
        const uint8_t m = in.byte();
        // Ids one past either end of a table reach the dispatchers' unknown-method paths.
        const qlong id = slots.objectId[slot] == kObjScope ? 6999 + m % 4 : 2099 + m % 32;
        std::vector<EXTfldval> params = makeParams(in);
        armed();
        host.call(slots.objectId[slot], slots.inst[slot], id, params);
        break;
      }
      case kStatic: {
        const qlong id = 1999 + in.byte() % 9;
        std::vector<EXTfldval> params = makeParams(in);
        // Never launch a program the input names.
        if (id == 2006 && !params.empty()) params[0] = hostrt::charValue("/bin/true");
        traced = traced || id == 2002;
        armed();
        host.call(0, 0, id, params);
        break;
      }
      case kVariable: {
        const std::string name = variableName(in);
        const EXTfldval value = zqfuzz::makeValue(in);
        if (!name.empty()) host.context().setVar(name, value);
        break;
      }
      case kCinst: {
        host.context().cinst = zqfuzz::makeList(in, true, 0);
        host.context().hasCinst = in.byte() != 0;
        break;
      }
      case kConstruct: {
        const int slot = in.byte() % kSlots;
        const qlong objectId = in.byte() & 1 ? kObjScope : kObjMain;
        armed();
        host.construct(objectId, slots.inst[slot]);
        if (slots.objectId[slot] == 0) slots.objectId[slot] = objectId;
        break;
      }
      case kDestruct: {
        const int slot = in.byte() % kSlots;
        armed();
        host.destruct(slots.objectId[slot] ? slots.objectId[slot] : kObjMain, slots.inst[slot]);
        slots.objectId[slot] = 0;
        break;
      }
      case kCopy: {
        const uint8_t b = in.byte();
        const int from = b % kSlots, to = (b >> 2) % kSlots;
        armed();
        host.copy(slots.objectId[from], slots.inst[from], slots.inst[to]);
        // A copy into a slot without an object duplicates the source there.
        if (slots.objectId[to] == 0) slots.objectId[to] = slots.objectId[from];
        break;
      }
      case kFailures:
        failures = readFailures(in);
        break;
      default:
        armed();
        host.handshake();
        break;
    }
    hostrt::resetFailures();
  }

  for (int slot = 0; slot < kSlots; ++slot)
    if (slots.objectId[slot]) host.destruct(slots.objectId[slot], slots.inst[slot]);
  // Whatever the store still holds (an object the slots lost track of) goes too.
  while (!host.store().objects.empty()) {
    const objinst inst = host.store().objects.begin()->first;
    host.destruct(kObjMain, inst);
    host.store().objects.erase(inst);
  }
  hostrt::clearRecordedCalls();
  if (traced) unlink("zq_trace.txt");
  return 0;
}
