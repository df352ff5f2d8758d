// The entry procedure: message answers, registration, and the life of instances.
#include "testhost.h"
#include "zqscope.h"

using namespace zqtest;

namespace {

class Lifecycle : public ComponentTest {
 protected:
  tObjZQBase* object(objinst inst) {
    return static_cast<tObjZQBase*>(ECOfindNVObject(&host.store(), inst));
  }
};

// The version answer names the build: 2.58 in the 64-bit build, 2.57 in the 32-bit one.
const qlong kVersion = sizeof(void*) == 8 ? 131130 : 131129;

TEST_F(Lifecycle, FixedAnswersWhateverTheArguments) {
  const struct {
    qlong message;
    qlong answer;
  } cases[] = {{msgConnect, 1549}, {msgGetVersion, kVersion}, {msgDisconnect, 1}, {msgQueryYes, 1},
               {0x7777777, 0},     {msgGetLibraryInfo, 0}};
  for (const auto& c : cases)
    for (WPARAM w : {WPARAM(0), WPARAM(12345)})
      EXPECT_EQ(host.send(c.message, kObjMain, w, LPARAM(99)), c.answer) << c.message;
}

TEST_F(Lifecycle, RegistersTheTables) {
  const auto& reg = host.registry();
  EXPECT_EQ(reg.connectAnswer, 1549);
  EXPECT_EQ(reg.libName, "zqtools");
  EXPECT_FALSE(reg.libInfo.empty());
  ASSERT_EQ(reg.objects.size(), 2u);
  EXPECT_EQ(reg.objects[0].id, 1001);
  EXPECT_EQ(reg.objects[1].id, 1002);
  ASSERT_EQ(reg.methods.at(1001).size(), 27u);
  ASSERT_EQ(reg.methods.at(1002).size(), 2u);
  EXPECT_EQ(reg.statics.size(), 7u);
  ASSERT_EQ(reg.constants.size(), 38u);
  EXPECT_EQ(reg.constants.front().id, 5001);
  EXPECT_EQ(reg.constants.back().id, 5038);
  for (const auto& c : reg.constants) {
    EXPECT_FALSE(c.name.empty()) << c.id;
    EXPECT_FALSE(c.value.empty()) << c.id;
  }
  // Every method is named, 2109/2110 are not offered, and the error methods are "$error".
  for (const auto& [objectId, methods] : reg.methods)
    for (const auto& m : methods) {
      EXPECT_EQ(m.name.substr(0, 1), "$") << m.id;
      EXPECT_NE(m.id, 2109);
      EXPECT_NE(m.id, 2110);
      for (const auto& p : m.params) EXPECT_FALSE(p.name.empty()) << m.id;
      if (m.id == 2100 || m.id == 7000) EXPECT_EQ(m.name, "$error");
    }
  EXPECT_EQ(host.methodId(kObjMain, "$REPLACE"), 2106);
  EXPECT_EQ(host.methodId(0, "$trace"), 2002);
}

TEST_F(Lifecycle, ParameterDescriptorsAndFlags) {
  auto find = [](qlong id) -> const ECOmethodEvent& {
    for (qlong i = 0; i < kMainMethodCount; ++i)
      if (ZQObjMethodsTable[i].mId == id) return ZQObjMethodsTable[i];
    return ZQObjMethodsTable[0];
  };
  // $encrypt and $decrypt share their parameter descriptors.
  EXPECT_EQ(find(2113).mParams, find(2114).mParams);
  // 4071 is character for $findPatterns and list for $replacePatterns.
  EXPECT_EQ(find(2127).mParams[1].mNameResID, 4071);
  EXPECT_EQ(find(2127).mParams[1].mType, fftCharacter);
  EXPECT_EQ(find(2128).mParams[0].mNameResID, 4071);
  EXPECT_EQ(find(2128).mParams[0].mType, fftList);
  // Only 4035 and 4061 are optional; writable parameters carry the alter flag.
  int optional = 0;
  for (qlong i = 0; i < kMainMethodCount; ++i) {
    const ECOmethodEvent& m = ZQObjMethodsTable[i];
    EXPECT_EQ(m.mId, m.mNameResID);
    for (qshort p = 0; p < m.mParamCount; ++p)
      if (m.mParams[p].mFlags & EXTD_FLAG_PARAMOPT) {
        ++optional;
        EXPECT_TRUE(m.mParams[p].mNameResID == 4035 || m.mParams[p].mNameResID == 4061);
      }
  }
  EXPECT_EQ(optional, 2);
  EXPECT_EQ(find(2106).mParams[3].mFlags, EXTD_FLAG_PARAMALTER);  // $replace result
  EXPECT_EQ(find(2106).mParams[5].mFlags, EXTD_FLAG_PARAMALTER);  // replacement limit
  EXPECT_EQ(find(2124).mReturnType, fftCharacter);
  EXPECT_EQ(find(2127).mReturnType, fftList);
}

TEST_F(Lifecycle, ConstructTwiceDestroyOnce) {
  const objinst x = hostrt::newInstance("x");
  EXPECT_EQ(host.construct(kObjMain, x), 1);
  tObjZQBase* first = object(x);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(host.construct(kObjMain, x), 1);
  EXPECT_EQ(object(x), first);  // the existing object stays
  EXPECT_EQ(host.destruct(kObjMain, x), 0);
  EXPECT_EQ(object(x), nullptr);
  EXPECT_EQ(host.destruct(kObjMain, x), 0);
}

TEST_F(Lifecycle, UnknownObjectIdStoresNothingAndRoutesToStatics) {
  const objinst x = hostrt::newInstance("other");
  EXPECT_EQ(host.construct(4242, x), 1);
  EXPECT_EQ(object(x), nullptr);
  std::vector<EXTfldval> params;
  auto r = host.call(4242, x, 2106, params);  // no object: the static dispatcher answers
  EXPECT_EQ(r.answer, 0);
  ASSERT_TRUE(r.hasReturn);
  EXPECT_EQ(r.ret.getLong(), -101);
  EXPECT_TRUE(r.errors.empty());
}

TEST_F(Lifecycle, StaticIdsOutsideTheTable) {
  for (qlong id : {1999, 2007, 0}) {
    std::vector<EXTfldval> params{chr("x")};
    auto r = callStatic(id, params);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getLong(), -101) << id;
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.calls.empty());
  }
}

