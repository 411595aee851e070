#include <gtest/gtest.h>

#include "conversion/ConversionRun.h"
#include "conversion/Verify.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::HeadlessHost;

namespace {

class VerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.copyKeys = true;
    host.verify = true;
    host.sql = testsupport::NewSqliteSource(
        dir, {"CREATE TABLE Items (Id INTEGER NOT NULL PRIMARY KEY, Name VARCHAR(20), Price NUMERIC(10,2), "
              "Seen TIMESTAMP, Data BLOB, Code CHAR(4))",
              "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 50) INSERT INTO Items SELECT x, "
              "CASE WHEN x % 7 = 3 THEN NULL WHEN x % 11 = 0 THEN '' ELSE 'Name ' || x END, x * 0.25, "
              "'2024-02-29 23:59:58.1234', CASE WHEN x % 5 = 0 THEN NULL ELSE randomblob(40 + x) END, 'C' || (x % 9) FROM n",
              "CREATE TABLE NoKey (A INTEGER, B VARCHAR(5))",
              "INSERT INTO NoKey VALUES (1, 'x')", "INSERT INTO NoKey VALUES (1, 'x')", "INSERT INTO NoKey VALUES (1, 'x')",
              "INSERT INTO NoKey VALUES (2, NULL)"});
    host.fb = testsupport::NewFirebirdDatabase(dir);
  }
  // The verdict of one table, read back now.
  conversion::TableVerdict Verdict(const std::string& table, const std::vector<std::string>& key) {
    ado::Connection ms, fb;
    ms.Open(MSSQL::ConnectionString(host.sql));
    fb.Open(FireBird::Target(host.fb));
    return conversion::VerifyTable(ms, fb, {"", table}, table, table, key, {}, 0);
  }
  void Change(const std::vector<std::string>& statements) {
    ado::Connection fb;
    fb.Open(FireBird::Target(host.fb));
    for (const auto& s : statements) fb.Execute(s);
    fb.Flush();
  }
  testsupport::TempDir dir;
  HeadlessHost host;
};

}  // namespace

TEST_F(VerifyTest, ACleanRunIsIdentical) {
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_FALSE(run.VerifyFoundDifferences());
  EXPECT_NE(host.summary.find("\nVerified:\n    Table \"NoKey\": identical (4 rows)\n    Table \"Items\": identical (50 rows)\n"),
            std::string::npos)
      << host.summary;
}

// A value changed in Firebird afterwards, a row deleted, a row added and a blob changed by one byte are
// each found, named by key and column with both values.
TEST_F(VerifyTest, EveryKindOfDifferenceIsFoundAndNamed) {
  host.verify = false;
  conversion::ConversionRun(host).Run(host.Options());
  Change({"UPDATE \"Items\" SET \"Name\" = 'Changed' WHERE \"Id\" = 8",
          "DELETE FROM \"Items\" WHERE \"Id\" = 9",
          "INSERT INTO \"Items\" (\"Id\", \"Name\") VALUES (1000, 'New')",
          // One byte other than it was (the blob is random: its fifth byte may be 0 already).
          "UPDATE \"Items\" SET \"Data\" = OVERLAY(\"Data\" PLACING IIF(SUBSTRING(\"Data\" FROM 5 FOR 1) = x'00', "
          "x'01', x'00') FROM 5) WHERE \"Id\" = 12",
          "UPDATE \"Items\" SET \"Price\" = 4.01 WHERE \"Id\" = 16"});
  const conversion::TableVerdict v = Verdict("Items", {"Id"});
  EXPECT_EQ(v.rows, 50);
  EXPECT_EQ(v.differing, 3);
  EXPECT_EQ(v.missing, 1);
  EXPECT_EQ(v.extra, 1);
  EXPECT_FALSE(v.Identical());
  EXPECT_EQ(v.Text(), "different: 3 differing, 1 missing, 1 extra of 50 rows");
  ASSERT_EQ(v.examples.size(), 5u) << ::testing::PrintToString(v.examples);
  EXPECT_EQ(v.examples[0], "key (Id = 8): column \"Name\": SQL Server 'Name 8', Firebird 'Changed'");
  EXPECT_EQ(v.examples[1], "key (Id = 9): missing in Firebird");
  EXPECT_EQ(v.examples[2].rfind("key (Id = 12): column \"Data\": SQL Server 0x", 0), 0u) << v.examples[2];
  EXPECT_EQ(v.examples[3], "key (Id = 16): column \"Price\": SQL Server 4, Firebird 4.01");
  EXPECT_EQ(v.examples[4], "key (Id = 1000): in Firebird only");
}

