#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>

#include "conversion/ConversionRun.h"
#include "conversion/Progress.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::HeadlessHost;
using testsupport::Rows;

// The run through its narrow interface, without any window.
class RunEngineTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  HeadlessHost host;

  void SetUp() override {
    host.sql = testsupport::NewSqliteSource(
        dir, {"CREATE TABLE A1 (Id INTEGER, Flag BIT)", "INSERT INTO A1 VALUES (1, 1)", "INSERT INTO A1 VALUES (2, 0)",
              "INSERT INTO A1 VALUES (3, NULL)", "CREATE TABLE \"B \"\"2\" (Note VARCHAR(10))",
              "INSERT INTO \"B \"\"2\" VALUES ('it''s')", "CREATE TABLE C3 (Empty INTEGER)"});
    host.fb = testsupport::NewFirebirdDatabase(dir);
  }
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    return Rows(c, sql);
  }
};

TEST_F(RunEngineTest, PreviewListsEveryStatementLastTableFirst) {
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    c.Execute("CREATE TABLE \"a1\" (\"Old\" INTEGER)");
  }
  host.preview = true;
  host.answers = {conversion::kYes};
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_EQ(host.previews, 1);
  EXPECT_EQ(host.script, (std::vector<std::string>{
                             "CREATE TABLE \"C3\" (\"Empty\" INTEGER);",
                             "CREATE TABLE \"B \"\"2\" (\"Note\" VARCHAR(10) CHARACTER SET UTF8);",
                             "INSERT INTO \"B \"\"2\" VALUES ('it''s');",
                             "DROP TABLE \"A1\";",
                             "CREATE TABLE \"A1\" (\"Id\" INTEGER, \"Flag\" SMALLINT);",
                             "INSERT INTO \"A1\" VALUES (1, 1);",
                             "INSERT INTO \"A1\" VALUES (2, 0);",
                             "INSERT INTO \"A1\" VALUES (3,NULL);"}));
  // The overwrite question compares names without regard to case.
  EXPECT_EQ(host.shown, (std::vector<std::string>{"Would you like to overwrite A1?", "Done."}));
  EXPECT_EQ(host.datatypes.size(), 4u);
  EXPECT_EQ(host.datatypes.back(), (std::vector<std::string>{"A1", "Flag", "bool", "SMALLINT"}));
  EXPECT_EQ(run.TargetTables(), (std::vector<std::string>{}));
  // Nothing was executed: the old table is still there, the others are not.
  EXPECT_EQ(Query("SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0"),
            (std::vector<std::vector<std::string>>{{"a1"}}));
  EXPECT_FALSE(host.hourglass);
  EXPECT_EQ(host.progressTexts.back(), "Progress Bar");
}

TEST_F(RunEngineTest, RowProgressReachesAHundredPerTable) {
  conversion::ConversionRun(host).Run(host.Options());
  // A1 has three rows: (1+1)/4, (2+1)/4, (3+1)/4 of the bar; then the bar is reset.
  EXPECT_EQ(host.progress, (std::vector<int>{100, 50, 75, 100, 0}));
  EXPECT_NE(std::find(host.progressTexts.begin(), host.progressTexts.end(), "Please wait.. Processing table A1"),
            host.progressTexts.end());
  EXPECT_EQ(Query("SELECT COUNT(*) FROM \"A1\"")[0][0], "3");
  EXPECT_EQ(Query("SELECT \"Note\" FROM \"B \"\"2\"")[0][0], "it's");
}

TEST_F(RunEngineTest, ATableFirebirdCannotCreateCostsOneMessage) {
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    // In use by this open transaction, the old table cannot be dropped.
    c.Execute("CREATE TABLE \"A1\" (\"Old\" INTEGER)");
  }
  ado::Connection holder;
  holder.Open(FireBird::ConnectionString(host.fb));
  auto keep = Rows(holder, "SELECT COUNT(*) FROM \"A1\"");
  host.answers = {conversion::kYes};
  conversion::ConversionRun(host).Run(host.Options());
  int errors = 0;
  for (const auto& m : host.shown) errors += m.rfind("ERROR: ", 0) == 0;
  // The DROP and the CREATE are refused; the three rows are not tried.
  EXPECT_EQ(errors, 2) << ::testing::PrintToString(host.shown);
  EXPECT_EQ(host.shown.back(), "Done.");
  EXPECT_EQ(Query("SELECT COUNT(*) FROM \"C3\"")[0][0], "0");
}

