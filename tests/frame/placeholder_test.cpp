#include "testhost.h"
TEST(Placeholder, Builds) { SUCCEED(); }