// A table without a primary key is compared as a multiset: one of three equal rows gone is one missing row.
TEST_F(VerifyTest, ATableWithoutKeyIsAMultiset) {
  host.verify = false;
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_TRUE(Verdict("NoKey", {}).Identical());
  Change({"DELETE FROM \"NoKey\" WHERE \"A\" = 1 ROWS 1"});
  const conversion::TableVerdict v = Verdict("NoKey", {});
  EXPECT_EQ(v.missing, 1);
  EXPECT_EQ(v.extra, 0);
  EXPECT_EQ(v.differing, 0);
  EXPECT_EQ(v.examples, std::vector<std::string>{"row (A = 1, B = 'x'): missing in Firebird"});
}

// Rows the run rejected are missing on purpose: listed as expected, and the table counts as identical.
TEST_F(VerifyTest, RejectedRowsAreExpected) {
  testsupport::TempDir other;
  HeadlessHost h;
  h.verify = true;
  h.copyKeys = false;
  h.sql = testsupport::NewSqliteSource(other, {"CREATE TABLE Short (Id INTEGER, Code VARCHAR(3))", "INSERT INTO Short VALUES (1, 'abc')",
                                               "INSERT INTO Short VALUES (2, 'much too long')", "INSERT INTO Short VALUES (3, 'x')"});
  h.fb = testsupport::NewFirebirdDatabase(other);
  conversion::ConversionRun run(h);
  run.Run(h.Options());
  EXPECT_FALSE(run.VerifyFoundDifferences()) << h.summary;
  EXPECT_NE(h.summary.find("Table \"Short\": identical (3 rows); 1 rows rejected during the run are missing, as expected"),
            std::string::npos)
      << h.summary;
}

TEST(NormalizeDecimal, ShortestForm) {
  EXPECT_EQ(conversion::NormalizeDecimal("-0.50"), "-0.5");
  EXPECT_EQ(conversion::NormalizeDecimal("007"), "7");
  EXPECT_EQ(conversion::NormalizeDecimal("-0.00"), "0");
  EXPECT_EQ(conversion::NormalizeDecimal("12.000"), "12");
  EXPECT_EQ(conversion::NormalizeDecimal(".5"), "0.5");
  EXPECT_EQ(conversion::NormalizeDecimal("abc"), "abc");
}

namespace {

// A source of three tables, the middle one long, with keys.
std::vector<std::string> ResumeSource() {
  return {"CREATE TABLE A_First (Id INTEGER NOT NULL PRIMARY KEY, Name VARCHAR(20))",
          "INSERT INTO A_First VALUES (1, 'one')",
          "CREATE TABLE B_Long (Id INTEGER NOT NULL PRIMARY KEY, Name VARCHAR(30), Amount NUMERIC(10,2))",
          "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 50000) "
          "INSERT INTO B_Long SELECT x * 3, 'Name ' || x, x * 0.25 FROM n",
          "CREATE TABLE C_Done (X INTEGER)", "INSERT INTO C_Done VALUES (7)", "INSERT INTO C_Done VALUES (7)"};
}

// A run of ResumeSource into a fresh file, stopped at row 20000 of B_Long.
void RunStoppedInBLong(HeadlessHost& host, const testsupport::TempDir& dir) {
  host.sql = testsupport::NewSqliteSource(dir, ResumeSource());
  host.fb = testsupport::NewFirebirdDatabase(dir);
  host.onRow = [&host](const std::string& table, long long row) {
    if (table == "B_Long" && row == 20000) host.stop = true;
  };
  conversion::ConversionRun(host).Run(host.Options());
}

// The same logins as `first`, taking up what it left, and verifying.
void ResumeOn(HeadlessHost& again, const HeadlessHost& first) {
  again.sql = first.sql;
  again.fb = first.fb;
  again.resume = true;
  again.verify = true;
}

}  // namespace

