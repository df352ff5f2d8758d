// Sizes past what a host value can hold are refused as a failed allocation (std::bad_alloc,
// which the component turns into -103), never wrapped into a small one. The refusal comes
// before any byte is read, so the lengths below are asked for with a small buffer.
#include <new>

#include "testhost.h"

using namespace zqtest;

namespace {

TEST(HostSizes, CharacterLengthsPastTheHandleLimitAreRefused) {
  const qchar few[4] = {U'a', U'b', U'c', U'd'};
  struct Case {
    const char* what;
    qlong len;
  } cases[] = {
      {"one past the limit (2^29 characters are 2^31 bytes)", 536870912},
      {"2^30 + 1: times 4 wraps to 4 bytes in 32 bits", 1073741825},
      {"the largest length", 2147483647},
  };
  for (const Case& c : cases) {
    EXTfldval v = chr("kept");
    EXPECT_THROW(v.setChar(few, c.len), std::bad_alloc) << c.what;
    EXPECT_EQ(text(v), "kept") << c.what;
  }
  EXTfldval v;
  v.setChar(few, 4);
  EXPECT_EQ(text(v), "abcd");
}

TEST(HostSizes, NegativeAndOversizedHandlesAreRefused) {
  EXPECT_EQ(HANglobalAlloc(-1, qfalse), nullptr);
  qHandleInfo* h = HANglobalAlloc(8, qtrue);
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(HANglobalReAlloc(h, -1));
  EXPECT_EQ(HANgetAllocated(h), 8);
  HANglobalFree(h);
}

}  // namespace
