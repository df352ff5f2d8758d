// A host for benchmarks: the component initialised once and one main instance, so that a
// benchmark calls methods through the entry procedure exactly as a host does.
#pragma once

#include <string>
#include <vector>

#include "hostruntime.h"
#include "tables.h"

namespace zqbench {

class BenchHost {
 public:
  BenchHost() {
    static bool initialised = (__ExtInitialize(ZQ_MODULE_PATH), true);
    (void)initialised;
    host.handshake();
    inst = hostrt::newInstance("bench");
    host.construct(kObjMain, inst);
  }
  ~BenchHost() { host.destruct(kObjMain, inst); }

  hostrt::CallOutcome call(qlong methodId, std::vector<EXTfldval>& params) {
    return host.call(kObjMain, inst, methodId, params);
  }

  hostrt::Host host{ZQWndProc};
  objinst inst = 0;
};

}  // namespace zqbench