TEST_F(Lifecycle, InstanceFlagAndPropertyMessages) {
  EXPECT_EQ(host.send(msgSetInstanceFlag, kObjMain, 0x1FF, LPARAM(mainInst)), 0);
  EXPECT_EQ(object(mainInst)->hostFlag, 0xFF);
  for (qlong m : {msgPropertyRequest, msgPropertyCanAssign, msgGetProperty, msgSetProperty}) {
    EXPECT_EQ(host.send(m, kObjMain, 1, LPARAM(mainInst)), 0);
    EXPECT_EQ(host.send(m, kObjMain, 1, LPARAM(0xDEAD)), 0);
  }
  EXPECT_EQ(host.send(msgGetProperties, kObjMain, 0, 0), 0);
  // A flag for an instance without object changes nothing and is answered by the default.
  EXPECT_EQ(host.send(msgSetInstanceFlag, kObjMain, 3, LPARAM(0xDEAD)), 0);
}

TEST_F(Lifecycle, CopyMessage) {
  host.send(msgSetInstanceFlag, kObjMain, 7, LPARAM(mainInst));
  // A destination without object gets a duplicate.
  const objinst dup = hostrt::newInstance("dup");
  host.copy(kObjMain, mainInst, dup);
  ASSERT_NE(object(dup), nullptr);
  EXPECT_EQ(object(dup)->objType, kObjZQMain);
  EXPECT_EQ(object(dup)->objInst, dup);
  EXPECT_EQ(object(dup)->hostFlag, 7);
  // An existing main destination takes the flag.
  const objinst other = hostrt::newInstance("other");
  host.construct(kObjMain, other);
  object(other)->hostFlag = 1;
  host.copy(kObjMain, mainInst, other);
  EXPECT_EQ(object(other)->hostFlag, 7);
  EXPECT_EQ(object(other)->objInst, other);
  // A scope destination keeps what it had; a missing source does nothing.
  const objinst scope = hostrt::newInstance("scope");
  host.construct(kObjScope, scope);
  object(scope)->hostFlag = 3;
  host.copy(kObjScope, mainInst, scope);
  EXPECT_EQ(object(scope)->hostFlag, 3);
  EXPECT_EQ(object(scope)->objType, kObjZQObjScope);
  host.copy(kObjMain, hostrt::newInstance("none"), other);
  EXPECT_EQ(object(other)->hostFlag, 7);
  for (objinst i : {dup, other}) host.destruct(kObjMain, i);
  host.destruct(kObjScope, scope);
}

}  // namespace
