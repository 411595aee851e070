// Keys, indexes, identity, NOT NULL and defaults: the rules that decide what Firebird can hold, checked
// against the real engine, and a conversion from the SQLite ODBC source.
#include <gtest/gtest.h>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "conversion/Keys.h"
#include "support/HeadlessHost.h"
#include "support/KeyChecks.h"
#include "support/TestSupport.h"

using testsupport::Rows;

TEST(FirebirdDefaultTest, LiteralsAndTheClockArriveOtherExpressionsDoNot) {
  using conversion::FirebirdDefault;
  const std::vector<std::pair<std::string, std::string>> kept = {
      {"((0))", "0"},          {"((-12.5))", "-12.5"},     {"(+3)", "3"},
      {"((1e3))", "1e3"},      {"(N'abc')", "'abc'"},      {"('it''s')", "'it''s'"},
      {"('(x)')", "'(x)'"},    {"(NULL)", "NULL"},         {"( null )", "NULL"},
      {"(getdate())", "CURRENT_TIMESTAMP"}, {"(SYSDATETIME())", "CURRENT_TIMESTAMP"},
      {"(current_timestamp)", "CURRENT_TIMESTAMP"}, {"N''", "''"}};
  for (const auto& [source, firebird] : kept) EXPECT_EQ(FirebirdDefault(source, "INTEGER"), firebird) << source;
  EXPECT_EQ(FirebirdDefault("(getdate())", "DATE"), "CURRENT_DATE");
  for (const char* dropped : {"(abs((1)))", "((1)+(2))", "(newid())", "('a'+'b')", "('a')+('b')", "(.)",
                              "(1e)", "(x)", "", "('unclosed)"})
    EXPECT_FALSE(FirebirdDefault(dropped, "INTEGER").has_value()) << dropped;
}

// The key sizes the plan reckons with are the engine's own: one byte more and Firebird refuses the index.
TEST(IndexKeyBytesTest, TheLimitIsTheEngines) {
  testsupport::TempDir dir;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(testsupport::NewFirebirdDatabase(dir)));
  const int page = std::stoi(Rows(c, "SELECT MON$PAGE_SIZE FROM MON$DATABASE").at(0).at(0));
  const long max = conversion::MaxIndexKeyBytes(page);

  using conversion::ColumnType;
  using conversion::Storage;
  auto text = [](long chars) {
    ColumnType t;
    t.storage = Storage::Text;
    t.length = chars;
    return t;
  };
  auto binary = [](long bytes) {
    ColumnType t;
    t.storage = Storage::Binary;
    t.length = bytes;
    return t;
  };
  int made = 0;
  // Creates the index and tells whether the engine took it.
  auto accepted = [&](const std::string& columns) {
    const std::string table = "T" + std::to_string(++made);
    c.Execute("CREATE TABLE " + table + " (" + columns + ")");
    c.Flush();
    const std::string list = columns.find(", B ") == std::string::npos ? "A" : "A, B";
    try {
      c.Execute("CREATE INDEX IX_" + table + " ON " + table + " (" + list + ")");
      c.Flush();
      return true;
    } catch (const ado::DbError&) {
      return false;
    }
  };

  // One UTF8 column: four bytes a character and the length.
  const long chars = (max - 2) / 4;
  const ColumnType fits = text(chars), over = text(chars + 1);
  EXPECT_LE(conversion::IndexKeyBytes({&fits}), max);
  EXPECT_GT(conversion::IndexKeyBytes({&over}), max);
  EXPECT_TRUE(accepted("A VARCHAR(" + std::to_string(chars) + ") CHARACTER SET UTF8"));
  EXPECT_FALSE(accepted("A VARCHAR(" + std::to_string(chars + 1) + ") CHARACTER SET UTF8"));

  // One binary column: a byte a byte and the length.
  const ColumnType bytes = binary(max - 2), moreBytes = binary(max - 1);
  EXPECT_EQ(conversion::IndexKeyBytes({&bytes}), max);
  EXPECT_GT(conversion::IndexKeyBytes({&moreBytes}), max);
  EXPECT_TRUE(accepted("A VARCHAR(" + std::to_string(max - 2) + ") CHARACTER SET OCTETS"));
  EXPECT_FALSE(accepted("A VARCHAR(" + std::to_string(max - 1) + ") CHARACTER SET OCTETS"));

  // Two columns: each in groups of four bytes and a marker. The largest pair that fits, and one more.
  long a = 1;
  while (true) {
    const ColumnType x = binary(a + 1), y = binary(a + 1);
    if (conversion::IndexKeyBytes({&x, &y}) > max) break;
    ++a;
  }
  const ColumnType x = binary(a), y = binary(a), z = binary(a + 1);
  EXPECT_LE(conversion::IndexKeyBytes({&x, &y}), max);
  EXPECT_GT(conversion::IndexKeyBytes({&z, &z}), max);
  EXPECT_TRUE(accepted("A VARCHAR(" + std::to_string(a) + ") CHARACTER SET OCTETS, B VARCHAR(" + std::to_string(a) +
                       ") CHARACTER SET OCTETS"));
  EXPECT_FALSE(accepted("A VARCHAR(" + std::to_string(a + 1) + ") CHARACTER SET OCTETS, B VARCHAR(" +
                        std::to_string(a + 1) + ") CHARACTER SET OCTETS"));

  ColumnType blob;
  blob.storage = Storage::TextBlob;
  EXPECT_EQ(conversion::IndexKeyBytes({&fits, &blob}), -1);
}

