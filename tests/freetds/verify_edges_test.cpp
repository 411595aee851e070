// Verify through FreeTDS on tables without a key: rows that sort alike are compared as a multiset of
// whole rows, and a difference names the row's values.
#include <gtest/gtest.h>

#include "conversion/ConversionRun.h"
#include "conversion/Verify.h"
#include "support/EndpointFixture.h"

namespace {

class KeylessVerifyTest : public testsupport::EndpointFixture {
 protected:
  KeylessVerifyTest()
      : EndpointFixture(R"J({"database": "shop", "password": "pw", "tables": [
  {"name": "K2", "columns": [["F", "float"], ["S", "nvarchar(5)"]], "rows": [[-0.0, "a"], [0.0, "a"], [1.5, "b"]]},
  {"name": "Blobs", "columns": [["A", "int"], ["D", "varbinary(max)"]],
   "rows": [[1, "01"], [1, "02"], [1, "02"], [2, null]]}]})J") {}

  conversion::TableVerdict Verdict(const std::string& table) {
    ado::Connection ms;
    MSSQL::Open(ms, host.sql);
    return conversion::VerifyTable(ms, Target(), {"dbo", table}, table, table, {}, {}, 0);
  }
};

}  // namespace

// -0.0 and 0.0 are equal, as in SQL Server: the two rows arrive and verify identical.
TEST_F(KeylessVerifyTest, NegativeZeroRowsVerifyIdentical) {
  host.verify = true;
  conversion::ConversionRun run(host);
  run.Run();
  EXPECT_FALSE(run.VerifyFoundDifferences()) << host.summary;
  EXPECT_NE(host.summary.find("Table \"K2\": identical (3 rows)"), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("Table \"Blobs\": identical (4 rows)"), std::string::npos) << host.summary;
  EXPECT_EQ(testsupport::Rows(Target(), "SELECT COUNT(*) FROM \"K2\" WHERE \"F\" = 0")[0][0], "2");
}

// Rows equal in every sortable column but one blob: a changed blob is a row missing and a row extra,
// each shown with its values; a duplicate gone is counted once per copy.
TEST_F(KeylessVerifyTest, ADifferenceNamesTheWholeRow) {
  conversion::ConversionRun(host).Run();
  Target().Execute("UPDATE \"Blobs\" SET \"D\" = x'03' WHERE \"D\" = x'01'");
  Target().Execute("DELETE FROM \"Blobs\" WHERE \"D\" = x'02'");
  Target().Flush();
  const conversion::TableVerdict v = Verdict("Blobs");
  EXPECT_EQ(v.rows, 4);
  EXPECT_EQ(v.missing, 3);
  EXPECT_EQ(v.extra, 1);
  EXPECT_EQ(v.differing, 0);
  EXPECT_EQ(v.examples, (std::vector<std::string>{"row (A = 1, D = 0x01): missing in Firebird",
                                                  "row (A = 1, D = 0x02): missing in Firebird (2 times)",
                                                  "row (A = 1, D = 0x03): in Firebird only"}));
}
