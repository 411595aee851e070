// "tarnwick sync": a converted database brought up to date with a source that moved on, through
// FreeTDS and the project's endpoint into embedded Firebird.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <map>
#include <sstream>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::Rows;

namespace {

using Table = std::vector<std::vector<std::string>>;

// The shop as it was copied, and as it stands on the day of the switch: customer 2 renamed, 3's balance
// changed, a byte of 4's photo changed, 6 gone with its order, 7 and 8 new with an order of 7's; a tag
// once fewer, one once more and one new; a table of notes that was not there; the order sequence on.
std::string Shop(bool moved) {
  const std::string customers =
      moved ? R"J([1, "Ann", "10.00", "00FF"], [2, "Bob Smith", "20.50", null], [3, "Cy", "-7.25", "0102"],
                  [4, "Di", "0.00", "0A0B0D"], [5, "Ed", "1.00", null], [7, "Flo", "3.30", "00"], [8, "Gus", "4.40", null])J"
            : R"J([1, "Ann", "10.00", "00FF"], [2, "Bob", "20.50", null], [3, "Cy", "30.00", "0102"],
                  [4, "Di", "0.00", "0A0B0C"], [5, "Ed", "1.00", null], [6, "Fay", "2.00", null])J";
  const std::string orders = moved ? R"J([100, 1, "first"], [101, 5, "kept"], [103, 7, "new"])J"
                                   : R"J([100, 1, "first"], [101, 5, "kept"], [102, 6, "gone"])J";
  const std::string tags = moved ? R"J(["a"], ["b"], ["b"], ["c"])J" : R"J(["a"], ["a"], ["b"])J";
  std::string notes = moved ? R"J(, {"name": "Notes", "columns": [["Id", "int"], ["CustomerId", "int"], ["Text", "nvarchar(20)"]],
      "primary_key": {"name": "PK_Notes", "columns": ["Id"]},
      "foreign_keys": [{"name": "FK_Notes_Customers", "columns": ["CustomerId"], "ref_table": "Customers", "ref_columns": ["Id"]}],
      "rows": [[1, 1, "hello"], [2, 7, "there"]]})J"
                            : "";
  return R"J({"database": "shop", "password": "Se;cret",
    "sequences": [{"schema": "dbo", "name": "OrderNo", "type": "bigint", "start": 1, "increment": 1, "current": )J" +
         std::string(moved ? "2000" : "1042") + R"J(}],
    "tables": [
    {"name": "Customers", "columns": [["Id", "int"], ["Name", "nvarchar(40)"], ["Balance", "decimal(10,2)"],
       ["Photo", "varbinary(max)"]],
     "identity": {"column": "Id", "seed": 1, "increment": 1},
     "primary_key": {"name": "PK_Customers", "columns": ["Id"]}, "rows": [)J" +
         customers + R"J(]},
    {"name": "Orders", "columns": [["Id", "int"], ["CustomerId", "int"], ["Note", "nvarchar(20)"]],
     "primary_key": {"name": "PK_Orders", "columns": ["Id"]},
     "foreign_keys": [{"name": "FK_Orders_Customers", "columns": ["CustomerId"], "ref_table": "Customers",
                       "ref_columns": ["Id"]}],
     "rows": [)J" +
         orders + R"J(]},
    {"name": "Tags", "columns": [["Tag", "nvarchar(10)"]], "rows": [)J" +
         tags + "]}" + notes + "]}";
}

class SyncTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    setenv("SHOP_PASSWORD", "Se;cret", 1);
    setenv("FB_PASSWORD", "masterkey", 1);
    fb = testsupport::NewFirebirdDatabase(dir);
  }

  // Runs tarnwick against the endpoint; its exit code, and what it wrote to stderr in `said`.
  int Tarnwick(const std::string& command, const testsupport::TdsEndpoint& endpoint, std::string& said,
               std::vector<std::string> more = {}) {
    std::vector<std::string> args{command, "--server", "127.0.0.1", "--port", std::to_string(endpoint.Port()), "--user",
                                  "sa", "--database", "shop", "--password-env", "SHOP_PASSWORD", "--firebird", fb.database,
                                  "--firebird-user", "SYSDBA", "--firebird-password-env", "FB_PASSWORD"};
    args.insert(args.end(), more.begin(), more.end());
    const std::string out = dir.File("said.txt");
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" >'" + out + "' 2>&1", TARNWICK_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    testsupport::Process p(argv);
    const int status = p.Wait(120000);
    std::ifstream in(out);
    std::stringstream text;
    text << in.rdbuf();
    said = text.str();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  Table Query(const std::string& sql) {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    return Rows(c, sql);
  }
  // Each row's key and its record version: the transaction that wrote it last.
  std::map<std::string, std::string> Versions(const std::string& table, const std::string& key) {
    std::map<std::string, std::string> v;
    for (auto& r : Query("SELECT \"" + key + "\", RDB$RECORD_VERSION FROM \"" + table + "\"")) v[r[0]] = r[1];
    return v;
  }

  testsupport::TempDir dir;
  FireBird::Login fb;
};

}  // namespace

TEST_F(SyncTest, ChangesSinceTheCopyAreAppliedAndNothingElseIsWritten) {
  std::string said;
  {
    testsupport::TdsEndpoint before(dir, Shop(false));
    ASSERT_EQ(Tarnwick("convert", before, said, {"--overwrite", "no"}), 0) << said;
  }
  // Someone tried the application on Firebird: a customer renamed there.
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    c.Execute("UPDATE \"Customers\" SET \"Name\" = 'Annie' WHERE \"Id\" = 1");
    c.Flush();
  }
  const auto customersBefore = Versions("Customers", "Id");
  const auto ordersBefore = Versions("Orders", "Id");

  testsupport::TdsEndpoint after(dir, Shop(true));
  ASSERT_EQ(Tarnwick("sync", after, said), 0) << said;
  EXPECT_NE(said.find("Table \"Customers\": brought up to date: 2 inserted, 4 updated, 1 deleted of 7 rows"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("Table \"Orders\": brought up to date: 1 inserted, 0 updated, 1 deleted of 3 rows"), std::string::npos)
      << said;
  // Without a key the table is brought to the source's multiset: one "a" fewer, one "b" and a "c" more.
  EXPECT_NE(said.find("Table \"Tags\": brought up to date: 2 inserted, 0 updated, 1 deleted of 4 rows"), std::string::npos)
      << said;
  EXPECT_NE(said.find("Table \"Notes\": 2 rows read, 2 written, 0 rejected"), std::string::npos) << said;
  EXPECT_NE(said.find("Table \"Customers\": identical (7 rows)"), std::string::npos) << said;
  // The foreign keys Firebird holds are not missing; the new table's, to a table brought up to date, is made.
  EXPECT_EQ(said.find("not carried over"), std::string::npos) << said;
  EXPECT_EQ(Query("SELECT TRIM(RDB$CONSTRAINT_NAME) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_TYPE = 'FOREIGN KEY' "
                  "ORDER BY 1"),
            (Table{{"FK_Notes_Customers"}, {"FK_Orders_Customers"}}));

  EXPECT_EQ(Query("SELECT \"Id\", \"Name\", \"Balance\", \"Photo\" FROM \"Customers\" ORDER BY 1"),
            (Table{{"1", "Ann", "10.00", std::string("\x00\xFF", 2)},
                   {"2", "Bob Smith", "20.50", "<null>"},
                   {"3", "Cy", "-7.25", "\x01\x02"},
                   {"4", "Di", "0.00", "\x0A\x0B\x0D"},
                   {"5", "Ed", "1.00", "<null>"},
                   {"7", "Flo", "3.30", std::string(1, '\0')},
                   {"8", "Gus", "4.40", "<null>"}}));
  EXPECT_EQ(Query("SELECT \"Tag\", COUNT(*) FROM \"Tags\" GROUP BY 1 ORDER BY 1"), (Table{{"a", "1"}, {"b", "2"}, {"c", "1"}}));
  // The rows that did not change were not written.
  const auto customersAfter = Versions("Customers", "Id");
  EXPECT_EQ(customersAfter.at("5"), customersBefore.at("5"));
  for (const char* changed : {"1", "2", "3", "4"}) EXPECT_NE(customersAfter.at(changed), customersBefore.at(changed)) << changed;
  EXPECT_EQ(Versions("Orders", "Id").at("100"), ordersBefore.at("100"));
  EXPECT_EQ(Versions("Orders", "Id").at("101"), ordersBefore.at("101"));

  // The foreign key is in place and holds; the identity and the sequence go on after the source's values.
  EXPECT_THROW(
      {
        ado::Connection c;
        c.Open(FireBird::ConnectionString(fb));
        c.Execute("INSERT INTO \"Orders\" VALUES (200, 6, 'orphan')");
        c.Flush();
      },
      ado::DbError);
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    c.Execute("INSERT INTO \"Customers\" (\"Name\") VALUES ('Hal')");
    c.Flush();
  }
  EXPECT_EQ(Query("SELECT \"Id\" FROM \"Customers\" WHERE \"Name\" = 'Hal'"), (Table{{"9"}}));
  EXPECT_EQ(Query("SELECT NEXT VALUE FOR \"OrderNo\" FROM RDB$DATABASE"), (Table{{"2001"}}));
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    c.Execute("DELETE FROM \"Customers\" WHERE \"Name\" = 'Hal'");
    c.Flush();
  }

  // A second sync finds nothing to do and writes nothing.
  const auto settled = Versions("Customers", "Id");
  ASSERT_EQ(Tarnwick("sync", after, said), 0) << said;
  for (const char* table : {"Customers\": in sync (7 rows)", "Orders\": in sync (3 rows)", "Tags\": in sync (4 rows)",
                            "Notes\": in sync (2 rows)"})
    EXPECT_NE(said.find("Table \"" + std::string(table)), std::string::npos) << said;
  EXPECT_EQ(Versions("Customers", "Id"), settled);
  std::string verified;
  EXPECT_EQ(Tarnwick("verify", after, verified), 0) << verified;
}