// The SQLite ODBC driver answers the same catalogue calls from SQLite's schema.
class SqliteKeysTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.sql = testsupport::NewSqliteSource(
        dir, {"CREATE TABLE Parent (Region CHAR(2) NOT NULL, Code VARCHAR(10) NOT NULL, Name VARCHAR(40), "
              "Qty INTEGER NOT NULL DEFAULT 0, Created TIMESTAMP DEFAULT CURRENT_TIMESTAMP, Odd INTEGER DEFAULT (abs(1)), "
              "PRIMARY KEY (Region, Code))",
              "CREATE UNIQUE INDEX UX_Parent_Name ON Parent (Name)", "CREATE INDEX IX_Parent_Qty ON Parent (Qty, Created)",
              "CREATE TABLE Child (Id INTEGER PRIMARY KEY AUTOINCREMENT, ParentRegion CHAR(2) NOT NULL, "
              "ParentCode VARCHAR(10) NOT NULL, FOREIGN KEY (ParentRegion, ParentCode) REFERENCES Parent (Region, Code) "
              "ON DELETE CASCADE)",
              "INSERT INTO Parent (Region, Code, Name) VALUES ('EU', 'A1', 'Alpha')",
              "INSERT INTO Parent (Region, Code, Name, Qty) VALUES ('US', 'A1', 'Gamma', 3)",
              "INSERT INTO Child VALUES (1, 'EU', 'A1')", "INSERT INTO Child VALUES (4, 'EU', 'A1')",
              "INSERT INTO Child VALUES (7, 'US', 'A1')"});
    host.fb = testsupport::NewFirebirdDatabase(dir);
  }
  ado::Connection& Target() {
    if (!fb.IsOpen()) fb.Open(FireBird::ConnectionString(host.fb));
    return fb;
  }
  testsupport::TempDir dir;
  testsupport::HeadlessHost host;
  ado::Connection fb;
};