// Rows whose commit fails are rejected rows: reported through the trap and counted in the summary,
// whether they went one by one or as a block of several rows (here rows 1-2 in one, row 3 alone).
class FailedCommitTest : public RunEngineTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(FailedCommitTest, RowsOfAFailedCommitAreCountedAsRejected) {
  {
    const size_t batchRows = GetParam();
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_IGN);
    conversion::ConversionRun run(host);
    // Once the last row of A1 is read, the database file may not be written: its commit fails.
    host.onProgress = [&](int value) {
      if (run.CurrentTable() != "A1" || value != 100) return;
      struct rlimit tight = old;
      tight.rlim_cur = 8192 * 2;
      setrlimit(RLIMIT_FSIZE, &tight);
    };
    host.onReport = [&] { setrlimit(RLIMIT_FSIZE, &old); };
    host.batchRows = batchRows;
    run.Run(host.Options());
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, SIG_DFL);
    int errors = 0;
    for (const auto& m : host.shown) errors += m.rfind("ERROR: ", 0) == 0;
    EXPECT_EQ(errors, 1) << ::testing::PrintToString(host.shown);
    EXPECT_EQ(host.shown.back(), "Done.");
    EXPECT_NE(host.summary.find("Table \"A1\": 3 rows read, 0 written, 3 rejected"), std::string::npos) << host.summary;
    EXPECT_NE(host.summary.find("3 statements that had succeeded were undone when the commit failed"), std::string::npos);
    EXPECT_EQ(Query("SELECT COUNT(*) FROM \"A1\"")[0][0], "0");
  }
}
INSTANTIATE_TEST_SUITE_P(OneByOneAndInBlocks, FailedCommitTest, ::testing::Values(1, 2));

TEST_F(RunEngineTest, ASecondStartDuringTheRunDoesNothing) {
  host.preview = true;
  host.perTable = true;
  conversion::ConversionRun run(host);
  int nested = 0;
  host.onPreview = [&](HeadlessHost& h) {
    run.Run(host.Options());  // ignored: the run is in progress
    ++nested;
    if (h.previews < 3) h.outcome.SQLTableOK = false;  // skip table
  };
  run.Run(host.Options());
  EXPECT_EQ(host.previews, 3);
  EXPECT_EQ(nested, 3);
  EXPECT_FALSE(run.Converting());
  EXPECT_EQ(host.shown.back(), "Done.");
}

// "Start Converting" that cannot open a database says which one and why, and does nothing else.
TEST_F(RunEngineTest, AFailedLoginIsNamedWithItsReason) {
  auto expectRefused = [&](const std::string& reasonPart) {
    host.shown.clear();
    host.progressTexts.clear();
    conversion::ConversionRun(host).Run(host.Options());
    ASSERT_EQ(host.shown.size(), 1u) << ::testing::PrintToString(host.shown);
    EXPECT_EQ(host.shown[0].rfind(std::string(conversion::kFirebirdCannotOpen) + "\r\r", 0), 0u) << host.shown[0];
    EXPECT_NE(host.shown[0].find(reasonPart), std::string::npos) << host.shown[0];
    EXPECT_TRUE(host.progressTexts.empty());
  };
  host.fb.database = dir.File("missing.fdb");
  expectRefused("missing.fdb");
  std::filesystem::create_directory(dir.File("folder.fdb"));
  host.fb.database = dir.File("folder.fdb");
  expectRefused("I/O error");
  std::ofstream(dir.File("text.fdb")) << "not a database\n";
  host.fb.database = dir.File("text.fdb");
  expectRefused("I/O error");
  // A database another program holds open through its own embedded engine.
  auto held = testsupport::NewFirebirdDatabase(dir, "held.fdb");
  testsupport::Process isql({"sh", "-c",
                             "(echo 'SELECT 1 FROM RDB$DATABASE;'; sleep 30) | isql-fb -user SYSDBA -password masterkey " +
                                 held.database});
  for (int i = 0; i < 10 && isql.FirstLine().find("CONSTANT") == std::string::npos; ++i) {
  }
  host.fb = held;
  expectRefused("lock");

  host.fb = testsupport::NewFirebirdDatabase(dir, "other.fdb");
  host.sql.database = dir.File("no/such/dir/x.db");
  host.shown.clear();
  conversion::ConversionRun(host).Run(host.Options());
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].rfind(std::string(conversion::kSqlServerCannotOpen) + "\r\r", 0), 0u) << host.shown[0];
  EXPECT_GT(host.shown[0].size(), std::string(conversion::kSqlServerCannotOpen).size() + 2);
}