// A run stopped in the middle of a 50,000-row table is taken up again: the table goes on after its
// largest copied key, every row arrives once, the result verifies identical, and the keys are made.
TEST(Resume, AStoppedRunGoesOnAfterTheLargestKey) {
  testsupport::TempDir dir;
  HeadlessHost host;
  RunStoppedInBLong(host, dir);
  ASSERT_NE(host.summary.find("incomplete: 20000 of 50000 rows (stopped at row 20001"), std::string::npos) << host.summary;

  HeadlessHost again;
  ResumeOn(again, host);
  conversion::ConversionRun run(again);
  run.Run(again.Options());
  EXPECT_EQ(again.shown.front(), "Done.") << ::testing::PrintToString(again.shown);
  EXPECT_TRUE(std::find_if(again.shown.begin(), again.shown.end(), [](const std::string& m) {
                return m.find("overwrite") != std::string::npos;
              }) == again.shown.end());
  EXPECT_NE(again.summary.find("Table \"B_Long\": 50000 rows read, 50000 written, 0 rejected\n"
                               "    resumed: 20000 rows were in Firebird already; copied from the first row after Id = 60000 on"),
            std::string::npos)
      << again.summary;
  EXPECT_NE(again.summary.find("Table \"C_Done\": 0 rows read, 0 written, 0 rejected\n    already complete: 2 rows, verified identical; not copied again"),
            std::string::npos)
      << again.summary;
  EXPECT_NE(again.summary.find("Table \"B_Long\": identical (50000 rows)"), std::string::npos) << again.summary;
  EXPECT_FALSE(run.VerifyFoundDifferences());
  ado::Connection c;
  c.Open(FireBird::Target(host.fb));
  EXPECT_EQ(testsupport::Rows(c, "SELECT COUNT(*), COUNT(DISTINCT \"Id\") FROM \"B_Long\""),
            (std::vector<std::vector<std::string>>{{"50000", "50000"}}));
  // The primary key the stopped table never got is made now.
  EXPECT_EQ(testsupport::Rows(c, "SELECT COUNT(*) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$RELATION_NAME = 'B_Long' AND "
                                 "RDB$CONSTRAINT_TYPE = 'PRIMARY KEY'")[0][0],
            "1");

  // Once more, on the complete database: nothing is copied, and the summary says so for every table.
  HeadlessHost third;
  third.sql = host.sql;
  third.fb = host.fb;
  third.resume = true;
  conversion::ConversionRun(third).Run(third.Options());
  for (const char* t : {"A_First", "B_Long", "C_Done"})
    EXPECT_NE(third.summary.find(std::string("Table \"") + t + "\": 0 rows read, 0 written, 0 rejected\n    already complete:"),
              std::string::npos)
        << t << "\n" << third.summary;
  EXPECT_EQ(testsupport::Rows(c, "SELECT COUNT(*) FROM \"B_Long\"")[0][0], "50000");
}

// A partial table without a key, or one whose rows are not the first ones by key, is replaced.
TEST(Resume, AnyOtherPartialTableIsReplaced) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.sql = testsupport::NewSqliteSource(dir, ResumeSource());
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run(host.Options());
  {
    ado::Connection c;
    c.Open(FireBird::Target(host.fb));
    c.Execute("DELETE FROM \"C_Done\" ROWS 1");
    c.Execute("DELETE FROM \"B_Long\" WHERE \"Id\" = 30");  // a gap: not the first rows by key
    c.Flush();
  }
  HeadlessHost again;
  ResumeOn(again, host);
  conversion::ConversionRun run(again);
  run.Run(again.Options());
  EXPECT_FALSE(run.VerifyFoundDifferences()) << again.summary;
  EXPECT_NE(again.summary.find("Table \"B_Long\": 50000 rows read, 50000 written, 0 rejected\n"), std::string::npos)
      << again.summary;
  EXPECT_NE(again.summary.find("Table \"C_Done\": 2 rows read, 2 written, 0 rejected\n"), std::string::npos) << again.summary;
}

// A stopped table the user altered afterwards (a column added) is no prefix of this run's copy: it is
// replaced, not resumed, and every row arrives; verify refuses a table with other columns than the run
// creates instead of calling it identical.
TEST(Resume, AnAlteredTableIsReplacedAndVerifyComparesColumns) {
  testsupport::TempDir dir;
  HeadlessHost host;
  RunStoppedInBLong(host, dir);
  {
    ado::Connection c;
    c.Open(FireBird::Target(host.fb));
    c.Execute("ALTER TABLE \"B_Long\" ADD \"Extra\" INTEGER DEFAULT 7 NOT NULL");
    c.Execute("ALTER TABLE \"C_Done\" ADD \"Note\" VARCHAR(10)");
    c.Flush();
  }
  {
    // Verify alone: C_Done holds every row, but not the columns the run makes.
    ado::Connection ms, fb;
    ms.Open(MSSQL::ConnectionString(host.sql));
    fb.Open(FireBird::Target(host.fb));
    const auto v = conversion::VerifyTable(ms, fb, {"", "C_Done"}, "C_Done", "C_Done", {}, {}, 0);
    EXPECT_FALSE(v.Identical());
    EXPECT_EQ(v.Text(), "not verified: Firebird's table has other columns than the run creates; only in Firebird: \"Note\"");
  }
  HeadlessHost again;
  ResumeOn(again, host);
  conversion::ConversionRun run(again);
  run.Run(again.Options());
  EXPECT_EQ(run.Reported(), 0) << ::testing::PrintToString(again.shown);
  EXPECT_NE(again.summary.find("Table \"B_Long\": 50000 rows read, 50000 written, 0 rejected\n"
                               "    replaced, not resumed: Firebird's table has other columns than the run creates; only in "
                               "Firebird: \"Extra\""),
            std::string::npos)
      << again.summary;
  EXPECT_NE(again.summary.find("Table \"C_Done\": 2 rows read, 2 written, 0 rejected\n"), std::string::npos) << again.summary;
  EXPECT_NE(again.summary.find("Table \"B_Long\": identical (50000 rows)"), std::string::npos) << again.summary;
  EXPECT_FALSE(run.VerifyFoundDifferences()) << again.summary;
}

