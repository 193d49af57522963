#include "result_code.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(ResultCodeTest, SuccessHasItsName) {
  EXPECT_STREQ("SUCCESS", GetResultCodeName(SUCCESS));
}