// Stop: the run ends after the row in progress; what was written stays, committed, and the summary
// says where it stopped and what was not reached.
TEST(RunStop, EndsAfterTheRowInProgressAndNamesWhatIsLeft) {
  testsupport::TempDir dir;
  std::vector<std::string> setup{"CREATE TABLE A_NotReached (X INTEGER)", "INSERT INTO A_NotReached VALUES (1)",
                                 "CREATE TABLE B_Long (X INTEGER)", "CREATE TABLE C_Done (X INTEGER)",
                                 "INSERT INTO C_Done VALUES (7)"};
  for (int i = 1; i <= 500; ++i) setup.push_back("INSERT INTO B_Long VALUES (" + std::to_string(i) + ")");
  HeadlessHost host;
  host.sql = testsupport::NewSqliteSource(dir, setup);
  host.fb = testsupport::NewFirebirdDatabase(dir);
  host.onRow = [&](const std::string& table, long long row) {
    if (table == "B_Long" && row == 200) host.stop = true;
  };
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_TRUE(run.Stopped());
  EXPECT_TRUE(std::find(host.shown.begin(), host.shown.end(), "Done.") == host.shown.end());
  EXPECT_EQ(host.summary.rfind("Stopped.\n\n", 0), 0u) << host.summary;
  EXPECT_NE(host.summary.find("Table \"B_Long\": 200 rows read, 200 written, 0 rejected\n"
                              "    incomplete: 200 of 500 rows (stopped at row 201; its keys and indexes were not made)"),
            std::string::npos)
      << host.summary;
  EXPECT_NE(host.summary.find("Table \"A_NotReached\": 0 rows read, 0 written, 0 rejected\n    not converted (stopped)"),
            std::string::npos)
      << host.summary;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*), MIN(\"X\"), MAX(\"X\") FROM \"B_Long\""),
            (std::vector<std::vector<std::string>>{{"200", "1", "200"}}));
  EXPECT_EQ(Rows(c, "SELECT \"X\" FROM \"C_Done\""), (std::vector<std::vector<std::string>>{{"7"}}));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'A_NotReached'")[0][0], "0");
}

// Escape on "Overwrite?" stops the run there: the table asked about stays as Firebird holds it and is
// named, and no later table is created.
TEST(RunStop, StopDuringOverwriteMakesNothingMore) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.sql = testsupport::NewSqliteSource(dir, {"CREATE TABLE A_Next (X INTEGER)", "INSERT INTO A_Next VALUES (1)",
                                                "CREATE TABLE B_Asked (X INTEGER)", "INSERT INTO B_Asked VALUES (2)"});
  host.fb = testsupport::NewFirebirdDatabase(dir);
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    c.Execute("CREATE TABLE \"B_Asked\" (\"Old\" INTEGER)");
    c.Flush();
  }
  host.onAsk = [&](const std::string&) {
    host.stop = true;  // as Escape does: the box closes with No and the run is asked to stop
    return conversion::kNo;
  };
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_TRUE(run.Stopped());
  EXPECT_EQ(host.summary.rfind("Stopped.\n\n", 0), 0u) << host.summary;
  for (const char* t : {"B_Asked", "A_Next"})
    EXPECT_NE(host.summary.find("Table \"" + std::string(t) + "\": 0 rows read, 0 written, 0 rejected\n    not converted (stopped)"),
              std::string::npos)
        << t << "\n" << host.summary;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(c, "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0"),
            (std::vector<std::vector<std::string>>{{"B_Asked"}}));
  EXPECT_EQ(Rows(c, "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = 'B_Asked'"),
            (std::vector<std::vector<std::string>>{{"Old"}}));
}

// The whole run's progress: the tables and all their rows are known before the first table.
TEST_F(RunEngineTest, WholeRunProgressIsKnownFromTheStart) {
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  // A1 holds 3 rows, "B ""2" 1, C3 none.
  EXPECT_EQ(host.firstRunProgress, (std::vector<long long>{1, 3, 0, 4}));
  EXPECT_EQ(host.lastRunProgress, (std::vector<long long>{3, 3, 4, 4}));
  EXPECT_TRUE(host.runProgressForward);
}

TEST(RunProgressText, TablesShareRateAndTimeLeft) {
  EXPECT_EQ(conversion::OverallProgressText(1, 3, 0, 0, 0), "table 1 of 3");
  EXPECT_EQ(conversion::OverallProgressText(2, 3, 250, 1000, 0.5), "table 2 of 3, 25% of all rows");
  EXPECT_EQ(conversion::OverallProgressText(2, 3, 250, 1000, 10), "table 2 of 3, 25% of all rows, 25 rows/s, 0:30 left");
  EXPECT_EQ(conversion::OverallProgressText(3, 3, 1000, 4000000, 1), "table 3 of 3, 0% of all rows, 1000 rows/s, 1:06:39 left");
  EXPECT_EQ(conversion::OverallProgressText(3, 3, 1200, 1000, 2), "table 3 of 3, 100% of all rows, 500 rows/s, 0:00 left");
}

