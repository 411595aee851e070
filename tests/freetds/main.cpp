#include <gtest/gtest.h>

#include <cstdlib>

#include "support/TestSupport.h"

int main(int argc, char** argv) {
  testsupport::RegisterSqlServerDriver("freetds");
  setenv("TDSVER", "7.4", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
