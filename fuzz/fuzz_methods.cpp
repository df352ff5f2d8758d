// Calls every method of the main object with parameters made from the fuzzer's bytes, as a
// host would: any input must give a status, never a crash, a leak or an out-of-bounds access.
//
// Input: one byte choosing the method (id 2100 + byte % 29), then parameters, each a type byte
// followed by a length byte and that many payload bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hostruntime.h"
#include "tables.h"

namespace {

EXTfldval makeValue(uint8_t type, const uint8_t* p, size_t n) {
  EXTfldval v;
  const std::string s(reinterpret_cast<const char*>(p), n);
  qlong number = 0;
  for (size_t i = 0; i < n && i < 4; ++i) number = static_cast<qlong>((number << 8) | p[i]);
  switch (type % 7) {
    case 0:
      return hostrt::charValue(s);
    case 1:
      v.setLong(number);
      break;
    case 2:
      v.setBool(n && (p[0] & 1) ? qboolTrue : qboolFalse);
      break;
    case 3:
      v.setBinary(fftBinary, p, static_cast<qlong>(n));
      break;
    case 4: {
      // A list of one character column per byte pair, rows from the text split at '|'.
      EXTqlist l(n > 0 && (p[0] & 1));
      str255 name;
      name.set(U"c1", 2);
      l.addCol(fftCharacter, 0, 1000, &name);
      name.set(U"C2", 2);
      l.addCol(fftInteger, 0, 0, &name);
      size_t start = 0;
      for (size_t i = 0; i <= s.size(); ++i)
        if (i == s.size() || s[i] == '|') {
          const qlong row = l.insertRow();
          if (row == 0) break;
          EXTfldval cell;
          l.getColValRef(row, 1, cell, qtrue);
          cell = hostrt::charValue(s.substr(start, i - start));
          start = i + 1;
        }
      l.setCurRow(1);
      v.setList(&l, qtrue);
      break;
    }
    case 5:
      v.setNum(static_cast<double>(number) / 7.0);
      break;
    default:
      v.setNull(fftCharacter);
      break;
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool initialised = (__ExtInitialize(ZQ_MODULE_PATH), true);
  (void)initialised;
  if (size < 1) return 0;
  static hostrt::Host host(ZQWndProc);
  static const objinst inst = hostrt::newInstance("fuzz");
  host.construct(kObjMain, inst);
  const qlong method = 2100 + data[0] % 29;
  std::vector<EXTfldval> params;
  size_t i = 1;
  while (i + 2 <= size && params.size() < 13) {
    const uint8_t type = data[i], len = data[i + 1];
    i += 2;
    const size_t n = len < size - i ? len : size - i;
    params.push_back(makeValue(type, data + i, n));
    i += n;
  }
  host.call(kObjMain, inst, method, params);
  host.destruct(kObjMain, inst);
  hostrt::clearRecordedCalls();
  return 0;
}
