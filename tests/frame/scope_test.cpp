// The object scope: "$addref" and "$cleanupRef" on destruction, in order.
#include "testhost.h"

using namespace zqtest;

namespace {

class Scope : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    scope = hostrt::newInstance("scope");
    host.construct(kObjScope, scope);
  }
  hostrt::CallOutcome addref(objinst on, std::vector<EXTfldval> params) {
    return host.call(kObjScope, on, 7001, params);
  }
  std::vector<objinst> cleanups(size_t from) {
    std::vector<objinst> out;
    const auto& calls = hostrt::recordedCalls();
    for (size_t i = from; i < calls.size(); ++i)
      if (calls[i].method == "$cleanupRef") out.push_back(calls[i].inst);
    return out;
  }
  objinst scope = 0;
};

TEST_F(Scope, AddrefReturnsTheReferenceAndDestroyCleansUpInOrder) {
  const objinst a = hostrt::newInstance("a"), b = hostrt::newInstance("b");
  for (objinst o : {a, b, a}) {
    auto r = addref(scope, {objref(o)});
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getType(), fftObjref);
    EXPECT_EQ(r.ret.getObjRef(), o);
    EXPECT_TRUE(r.errors.empty());
  }
  const size_t before = hostrt::recordedCalls().size();
  EXPECT_EQ(host.destruct(kObjScope, scope), 0);
  EXPECT_EQ(cleanups(before), (std::vector<objinst>{a, b, a}));
}

TEST_F(Scope, EmptyScopeAndMainInstancesCallNothing) {
  const size_t before = hostrt::recordedCalls().size();
  host.destruct(kObjScope, scope);
  const objinst m = hostrt::newInstance("m");
  host.construct(kObjMain, m);
  host.destruct(kObjMain, m);
  EXPECT_EQ(hostrt::recordedCalls().size(), before);
}

TEST_F(Scope, AddrefFailures) {
  const struct {
    std::vector<EXTfldval> params;
    const char* detail;
  } cases[] = {
      {{}, "Parameter count must be 1"},
      {{chr("o1")}, "Parameter 1 unrecognized.  Must be of type Object Reference."},
      {{integer(5)}, "Parameter 1 unrecognized.  Must be of type Object Reference."},
  };
  for (const auto& c : cases) {
    auto r = addref(scope, c.params);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].message, "Invalid parameters");
    EXPECT_EQ(r.errors[0].detail, c.detail);
    EXPECT_EQ(r.errors[0].method, "");
  }
  const size_t before = hostrt::recordedCalls().size();
  host.destruct(kObjScope, scope);
  EXPECT_TRUE(cleanups(before).empty());  // nothing was stored
}

TEST_F(Scope, OtherIdsReturnOneAndReportNothing) {
  for (qlong id : {7000, 7002, 2106}) {
    std::vector<EXTfldval> params{chr("x")};
    auto r = host.call(kObjScope, scope, id, params);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getLong(), 1) << id;
    EXPECT_TRUE(r.errors.empty());
  }
}

TEST_F(Scope, DuplicateStartsEmptyAndSourceKeepsItsReferences) {
  const objinst a = hostrt::newInstance("a");
  addref(scope, {objref(a)});
  const objinst copy = hostrt::newInstance("copy");
  host.copy(kObjScope, scope, copy);
  size_t before = hostrt::recordedCalls().size();
  host.destruct(kObjScope, copy);
  EXPECT_TRUE(cleanups(before).empty());
  before = hostrt::recordedCalls().size();
  host.destruct(kObjScope, scope);
  EXPECT_EQ(cleanups(before), std::vector<objinst>{a});
}

}  // namespace