// A column cast to BOOLEAN: 0 and 1 arrive as FALSE and TRUE, the words in any case as themselves, any
// other number is rejected and counted; it verifies as what Firebird holds, and a value changed in
// Firebird afterwards is found.
TEST(VerifyCasts, ABooleanCastComparesAsFirebirdHoldsIt) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.verify = true;
  host.casts = {"Flags.F=BOOLEAN", "Flags.W=BOOLEAN"};
  host.sql = testsupport::NewSqliteSource(dir, {"CREATE TABLE Flags (Id INTEGER NOT NULL PRIMARY KEY, F INTEGER, W VARCHAR(5))",
                                                "INSERT INTO Flags VALUES (1, 0, 'true')", "INSERT INTO Flags VALUES (2, 1, 'FALSE')",
                                                "INSERT INTO Flags VALUES (3, 7, 'True')", "INSERT INTO Flags VALUES (4, NULL, NULL)"});
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_FALSE(run.VerifyFoundDifferences()) << host.summary;
  EXPECT_NE(host.summary.find("Table \"Flags\": 4 rows read, 3 written, 1 rejected\n    row 3: conversion error from string \"7\""),
            std::string::npos)
      << host.summary;
  EXPECT_NE(host.summary.find("Table \"Flags\": identical (4 rows); 1 rows rejected during the run are missing, as expected"),
            std::string::npos)
      << host.summary;
  ado::Connection fb;
  fb.Open(FireBird::Target(host.fb));
  EXPECT_EQ(testsupport::Rows(fb, "SELECT \"F\", \"W\" FROM \"Flags\" ORDER BY \"Id\""),
            (std::vector<std::vector<std::string>>{{"False", "True"}, {"True", "False"}, {"<null>", "<null>"}}));
  fb.Execute("UPDATE \"Flags\" SET \"F\" = TRUE WHERE \"Id\" = 1");
  fb.Flush();
  ado::Connection ms;
  ms.Open(MSSQL::ConnectionString(host.sql));
  conversion::CastRules casts(host.casts);
  const auto v = conversion::VerifyTable(ms, fb, {"", "Flags"}, "Flags", "Flags", {"Id"},
                                         conversion::TypesFor(conversion::TypeRules::Firebird, &casts, {"", "Flags"}), 1);
  EXPECT_EQ(v.differing, 1);
  EXPECT_EQ(v.missing, 0);
  ASSERT_FALSE(v.examples.empty());
  EXPECT_EQ(v.examples[0], "key (Id = 1): column \"F\": SQL Server FALSE, Firebird TRUE");
}

// Rows the run rejected are excused by their keys: a row deleted in Firebird afterwards is missing
// even though as many rows were rejected.
TEST(VerifyRejected, RejectedRowsAreExcusedByTheirKeys) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.verify = true;
  host.sql = testsupport::NewSqliteSource(dir, {"CREATE TABLE Short (Id INTEGER NOT NULL PRIMARY KEY, Code VARCHAR(3))",
                                                "INSERT INTO Short VALUES (1, 'abc')", "INSERT INTO Short VALUES (2, 'much too long')",
                                                "INSERT INTO Short VALUES (3, 'x')"});
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_NE(host.summary.find("Table \"Short\": identical (3 rows); 1 rows rejected during the run are missing, as expected"),
            std::string::npos)
      << host.summary;
  const conversion::TableReport* t = nullptr;
  for (const auto& r : run.Summary().Tables())
    if (r.source == "Short") t = &r;
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(t->rejectedKeys.size(), 1u);
  ado::Connection ms, fb;
  ms.Open(MSSQL::ConnectionString(host.sql));
  fb.Open(FireBird::Target(host.fb));
  fb.Execute("DELETE FROM \"Short\" WHERE \"Id\" = 3");
  fb.Flush();
  const auto v = conversion::VerifyTable(ms, fb, {"", "Short"}, "Short", "Short", {"Id"}, {}, 0, &t->rejectedKeys);
  EXPECT_EQ(v.missing, 1);
  EXPECT_EQ(v.expected, 1);
  EXPECT_EQ(v.examples, std::vector<std::string>{"key (Id = 3): missing in Firebird"});
}
