// Keys, indexes, identity, NOT NULL and defaults of a SQL Server source, read through FreeTDS's catalogue
// calls and rebuilt in embedded Firebird.
#include <gtest/gtest.h>

#include <algorithm>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "support/EndpointFixture.h"
#include "support/HeadlessHost.h"
#include "support/KeyChecks.h"
#include "support/TestSupport.h"

using testsupport::Rows;

namespace {

const char* const kCatalog = R"json({"database": "keys", "password": "pw", "tables": [
 {"name": "Parent",
  "columns": [["Region", "nchar(2)"], ["Code", "nvarchar(10)"], ["Name", "nvarchar(40)"], ["Qty", "int"],
              ["Note", "nvarchar(20)"], ["Created", "datetime"], ["Odd", "int"], ["Doc", "xml"], ["Rate", "float"],
              ["Long", "nvarchar(600)"]],
  "rows": [["EU", "A1", "Alpha", 1, "x", "2020-01-01 00:00:00", 1, null, 1.5, "l"],
           ["EU", "B2", "Beta", 0, null, null, null, null, null, null],
           ["US", "A1", "Gamma", 3, null, null, null, null, null, null]],
  "not_null": ["Name", "Qty"],
  "defaults": {"Qty": "((0))", "Note": "(N'n/a')", "Created": "(getdate())", "Odd": "(abs((1)))", "Rate": "((1.5))"},
  "primary_key": {"name": "PK_Parent", "columns": ["Region", "Code"]},
  "indexes": [{"name": "UX_Parent_Name", "unique": true, "columns": ["Name"]},
              {"name": "IX_Recent", "unique": false, "columns": ["Created", "Qty"], "desc": ["Created", "Qty"]},
              {"name": "IX_Positive", "unique": false, "columns": ["Qty"], "filter": "([Qty]>(0))"},
              {"name": "IX_Covering", "unique": false, "columns": ["Region"], "include": ["Name"]},
              {"name": "XI_Doc", "columns": ["Doc"], "type": "XML"},
              {"name": "IX_Shared", "unique": false, "columns": ["Qty"]},
              {"name": "IX_Long", "unique": false, "columns": ["Long"]}]},
 {"name": "Child",
  "columns": [["Id", "int"], ["ParentRegion", "nchar(2)"], ["ParentCode", "nvarchar(10)"], ["Amount", "money"]],
  "rows": [[1, "EU", "A1", "1.5"], [2, "EU", "A1", "2.5"], [5, "US", "A1", "3"], [9, "EU", "B2", "4"]],
  "not_null": ["ParentRegion", "ParentCode", "Amount"],
  "identity": {"column": "Id", "seed": 1, "increment": 1},
  "primary_key": {"name": "PK_Child", "columns": ["Id"]},
  "indexes": [{"name": "IX_Shared", "unique": false, "columns": ["Amount"]}],
  "foreign_keys": [{"name": "FK_Child_Parent", "columns": ["ParentRegion", "ParentCode"], "ref_table": "Parent",
                    "ref_columns": ["Region", "Code"], "on_delete": "CASCADE"}]}
]})json";

class KeysTest : public testsupport::EndpointFixture {
 protected:
  KeysTest() : EndpointFixture(kCatalog) {}
  std::vector<std::string> Plain(const std::string& table) { return testsupport::PlainIndexes(Target(), table); }
};

bool Has(const std::vector<std::string>& v, const std::string& prefix) {
  return std::any_of(v.begin(), v.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; });
}