TEST_F(SyncTest, TablesThatAreNotAsAConversionMakesThemAreLeftUnlessReplaced) {
  std::string said;
  testsupport::TdsEndpoint source(dir, Shop(false));
  ASSERT_EQ(Tarnwick("convert", source, said, {"--overwrite", "no"}), 0) << said;
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    c.Execute("ALTER TABLE \"Tags\" ADD \"Extra\" INTEGER");
    c.Flush();
  }
  EXPECT_EQ(Tarnwick("sync", source, said), 1) << said;
  EXPECT_NE(said.find("not brought up to date: "), std::string::npos) << said;
  EXPECT_EQ(Query("SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'Tags'"), (Table{{"2"}}));
  EXPECT_EQ(Tarnwick("sync", source, said, {"--overwrite", "yes"}), 0) << said;
  EXPECT_NE(said.find("replaced, not brought up to date: "), std::string::npos) << said;
  EXPECT_EQ(Query("SELECT COUNT(*) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'Tags'"), (Table{{"1"}}));
  EXPECT_EQ(Tarnwick("sync", source, said, {"--script", dir.File("x.sql")}), 2) << said;
}

// Stopped while the second table is brought up to date: what was applied is committed, the file is
// consistent (the foreign keys hold), and the next sync finishes the job.
TEST(SyncStop, ANextSyncFinishesWhatAStoppedOneBegan) {
  testsupport::TempDir dir;
  testsupport::HeadlessHost host;
  host.fb = testsupport::NewFirebirdDatabase(dir);
  {
    testsupport::TdsEndpoint before(dir, Shop(false));
    host.sql = before.Login("Se;cret");
    conversion::ConversionRun(host).Run(host.Options());
    ASSERT_EQ(host.shown, (std::vector<std::string>{"Done."}));
  }
  testsupport::TdsEndpoint after(dir, Shop(true));
  host.sql = after.Login("Se;cret");
  host.sync = true;
  host.verify = true;
  // Parents go first: the orders come after the customers, and the stop comes with them.
  host.onText = [&](const std::string& text) {
    if (text.find("up to date") != std::string::npos && text.find("Orders") != std::string::npos) host.stop = true;
  };
  conversion::ConversionRun stopped(host);
  stopped.Run(host.Options());
  EXPECT_TRUE(stopped.Stopped());
  EXPECT_EQ(host.summary.rfind("Stopped.", 0), 0u) << host.summary;
  // The customers' new and changed rows are in; the one the source lost waits with its order.
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Customers\" WHERE \"Id\" IN (6, 7, 8)"), (Table{{"3"}}));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Orders\" O LEFT JOIN \"Customers\" C ON C.\"Id\" = O.\"CustomerId\" "
                    "WHERE C.\"Id\" IS NULL"),
            (Table{{"0"}}));
  c.Close();

  host.stop = false;
  host.onText = {};
  conversion::ConversionRun again(host);
  again.Run(host.Options());
  EXPECT_FALSE(again.Stopped());
  EXPECT_FALSE(again.VerifyFoundDifferences()) << host.summary;
  EXPECT_NE(host.summary.find("Table \"Orders\": brought up to date: 1 inserted, 0 updated, 1 deleted of 3 rows"),
            std::string::npos)
      << host.summary;
  EXPECT_NE(host.summary.find("Table \"Customers\": brought up to date: 0 inserted, 0 updated, 1 deleted of 7 rows"),
            std::string::npos)
      << host.summary;
}