// A table replaced while another table's foreign key points at it: the key is made again when the new
// table holds its rows, and named with its statement when the run stops before that.
TEST(RunStop, AForeignKeyDroppedForAReplacementIsMadeAgainOrNamed) {
  for (const bool stop : {false, true}) {
    SCOPED_TRACE(stop ? "stopped" : "completed");
    testsupport::TempDir dir;
    std::vector<std::string> setup{"CREATE TABLE Parent (Id INTEGER NOT NULL PRIMARY KEY)"};
    setup.push_back("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 3000) "
                    "INSERT INTO Parent SELECT x FROM n");
    HeadlessHost host;
    host.sql = testsupport::NewSqliteSource(dir, setup);
    host.fb = testsupport::NewFirebirdDatabase(dir);
    {
      ado::Connection c;
      c.Open(FireBird::ConnectionString(host.fb));
      c.Execute("CREATE TABLE \"Parent\" (\"Id\" INTEGER NOT NULL PRIMARY KEY)");
      c.Execute("CREATE TABLE \"Child\" (\"Id\" INTEGER, \"P\" INTEGER)");
      c.Flush();
      c.Execute("ALTER TABLE \"Child\" ADD CONSTRAINT \"FK_Child_Parent\" FOREIGN KEY (\"P\") REFERENCES \"Parent\" (\"Id\")");
      c.Flush();
    }
    host.onAsk = [](const std::string&) { return conversion::kYes; };
    host.onRow = [&](const std::string& table, long long row) {
      if (stop && table == "Parent" && row == 1000) host.stop = true;
    };
    conversion::ConversionRun run(host);
    run.Run(host.Options());
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    const auto keys = Rows(c, "SELECT COUNT(*) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_NAME = 'FK_Child_Parent'");
    if (stop) {
      EXPECT_EQ(keys[0][0], "0");
      EXPECT_NE(host.summary.find("Table \"Child\": foreign key \"FK_Child_Parent\" was dropped to replace \"Parent\" and is "
                                  "not made again (\"Parent\" does not hold all its rows): ALTER TABLE \"Child\" ADD "
                                  "CONSTRAINT \"FK_Child_Parent\" FOREIGN KEY (\"P\") REFERENCES \"Parent\" (\"Id\");"),
                std::string::npos)
          << host.summary;
    } else {
      EXPECT_EQ(keys[0][0], "1") << host.summary;
      EXPECT_EQ(host.summary.find("FK_Child_Parent"), std::string::npos) << host.summary;
    }
  }
}

// Stop while a large table's keys and indexes are built: Firebird's work is cancelled, the run ends
// within moments, the rows stay, and the keys not made are named with their statements.
TEST(RunStop, StopReachesAnIndexBuild) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.sql = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE Big (Id INTEGER NOT NULL PRIMARY KEY, A VARCHAR(60), B VARCHAR(60), C INTEGER)",
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 400000) INSERT INTO Big "
            "SELECT x, printf('%040d-a', (x * 7919) % 400000), printf('%040d-b', (x * 104729) % 400000), x % 1000 FROM n",
            "CREATE INDEX IX_Big_A ON Big (A)", "CREATE INDEX IX_Big_B ON Big (B)", "CREATE INDEX IX_Big_AB ON Big (A, B, C)"});
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  std::thread stopper;
  std::chrono::steady_clock::time_point asked;
  host.onRow = [&](const std::string&, long long row) {
    if (row != 400000) return;
    // Just after the last row: the keys come next.
    stopper = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      asked = std::chrono::steady_clock::now();
      host.stop = true;
      run.CancelSource();
    });
  };
  run.Run(host.Options());
  const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
  stopper.join();
  EXPECT_TRUE(run.Stopped());
  EXPECT_LT(took, 2.0);
  EXPECT_EQ(host.summary.rfind("Stopped.\n\n", 0), 0u) << host.summary;
  EXPECT_NE(host.summary.find("Table \"Big\": 400000 rows read, 400000 written, 0 rejected\n    stopped while its keys and "
                              "indexes were made: its rows are all there\n"),
            std::string::npos)
      << host.summary;
  EXPECT_NE(host.summary.find("not made (stopped): CREATE INDEX "), std::string::npos) << host.summary;
  EXPECT_EQ(run.Reported(), 0) << ::testing::PrintToString(host.shown);
  ado::Connection c;
  c.Open(FireBird::Target(host.fb));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Big\"")[0][0], "400000");
}