TEST_F(KeysTest, KeysIndexesIdentityAndDefaultsArrive) {
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_EQ(run.Reported(), 0) << ::testing::PrintToString(host.shown);
  ado::Connection& c = Target();

  EXPECT_EQ(testsupport::NotNull(c, "Parent", "Region"), "1");  // a primary key column
  EXPECT_EQ(testsupport::NotNull(c, "Parent", "Name"), "1");
  EXPECT_EQ(testsupport::NotNull(c, "Parent", "Note"), "0");
  EXPECT_EQ(testsupport::NotNull(c, "Child", "Amount"), "1");
  EXPECT_EQ(testsupport::DefaultOf(c, "Parent", "Qty"), "DEFAULT 0");
  EXPECT_EQ(testsupport::DefaultOf(c, "Parent", "Note"), "DEFAULT 'n/a'");
  EXPECT_EQ(testsupport::DefaultOf(c, "Parent", "Created"), "DEFAULT CURRENT_TIMESTAMP");
  EXPECT_EQ(testsupport::DefaultOf(c, "Parent", "Rate"), "DEFAULT 1.5");
  EXPECT_EQ(testsupport::DefaultOf(c, "Parent", "Odd"), "<null>");

  EXPECT_EQ(testsupport::Constraints(c, "Parent"), std::vector<std::string>{"PRIMARY KEY PK_Parent(Region,Code)"});
  EXPECT_EQ(testsupport::Constraints(c, "Child"),
            (std::vector<std::string>{"FOREIGN KEY FK_Child_Parent(ParentRegion,ParentCode)", "PRIMARY KEY PK_Child(Id)"}));
  EXPECT_EQ(testsupport::KeyRules(c, "FK_Child_Parent"), "CASCADE/RESTRICT");
  // National text columns are VARCHARs, so that they sort and can be indexed.
  EXPECT_EQ(Rows(c, "SELECT F.RDB$FIELD_TYPE, F.RDB$CHARACTER_LENGTH FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F ON "
                    "F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE WHERE R.RDB$RELATION_NAME = 'Parent' AND R.RDB$FIELD_NAME IN "
                    "('Code', 'Name', 'Note') ORDER BY R.RDB$FIELD_NAME"),
            (std::vector<std::vector<std::string>>{{"37", "10"}, {"37", "40"}, {"37", "20"}}));

  const auto parent = Plain("Parent");
  EXPECT_TRUE(Has(parent, "UX_Parent_Name(Name) unique")) << ::testing::PrintToString(parent);
  EXPECT_TRUE(Has(parent, "IX_Recent(Created,Qty) desc")) << ::testing::PrintToString(parent);
  // Index names are unique per table in SQL Server, per database in Firebird.
  EXPECT_TRUE(Has(parent, "IX_Shared~")) << ::testing::PrintToString(parent);
  EXPECT_EQ(parent.size(), 3u) << ::testing::PrintToString(parent);
  EXPECT_TRUE(Has(Plain("Child"), "IX_Shared(Amount)"));

  for (const char* named : {"\"IX_Positive\" (a filtered index)", "\"IX_Covering\" (an index with included columns)",
                            "\"XI_Doc\" (an XML index)", "index \"IX_Long\" (its key of 3602 bytes is longer than the 2041 bytes",
                            "the default (abs((1))) of column \"Odd\""})
    EXPECT_NE(host.summary.find(named), std::string::npos) << named << "\n" << host.summary;

  // The identity goes on after the largest copied value, gaps and all.
  c.Execute("INSERT INTO \"Child\" (\"ParentRegion\", \"ParentCode\", \"Amount\") VALUES ('EU', 'B2', 7)");
  c.Flush();
  EXPECT_EQ(testsupport::IdentityType(c, "Child", "Id"), "1");
  EXPECT_EQ(Rows(c, "SELECT MAX(\"Id\") FROM \"Child\"")[0][0], "10");
  // The foreign key refuses an orphan and cascades a delete.
  EXPECT_THROW(c.Execute("INSERT INTO \"Child\" (\"ParentRegion\", \"ParentCode\", \"Amount\") VALUES ('EU', 'ZZ', 1)"),
               ado::DbError);
  c.Execute("DELETE FROM \"Parent\" WHERE \"Region\" = 'EU' AND \"Code\" = 'A1'");
  c.Flush();
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Child\"")[0][0], "3");
  // The unique index holds.
  EXPECT_THROW(c.Execute("INSERT INTO \"Parent\" (\"Region\", \"Code\", \"Name\") VALUES ('XX', 'Q', 'Beta')"),
               ado::DbError);
}

TEST_F(KeysTest, ASecondRunAnsweredYesReplacesEverything) {
  conversion::ConversionRun(host).Run(host.Options());
  host.answers = {conversion::kYes, conversion::kYes};
  conversion::ConversionRun again(host);
  again.Run(host.Options());
  EXPECT_EQ(again.Reported(), 0) << ::testing::PrintToString(host.shown);
  EXPECT_EQ(testsupport::Constraints(Target(), "Child").size(), 2u);
  EXPECT_EQ(Rows(Target(), "SELECT COUNT(*) FROM \"Child\"")[0][0], "4");
  fb.Close();

  // Replacing only the referenced table drops the foreign key that points at it for the time it takes.
  host.leftOut = {"Child"};
  host.answers = {conversion::kYes};
  conversion::ConversionRun parentOnly(host);
  parentOnly.Run(host.Options());
  EXPECT_EQ(parentOnly.Reported(), 0) << ::testing::PrintToString(host.shown);
  // The foreign key that pointed at it is made again over its new rows.
  EXPECT_EQ(testsupport::Constraints(Target(), "Child"),
            (std::vector<std::string>{"FOREIGN KEY FK_Child_Parent(ParentRegion,ParentCode)", "PRIMARY KEY PK_Child(Id)"}));
  EXPECT_EQ(host.summary.find("FK_Child_Parent"), std::string::npos) << host.summary;
}

