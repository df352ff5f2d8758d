#include "testhost.h"

#include <cstring>

#include "zqbase.h"

namespace zqtest {

namespace {

class ComponentEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { __ExtInitialize(ZQ_MODULE_PATH); }
  void TearDown() override { __ExtTerminate(); }
};

::testing::Environment* const gEnvironment =
    ::testing::AddGlobalTestEnvironment(new ComponentEnvironment);

}  // namespace

EXTfldval chr(const std::string& utf8) { return hostrt::charValue(utf8); }

EXTfldval chr32(const std::u32string& t) {
  EXTfldval v;
  v.setChar(t.data(), static_cast<qlong>(t.size()));
  return v;
}

EXTfldval integer(qlong n) {
  EXTfldval v;
  v.setLong(n);
  return v;
}

EXTfldval number(double n) {
  EXTfldval v;
  v.setNum(n);
  return v;
}

EXTfldval boolean(bool b) {
  EXTfldval v;
  v.setBool(b ? qboolTrue : qboolFalse);
  return v;
}

EXTfldval binary(const std::string& b) {
  EXTfldval v;
  v.setBinary(fftBinary, reinterpret_cast<const qbyte*>(b.data()), static_cast<qlong>(b.size()));
  return v;
}

EXTfldval objref(objinst inst) {
  EXTfldval v;
  v.setObjRef(inst);
  return v;
}

EXTfldval list(const std::vector<Col>& cols, const std::vector<std::vector<std::string>>& rows,
               bool isRow) {
  EXTqlist l(isRow);
  for (const Col& c : cols) {
    str255 name;
    const std::u32string n = hostrt::toU32(c.name);
    name.set(n.data(), static_cast<qlong>(n.size()));
    l.addCol(c.type, 0, 10000000, &name);
  }
  for (const auto& r : rows) {
    const qlong line = l.insertRow();
    for (size_t c = 0; c < r.size() && c < cols.size(); ++c) {
      EXTfldval cellValue;
      l.getColValRef(line, static_cast<qshort>(c + 1), cellValue, qtrue);
      cellValue = chr(r[c]);
      cellValue.conv(cols[c].type);
    }
  }
  if (!rows.empty()) l.setCurRow(1);
  EXTfldval v;
  v.setList(&l, qtrue);
  return v;
}

std::string text(const EXTfldval& v) { return hostrt::toUtf8(v); }

std::u32string text32(const EXTfldval& v) { return hostrt::toU32(hostrt::toUtf8(v)); }

std::string bytes(const EXTfldval& v) {
  qHandleInfo* h = v.getHandle();
  if (!h || v.getType() == fftCharacter) return std::string();
  return std::string(reinterpret_cast<const char*>(h->mData), static_cast<size_t>(h->mUsed));
}

std::string cell(const EXTfldval& listValue, qlong row, qshort col) {
  EXTqlist l;
  if (!listValue.getList(&l, qfalse)) return std::string();
  EXTfldval c;
  if (!l.getColValRef(row, col, c, qfalse)) return std::string();
  return text(c);
}

void ComponentTest::SetUp() {
  host.handshake();
  mainInst = hostrt::newInstance("main");
  host.construct(kObjMain, mainInst);
}

void ComponentTest::TearDown() {
  hostrt::resetFailures();
  // Destroy what a test left, as a host does when it closes.
  while (!host.store().objects.empty()) {
    auto it = host.store().objects.begin();
    auto* object = static_cast<tObjZQBase*>(it->second);
    if (!object) {
      host.store().objects.erase(it);
      continue;
    }
    host.destruct(object->objType == kObjZQObjScope ? kObjScope : kObjMain, it->first);
  }
}

hostrt::CallOutcome ComponentTest::call(qlong methodId, std::vector<EXTfldval>& params) {
  return host.call(kObjMain, mainInst, methodId, params);
}

hostrt::CallOutcome ComponentTest::call(const std::string& name, std::vector<EXTfldval>& params) {
  const qlong id = host.methodId(kObjMain, name);
  EXPECT_NE(id, 0) << "no method " << name;
  return call(id, params);
}

hostrt::CallOutcome ComponentTest::callStatic(qlong methodId, std::vector<EXTfldval>& params) {
  return host.call(0, 0, methodId, params);
}

}  // namespace zqtest
