// Method dispatch of the main object: ids, return values and "$error" reports.
#include "testhost.h"

using namespace zqtest;

namespace {

class Dispatch : public ComponentTest {};

TEST_F(Dispatch, ErrorMethodSucceedsAtOnce) {
  std::vector<EXTfldval> params{integer(5), chr("a")};
  auto r = call(2100, params);
  EXPECT_EQ(r.answer, 0);
  ASSERT_TRUE(r.hasReturn);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_TRUE(r.errors.empty());
}

TEST_F(Dispatch, IdsOutsideTheTableReportInvalidMethod) {
  for (qlong id : {2099, 2129, 0, 7001}) {
    std::vector<EXTfldval> params;
    auto r = call(id, params);
    EXPECT_EQ(r.answer, 0);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getLong(), 0) << id;
    ASSERT_EQ(r.errors.size(), 1u) << id;
    EXPECT_EQ(r.errors[0].code, -101);
    EXPECT_EQ(r.errors[0].message, "Invalid method called. Internal method index error.");
    EXPECT_EQ(r.errors[0].detail, "");
    EXPECT_EQ(r.errors[0].method, "");
  }
}

TEST_F(Dispatch, UnlistedBase64MethodsAreNotImplemented) {
  const std::pair<qlong, const char*> cases[] = {{2109, "$encode64"}, {2110, "$decode64"}};
  for (const auto& c : cases) {
    std::vector<EXTfldval> params{chr("x")};
    auto r = call(c.first, params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -999);
    EXPECT_EQ(r.errors[0].message, "Feature not implemented.");
    EXPECT_EQ(r.errors[0].method, c.second);
  }
}

}  // namespace