// The classic rules without keys give the very statements they always gave.
TEST_F(KeysTest, WithoutCopyKeysTheTypeRulesAlone) {
  host.preview = true;
  host.copyKeys = false;
  host.rules = conversion::TypeRules::Classic;
  conversion::ConversionRun(host).Run(host.Options());
  std::vector<std::string> ddl;
  for (const auto& s : host.script)
    if (s.rfind("INSERT", 0) != 0) ddl.push_back(s);
  EXPECT_EQ(ddl, (std::vector<std::string>{
                     "CREATE TABLE \"Child\" (\"Id\" INTEGER, \"ParentRegion\" VARCHAR(2) CHARACTER SET UTF8, "
                     "\"ParentCode\" BLOB SUB_TYPE TEXT CHARACTER SET UTF8, \"Amount\" NUMERIC(18, 4));",
                     "CREATE TABLE \"Parent\" (\"Region\" VARCHAR(2) CHARACTER SET UTF8, \"Code\" BLOB SUB_TYPE TEXT "
                     "CHARACTER SET UTF8, \"Name\" BLOB SUB_TYPE TEXT CHARACTER SET UTF8, \"Qty\" INTEGER, \"Note\" BLOB "
                     "SUB_TYPE TEXT CHARACTER SET UTF8, \"Created\" TIMESTAMP, \"Odd\" INTEGER, \"Doc\" BLOB SUB_TYPE TEXT "
                     "CHARACTER SET UTF8, \"Rate\" DOUBLE PRECISION, \"Long\" BLOB SUB_TYPE TEXT CHARACTER SET UTF8);"}));
  EXPECT_EQ(host.summary, "");
}

// With a preview for each table, a foreign key is in the preview of the later of its two tables.
TEST_F(KeysTest, APerTablePreviewHoldsTheForeignKeyOfItsLaterTable) {
  host.preview = true;
  host.perTable = true;
  std::vector<std::vector<std::string>> previews;
  host.onPreview = [&](testsupport::HeadlessHost& h) {
    previews.push_back(h.script);
    h.outcome.SQLFormOK = true;    // as if its statements were executed
    h.outcome.SQLTableOK = false;  // and on to the next
  };
  conversion::ConversionRun(host).Run(host.Options());
  ASSERT_EQ(previews.size(), 2u);
  auto foreignKeys = [](const std::vector<std::string>& script) {
    return std::count_if(script.begin(), script.end(),
                         [](const std::string& s) { return s.find("FOREIGN KEY") != std::string::npos; });
  };
  EXPECT_EQ(previews[0][0].rfind("CREATE TABLE \"Child\"", 0), 0u);
  EXPECT_EQ(foreignKeys(previews[0]), 0);
  EXPECT_EQ(foreignKeys(previews[1]), 1);
  EXPECT_EQ(previews[1].back(),
            "ALTER TABLE \"Child\" ADD CONSTRAINT \"FK_Child_Parent\" FOREIGN KEY (\"ParentRegion\", \"ParentCode\") "
            "REFERENCES \"Parent\" (\"Region\", \"Code\") ON DELETE CASCADE;");

  // A table whose preview was skipped was not made: the later preview gets no foreign key to it, and the
  // key is named as not made.
  previews.clear();
  host.onPreview = [&](testsupport::HeadlessHost& h) {
    previews.push_back(h.script);
    h.outcome.SQLFormOK = false;
    h.outcome.SQLTableOK = false;  // "Skip Table / Do Not Execute SQL"
  };
  conversion::ConversionRun(host).Run(host.Options());
  ASSERT_EQ(previews.size(), 2u);
  EXPECT_EQ(foreignKeys(previews[1]), 0);
  EXPECT_NE(host.summary.find("foreign key \"FK_Child_Parent\""), std::string::npos) << host.summary;
}

}  // namespace
