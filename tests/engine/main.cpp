#include <gtest/gtest.h>

#include "support/TestSupport.h"

int main(int argc, char** argv) {
  testsupport::RegisterSqlServerDriver("sqlite");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
