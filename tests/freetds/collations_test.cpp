// Text columns that compare as the source's collations make them, through FreeTDS and the project's
// endpoint into embedded Firebird.
#include <gtest/gtest.h>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "support/EndpointFixture.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::Rows;

namespace {

using Table = std::vector<std::vector<std::string>>;

// Names under the database's case-insensitive collation (a unique index on them), codes in a binary one,
// tags case-sensitive, words without regard to case or accents; a table keyed by text.
const char* const kCatalog = R"json({"database": "shop", "collation": "SQL_Latin1_General_CP1_CI_AS",
 "tables": [
  {"name": "People", "columns": [["Id", "int"], ["Name", "nvarchar(40)"], ["Code", "varchar(10)"], ["Tag", "nvarchar(10)"],
     ["Word", "nvarchar(10)"], ["Note", "nvarchar(400)"]],
   "collations": {"Code": "Latin1_General_BIN2", "Tag": "Latin1_General_CS_AS", "Word": "Latin1_General_CI_AI"},
   "primary_key": {"name": "PK_People", "columns": ["Id"]},
   "indexes": [{"name": "UX_People_Name", "unique": true, "columns": ["Name"]},
               {"name": "IX_People_Note", "columns": ["Note"]}],
   "rows": [[1, "Smith", "ABC", "Red", "Émile", null], [2, "adams", "abc", "red", "cafe", "x"], [3, "Brown", "b", "RED", "Zoë", null]]},
  {"name": "Keyed", "columns": [["Code", "nvarchar(10)"], ["N", "int"]],
   "primary_key": {"name": "PK_Keyed", "columns": ["Code"]},
   "rows": [["B", 1], ["a", 2], ["c", 3]]}]
})json";

class CollationsTest : public testsupport::EndpointFixture {
 protected:
  CollationsTest() : EndpointFixture(kCatalog) {}
  std::string Refused(const std::string& sql) {
    try {
      Target().Execute(sql);
      Target().Flush();
      return {};
    } catch (const ado::DbError& e) {
      return e.what();
    }
  }
};

}  // namespace

TEST_F(CollationsTest, TextComparesAsTheSourcesCollationsMakeIt) {
  host.verify = true;
  conversion::ConversionRun(host).Run(host.Options());
  ado::Connection& c = Target();
  EXPECT_EQ(Rows(c, "SELECT TRIM(R.RDB$FIELD_NAME), TRIM(C.RDB$COLLATION_NAME) FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F "
                    "ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE JOIN RDB$COLLATIONS C ON C.RDB$CHARACTER_SET_ID = "
                    "F.RDB$CHARACTER_SET_ID AND C.RDB$COLLATION_ID = COALESCE(R.RDB$COLLATION_ID, F.RDB$COLLATION_ID) "
                    "WHERE R.RDB$RELATION_NAME = 'People' AND F.RDB$CHARACTER_SET_ID = 4 ORDER BY R.RDB$FIELD_POSITION"),
            (Table{{"Name", "UNICODE_CI"}, {"Code", "UTF8"}, {"Tag", "UNICODE"}, {"Word", "UNICODE_CI_AI"}, {"Note", "UNICODE_CI"}}));
  // As the application's queries found them in SQL Server: without regard to case, alphabetically.
  EXPECT_EQ(Rows(c, "SELECT \"Id\" FROM \"People\" WHERE \"Name\" = 'smith'"), (Table{{"1"}}));
  EXPECT_EQ(Rows(c, "SELECT \"Name\" FROM \"People\" ORDER BY \"Name\""), (Table{{"adams"}, {"Brown"}, {"Smith"}}));
  EXPECT_EQ(Rows(c, "SELECT \"Id\" FROM \"People\" WHERE \"Word\" = 'EMILE'"), (Table{{"1"}}));
  // A binary column stays binary, a case-sensitive one tells case apart.
  EXPECT_EQ(Rows(c, "SELECT \"Id\" FROM \"People\" WHERE \"Code\" = 'abc'"), (Table{{"2"}}));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"People\" WHERE \"Tag\" = 'red'"), (Table{{"1"}}));
  // The unique key refuses a name that differs from one there only in case.
  EXPECT_NE(Refused("INSERT INTO \"People\" (\"Id\", \"Name\") VALUES (4, 'SMITH')"), "");
  EXPECT_EQ(Refused("INSERT INTO \"People\" (\"Id\", \"Name\") VALUES (5, 'Smyth')"), "");
  // A case-insensitive key takes half as much room again: 400 characters fit UTF8's binary order, not
  // UNICODE_CI, and the index that no longer fits is named.
  EXPECT_NE(host.summary.find("Table \"People\": index \"IX_People_Note\" (its key of 2402 bytes is longer than the 2041 "
                              "bytes Firebird indexes on pages of 8192)"),
            std::string::npos)
      << host.summary;
  // Verify reads a text key in the same order on both sides, whatever its collation.
  EXPECT_NE(host.summary.find("Table \"People\": identical (3 rows)"), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("Table \"Keyed\": identical (3 rows)"), std::string::npos) << host.summary;
}

TEST_F(CollationsTest, ACaseInsensitiveTextKeyIsTakenUpWhereItStopped) {
  conversion::ConversionRun(host).Run(host.Options());
  // Stopped after the first two rows by code point ("B", "a"), the largest of which by a case-insensitive
  // order would be "B".
  Target().Execute("DELETE FROM \"Keyed\" WHERE \"Code\" = 'c'");
  Target().Flush();
  Target().Close();
  host.resume = true;
  host.verify = true;
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_NE(host.summary.find("resumed: 2 rows were in Firebird already; copied from the first row after Code = 'a' on"),
            std::string::npos)
      << host.summary;
  EXPECT_NE(host.summary.find("Table \"Keyed\": identical (3 rows)"), std::string::npos) << host.summary;
}

TEST_F(CollationsTest, BinaryCollationsKeepUtf8sOwnOrder) {
  host.binaryCollations = true;
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_EQ(Rows(Target(), "SELECT \"Name\" FROM \"People\" ORDER BY \"Name\""), (Table{{"Brown"}, {"Smith"}, {"adams"}}));
  EXPECT_EQ(Rows(Target(), "SELECT COUNT(*) FROM \"People\" WHERE \"Name\" = 'smith'"), (Table{{"0"}}));
  EXPECT_EQ(host.summary.find("IX_People_Note"), std::string::npos) << host.summary;
}