TEST_F(SqliteKeysTest, KeysArriveFromTheSqliteSource) {
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_EQ(run.Reported(), 0) << ::testing::PrintToString(host.shown);
  ado::Connection& c = Target();

  EXPECT_EQ(testsupport::NotNull(c, "Parent", "Code"), "1");
  EXPECT_EQ(testsupport::NotNull(c, "Parent", "Name"), "0");
  EXPECT_EQ(testsupport::NotNull(c, "Child", "ParentCode"), "1");
  EXPECT_EQ(testsupport::DefaultOf(c, "Parent", "Qty"), "DEFAULT 0");
  EXPECT_EQ(testsupport::DefaultOf(c, "Parent", "Created"), "DEFAULT CURRENT_TIMESTAMP");
  EXPECT_EQ(testsupport::DefaultOf(c, "Parent", "Odd"), "<null>");
  EXPECT_NE(host.summary.find("\"Odd\""), std::string::npos) << host.summary;

  EXPECT_EQ(testsupport::Constraints(c, "Parent"), std::vector<std::string>{"PRIMARY KEY PK_Parent(Region,Code)"});
  const auto child = testsupport::Constraints(c, "Child");
  ASSERT_EQ(child.size(), 2u) << ::testing::PrintToString(child);
  EXPECT_EQ(child[0].rfind("FOREIGN KEY ", 0), 0u);
  EXPECT_NE(child[0].find("(ParentRegion,ParentCode)"), std::string::npos) << child[0];
  EXPECT_EQ(child[1], "PRIMARY KEY PK_Child(Id)");
  EXPECT_EQ(testsupport::PlainIndexes(c, "Parent"),
            (std::vector<std::string>{"IX_Parent_Qty(Qty,Created)", "UX_Parent_Name(Name) unique"}));

  // The identity goes on after the largest copied value; the foreign key refuses an orphan and cascades.
  EXPECT_EQ(testsupport::IdentityType(c, "Child", "Id"), "1");
  c.Execute("INSERT INTO \"Child\" (\"ParentRegion\", \"ParentCode\") VALUES ('EU', 'A1')");
  c.Flush();
  EXPECT_EQ(Rows(c, "SELECT MAX(\"Id\") FROM \"Child\"")[0][0], "8");
  EXPECT_THROW(c.Execute("INSERT INTO \"Child\" (\"ParentRegion\", \"ParentCode\") VALUES ('EU', 'ZZ')"), ado::DbError);
  c.Execute("DELETE FROM \"Parent\" WHERE \"Region\" = 'EU'");
  c.Flush();
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Child\"")[0][0], "1");
  // A row without the defaulted columns takes their defaults.
  c.Execute("INSERT INTO \"Parent\" (\"Region\", \"Code\") VALUES ('XX', 'Q')");
  c.Flush();
  EXPECT_EQ(Rows(c, "SELECT \"Qty\", TRIM(IIF(\"Created\" IS NULL, 'no', 'yes')) FROM \"Parent\" WHERE \"Region\" = 'XX'"),
            (std::vector<std::vector<std::string>>{{"0", "yes"}}));
}

TEST_F(SqliteKeysTest, ASecondRunAnsweredYesSucceeds) {
  conversion::ConversionRun(host).Run(host.Options());
  host.answers = {conversion::kYes, conversion::kYes, conversion::kYes};
  conversion::ConversionRun again(host);
  again.Run(host.Options());
  EXPECT_EQ(again.Reported(), 0) << ::testing::PrintToString(host.shown);
  EXPECT_EQ(testsupport::Constraints(Target(), "Child").size(), 2u);
  EXPECT_EQ(Rows(Target(), "SELECT COUNT(*) FROM \"Child\"")[0][0], "3");
}

TEST_F(SqliteKeysTest, AKeyTooLongForFirebirdIsNamedAndItsRowsStay) {
  testsupport::TempDir other;
  host.sql = testsupport::NewSqliteSource(
      other, {"CREATE TABLE Notes (Id INTEGER NOT NULL, Title VARCHAR(250), Body VARCHAR(250), PRIMARY KEY (Id))",
              "CREATE INDEX IX_Notes_Body ON Notes (Title, Body)", "INSERT INTO Notes VALUES (1, 't', 'a')"});
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_EQ(run.Reported(), 0) << ::testing::PrintToString(host.shown);
  EXPECT_NE(host.summary.find("Table \"Notes\": index \"IX_Notes_Body\" (its key of 2500 bytes is longer than the "),
            std::string::npos)
      << host.summary;
  EXPECT_EQ(testsupport::Constraints(Target(), "Notes"), std::vector<std::string>{"PRIMARY KEY PK_Notes(Id)"});
  EXPECT_TRUE(testsupport::PlainIndexes(Target(), "Notes").empty());
  EXPECT_EQ(Rows(Target(), "SELECT \"Body\" FROM \"Notes\""), (std::vector<std::vector<std::string>>{{"a"}}));
}
