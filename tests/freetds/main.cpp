#include <gtest/gtest.h>

#include <cstdlib>

#include "connectivity/sqlserver/Encryption.h"
#include "support/TestSupport.h"

int main(int argc, char** argv) {
  testsupport::RegisterSqlServerDriver("freetds");
  MSSQL::PrepareTlsConfig();
  setenv("TDSVER", "7.4", 1);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
