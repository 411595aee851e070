#include <gtest/gtest.h>

#include <memory>

#include "conversion/Casts.h"
#include "conversion/ConversionRun.h"
#include "conversion/Planner.h"
#include "conversion/ReplacedKeys.h"
#include "conversion/Session.h"
#include "conversion/TableSync.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using conversion::Disposition;
using testsupport::HeadlessHost;
using testsupport::Rows;

namespace {

// What both databases would say about a table Firebird holds, as recorded; each question is counted.
struct RecordedFacts : conversion::TakeUpFacts {
  std::optional<std::string> columnDifference = std::string();
  long long firebirdRows = 0, sourceRows = 0, upTo = 0;
  bool identical = false, keysMissing = false;
  std::vector<std::string> key{"Id"};
  conversion::KeyOrder order{"[Id]", "", ""};
  ado::Value largest;
  std::optional<long long> identityMax;
  int compared = 0, ordered = 0;

  std::optional<std::string> ColumnDifference() override { return columnDifference; }
  long long FirebirdRows() override { return firebirdRows; }
  long long SourceRows() override { return sourceRows; }
  bool Identical(std::string& verdict) override {
    ++compared;
    verdict = identical ? "identical (" + std::to_string(sourceRows) + " rows)" : "1 differing";
    return identical;
  }
  std::vector<std::string> KeyColumns() override { return key; }
  conversion::KeyOrder Order(const std::vector<std::string>&) override {
    ++ordered;
    return order;
  }
  ado::Value LargestKey(const std::string&, bool) override { return largest; }
  long long SourceRowsUpTo(const std::string&, const conversion::KeyOrder&) override { return upTo; }
  bool KeysMissing() override { return keysMissing; }
  std::optional<long long> IdentityMax() override { return identityMax; }
  std::string keyDifference;
  std::string KeyDifference(const std::vector<std::string>&) override { return keyDifference; }
};

ado::Value Integer(long long n) {
  ado::Value v;
  v.kind = ado::Kind::Integer;
  v.integer = n;
  return v;
}

}  // namespace

TEST(TakeUpDecision, WholeTablesAreSkippedAndPrefixesContinueAfterTheirLargestKey) {
  // Firebird holds every row, and they compare identical: skipped, with what Firebird has of its keys.
  RecordedFacts whole;
  whole.firebirdRows = whole.sourceRows = 50;
  whole.identical = true;
  whole.keysMissing = true;
  whole.identityMax = 77;
  conversion::TakeUp t = conversion::DecideTakeUp(whole);
  EXPECT_EQ(t.disposition, Disposition::Skip);
  EXPECT_EQ(t.verdict, "identical (50 rows)");
  EXPECT_TRUE(t.keysMissing);
  EXPECT_EQ(t.identityMax, 77);
  EXPECT_EQ(whole.ordered, 0);  // a whole table needs no key order

  // As many rows, but one differs: replaced, with no reason beyond the verdict.
  whole.identical = false;
  t = conversion::DecideTakeUp(whole);
  EXPECT_EQ(t.disposition, Disposition::Replace);
  EXPECT_TRUE(t.replaceWhy.empty());

  // The first 40 rows by the key, exactly: the copy goes on after 41.
  RecordedFacts prefix;
  prefix.firebirdRows = 40;
  prefix.sourceRows = 100;
  prefix.largest = Integer(41);
  prefix.upTo = 40;
  t = conversion::DecideTakeUp(prefix);
  EXPECT_EQ(t.disposition, Disposition::Continue);
  EXPECT_EQ(t.have, 40);
  EXPECT_EQ(t.sourceRest, " WHERE [Id] > 41 ORDER BY [Id]");
  EXPECT_EQ(t.keyText, "the first row after Id = 41");
  EXPECT_EQ(prefix.compared, 0);

  // A text key carries the binary collation on both sides of the comparison.
  prefix.largest.kind = ado::Kind::Text;
  prefix.largest.text = "O'Neil";
  prefix.order.collate = " COLLATE Latin1_General_BIN2";
  t = conversion::DecideTakeUp(prefix);
  EXPECT_EQ(t.sourceRest,
            " WHERE [Id] > N'O''Neil' COLLATE Latin1_General_BIN2 ORDER BY [Id] COLLATE Latin1_General_BIN2");
  EXPECT_EQ(t.keyText, "the first row after Id = 'O''Neil'");
}

TEST(TakeUpDecision, AnythingElseIsReplacedAndSaysWhyWhereItCan) {
  auto decide = [](auto change) {
    RecordedFacts f;
    f.firebirdRows = 40;
    f.sourceRows = 100;
    f.largest = Integer(41);
    f.upTo = 40;
    change(f);
    return conversion::DecideTakeUp(f);
  };
  conversion::TakeUp t = decide([](RecordedFacts& f) { f.columnDifference = "it has no column \"Name\""; });
  EXPECT_EQ(t.disposition, Disposition::Replace);
  EXPECT_EQ(t.replaceWhy, "it has no column \"Name\"");
  // The source's columns could not be read: replaced, the failed step having said why.
  t = decide([](RecordedFacts& f) { f.columnDifference.reset(); });
  EXPECT_EQ(t.disposition, Disposition::Replace);
  EXPECT_TRUE(t.replaceWhy.empty());
  // More rows ahead of the source's largest key than Firebird holds: not the first ones.
  t = decide([](RecordedFacts& f) { f.upTo = 39; });
  EXPECT_EQ(t.disposition, Disposition::Replace);
  EXPECT_EQ(t.replaceWhy, "Firebird's 40 rows are not the first ones by its key (SQL Server has 39 up to the largest)");
  t = decide([](RecordedFacts& f) { f.order = {"", "", "a uniqueidentifier key sorts differently"}; });
  EXPECT_EQ(t.replaceWhy, "its first rows cannot be told: a uniqueidentifier key sorts differently");
  // A key of two columns, no rows, or more rows than the source: replaced without a word.
  for (auto change : std::vector<std::function<void(RecordedFacts&)>>{
           [](RecordedFacts& f) { f.key = {"A", "B"}; }, [](RecordedFacts& f) { f.firebirdRows = 0; },
           [](RecordedFacts& f) { f.firebirdRows = 101; }, [](RecordedFacts& f) { f.largest = ado::Value(); }}) {
    t = decide(change);
    EXPECT_EQ(t.disposition, Disposition::Replace);
    EXPECT_TRUE(t.replaceWhy.empty());
  }
}

// The planner's dispositions from the options and the answers, on recorded catalogues.
class PlannerDispositions : public ::testing::Test {
 protected:
  HeadlessHost host;
  conversion::CastRules casts;
  std::vector<std::unique_ptr<conversion::Session>> sessions;
  std::map<std::string, RecordedFacts> facts;  // by target

  std::vector<conversion::TablePlan>& Plan(std::unique_ptr<conversion::Planner>& planner) {
    sessions.push_back(std::make_unique<conversion::Session>(host.Options(), host));
    planner = std::make_unique<conversion::Planner>(*sessions.back(), casts);
    planner->Name({"New", "Whole", "Part", "Other"});
    planner->SetFirebirdTables({"whole", "PART", "Other"});
    planner->SetFacts([this](conversion::Planner&, const conversion::TablePlan& plan) {
      return std::make_unique<RecordedFacts>(facts[plan.target]);
    });
    for (auto& p : planner->Tables()) p.rows = 100;
    return planner->Tables();
  }

  void SetUp() override {
    facts["Whole"].firebirdRows = facts["Whole"].sourceRows = 100;
    facts["Whole"].identical = true;
    facts["Part"].firebirdRows = 30;
    facts["Part"].sourceRows = 100;
    facts["Part"].largest = Integer(30);
    facts["Part"].upTo = 30;
    facts["Other"].columnDifference = "it has no column \"Id\"";
  }
};

TEST_F(PlannerDispositions, QuestionsDecideAndTheFirstMayTakeEveryTableUpAgain) {
  std::unique_ptr<conversion::Planner> planner;
  // Yes, then No: replaced and left; a table Firebird does not hold is created without a question.
  host.answers = {conversion::kYes, conversion::kNo, conversion::kYes};
  auto& plans = Plan(planner);
  for (auto& p : plans) planner->Decide(p);
  EXPECT_EQ(plans[0].disposition, Disposition::Create);
  EXPECT_EQ(plans[1].disposition, Disposition::Replace);
  EXPECT_EQ(plans[2].disposition, Disposition::Leave);
  EXPECT_EQ(plans[3].disposition, Disposition::Replace);
  EXPECT_EQ(host.shown, (std::vector<std::string>{"Would you like to overwrite Whole?", "Would you like to overwrite Part?",
                                                  "Would you like to overwrite Other?"}));

  // The first question answered "take up what is there": no more questions, each table as it stands.
  host.shown.clear();
  host.answers = {conversion::kResume};
  auto& again = Plan(planner);
  for (auto& p : again) planner->Decide(p);
  EXPECT_EQ(host.shown, (std::vector<std::string>{"Would you like to overwrite Whole?"}));
  EXPECT_EQ(again[1].disposition, Disposition::Skip);
  EXPECT_EQ(again[2].disposition, Disposition::Continue);
  EXPECT_EQ(again[2].takeUp.sourceRest, " WHERE [Id] > 30 ORDER BY [Id]");
  EXPECT_EQ(again[3].disposition, Disposition::Replace);
  EXPECT_EQ(again[3].takeUp.replaceWhy, "it has no column \"Id\"");
}

TEST_F(PlannerDispositions, ResumeAsksNothingButNotForAPreviewAndStopEndsAtTheQuestion) {
  std::unique_ptr<conversion::Planner> planner;
  host.resume = true;
  auto& plans = Plan(planner);
  for (auto& p : plans) planner->Decide(p);
  EXPECT_TRUE(host.shown.empty());
  EXPECT_EQ(plans[1].disposition, Disposition::Skip);
  EXPECT_EQ(plans[2].disposition, Disposition::Continue);

  // A preview has nothing to take up: every table Firebird holds is asked about.
  host.preview = true;
  host.answers = {conversion::kNo, conversion::kYes, conversion::kYes};
  auto& shown = Plan(planner);
  for (auto& p : shown) planner->Decide(p);
  EXPECT_EQ(host.shown.size(), 3u);
  EXPECT_EQ(shown[1].disposition, Disposition::Leave);
  EXPECT_EQ(shown[2].disposition, Disposition::Replace);

  // Stopped while the question was open: the run ends there.
  host.preview = false;
  host.resume = false;
  host.onAsk = [&](const std::string&) {
    host.stop = true;
    return conversion::kYes;
  };
  auto& stopped = Plan(planner);
  planner->Decide(stopped[0]);
  EXPECT_THROW(planner->Decide(stopped[1]), conversion::Halted);
}

// The foreign keys of other tables dropped to replace a table, on every way the run can go.
class ReplacedKeysTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  HeadlessHost host;
  std::unique_ptr<conversion::Session> session;

  void SetUp() override {
    host.fb = testsupport::NewFirebirdDatabase(dir);
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    c.Execute("CREATE TABLE \"P\" (\"Id\" INTEGER NOT NULL PRIMARY KEY)");
    c.Execute("CREATE TABLE \"C\" (\"Id\" INTEGER, \"Pid\" INTEGER, CONSTRAINT \"FK_C_P\" FOREIGN KEY (\"Pid\") "
              "REFERENCES \"P\" (\"Id\") ON DELETE CASCADE)");
    c.Flush();
    session = std::make_unique<conversion::Session>(host.Options(), host);
    session->OpenTarget();
  }
  // The foreign keys Firebird holds, with their delete rule.
  std::vector<std::vector<std::string>> Keys() {
    session->Firebird().Flush();
    return Rows(session->Firebird(),
                "SELECT TRIM(C.RDB$CONSTRAINT_NAME), TRIM(R.RDB$DELETE_RULE) FROM RDB$RELATION_CONSTRAINTS C "
                "JOIN RDB$REF_CONSTRAINTS R ON R.RDB$CONSTRAINT_NAME = C.RDB$CONSTRAINT_NAME");
  }
  // The replacement of P: dropped (its keys first) and created again, with or without its key.
  void Replace(conversion::ReplacedKeys& keys, bool withKey = true) {
    keys.DropTo("P");
    EXPECT_TRUE(Keys().empty());
    session->Firebird().Execute("DROP TABLE \"P\"");
    session->Firebird().Execute(withKey ? "CREATE TABLE \"P\" (\"Id\" INTEGER NOT NULL PRIMARY KEY)"
                                        : "CREATE TABLE \"P\" (\"Id\" INTEGER)");
  }
  std::string Summary() { return session->Summary().Text(); }
};

TEST_F(ReplacedKeysTest, CompletedTablesGetTheirKeysBackWithTheirRules) {
  conversion::ReplacedKeys keys(*session);
  Replace(keys);
  keys.Completed("P");
  keys.RemakeFor("P");
  EXPECT_EQ(Keys(), (std::vector<std::vector<std::string>>{{"FK_C_P", "CASCADE"}}));
  EXPECT_EQ(keys.Pending(), 0u);
  keys.Settle(false);
  EXPECT_EQ(Summary().find("FK_C_P"), std::string::npos) << Summary();

  // Stopped after the rows, before the keys: the end of the run makes it again.
  conversion::ReplacedKeys stopped(*session);
  Replace(stopped);
  stopped.Completed("P");
  stopped.Settle(false);
  EXPECT_EQ(Keys(), (std::vector<std::vector<std::string>>{{"FK_C_P", "CASCADE"}}));
}

TEST_F(ReplacedKeysTest, KeysThatCannotBeMadeAgainAreNamedWithTheirStatement) {
  // The table did not get all its rows (stopped, a failed create): the key is named, not made.
  conversion::ReplacedKeys incomplete(*session);
  Replace(incomplete);
  incomplete.Settle(false);
  EXPECT_TRUE(Keys().empty());
  EXPECT_NE(Summary().find("Table \"C\": foreign key \"FK_C_P\" was dropped to replace \"P\" and is not made again (\"P\" "
                           "does not hold all its rows): ALTER TABLE \"C\" ADD CONSTRAINT \"FK_C_P\" FOREIGN KEY (\"Pid\") "
                           "REFERENCES \"P\" (\"Id\") ON DELETE CASCADE;"),
            std::string::npos)
      << Summary();

  // The statement named is the one that makes it.
  session->Firebird().Execute("ALTER TABLE \"C\" ADD CONSTRAINT \"FK_C_P\" FOREIGN KEY (\"Pid\") REFERENCES \"P\" (\"Id\") "
                              "ON DELETE CASCADE");
  EXPECT_EQ(Keys(), (std::vector<std::vector<std::string>>{{"FK_C_P", "CASCADE"}}));

  // The connection is gone: named, though the table holds its rows.
  conversion::ReplacedKeys lost(*session);
  Replace(lost);
  lost.Completed("P");
  lost.Settle(true);
  EXPECT_TRUE(Keys().empty());
  EXPECT_NE(Summary().find("(\"P\" holds its rows, but the connection was lost)"), std::string::npos) << Summary();

  // Made again over a table Firebird refuses it on (no key to refer to): the refusal is named.
  session->Firebird().Execute("ALTER TABLE \"C\" ADD CONSTRAINT \"FK_C_P\" FOREIGN KEY (\"Pid\") REFERENCES \"P\" (\"Id\")");
  conversion::ReplacedKeys refused(*session);
  host.shown.clear();
  Replace(refused, false);
  refused.Completed("P");
  refused.RemakeFor("P");
  EXPECT_TRUE(Keys().empty());
  EXPECT_EQ(refused.Pending(), 0u);
  EXPECT_NE(Summary().find("FK_C_P"), std::string::npos);
  ASSERT_FALSE(host.shown.empty());
  EXPECT_EQ(host.shown[0].rfind("ERROR: ", 0), 0u);
}

TEST(ParentsFirst, EveryTableComesAfterTheTablesItRefersToAndACycleKeepsItsOrder) {
  // Lines refer to Orders, Orders to Customers; Customers and Regions refer to each other.
  const std::vector<std::string> tables{"Lines", "Orders", "Customers", "Regions", "Loose"};
  const std::vector<std::pair<std::string, std::string>> keys{
      {"LINES", "Orders"}, {"Orders", "customers"}, {"Customers", "Regions"}, {"Regions", "Customers"}, {"Orders", "Orders"},
      {"Gone", "Orders"}};
  const std::vector<size_t> order = conversion::ParentsFirst(tables, keys);
  ASSERT_EQ(order.size(), tables.size());
  auto at = [&](size_t table) { return std::find(order.begin(), order.end(), table) - order.begin(); };
  EXPECT_LT(at(1), at(0));
  EXPECT_LT(at(2), at(1));
  // A table that is free goes first; the cycle is broken where the given order puts it first, and a
  // table waits for no more than its own parents.
  EXPECT_EQ(order, (std::vector<size_t>{4, 2, 1, 0, 3}));
}

// Rows only Firebird holds go in blocks; a block Firebird refuses goes again row by row, so that only the
// row it refuses is kept and counted.
TEST(SyncDeletes, BlocksOfDeletesAndTheOneRowFirebirdRefuses) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.sql = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE Items (Id INTEGER NOT NULL PRIMARY KEY, Name VARCHAR(10))",
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 250) INSERT INTO Items SELECT x, 'n' || x FROM n"});
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run(host.Options());
  {
    // A table of Firebird's own refers to one of the rows the source is about to lose.
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    c.Execute("CREATE TABLE \"Notes\" (\"ItemId\" INTEGER REFERENCES \"Items\" (\"Id\"))");
    c.Flush();
    c.Execute("INSERT INTO \"Notes\" VALUES (180)");
    c.Flush();
    ado::Connection s;
    s.Open(MSSQL::ConnectionString(host.sql));
    s.Execute("DELETE FROM Items WHERE Id > 100");
  }
  host.sync = true;
  host.only = std::vector<std::string>{"Items"};
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_NE(host.summary.find("Table \"Items\": brought up to date: 0 inserted, 0 updated, 149 deleted of 100 rows, 1 rejected"),
            std::string::npos)
      << host.summary;
  EXPECT_NE(host.summary.find("1 of its 150 rows only Firebird holds could not be deleted"), std::string::npos) << host.summary;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*), MAX(\"Id\") FROM \"Items\" WHERE \"Id\" <> 180"),
            (std::vector<std::vector<std::string>>{{"100", "100"}}));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Items\" WHERE \"Id\" = 180"), (std::vector<std::vector<std::string>>{{"1"}}));
}

// Changed rows are updated in blocks as well; a block Firebird refuses goes again row by row: the one row
// its own CHECK refuses is rejected with its number, the others are updated, rows that did not change keep
// their record versions.
TEST(SyncUpdates, BlocksOfUpdatesAndTheOneRowFirebirdRefuses) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.sql = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE Items (Id INTEGER NOT NULL PRIMARY KEY, Qty INTEGER, Name VARCHAR(10))",
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 300) INSERT INTO Items SELECT x, x, 'n' || x FROM n"});
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run(host.Options());
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    c.Execute("ALTER TABLE \"Items\" ADD CONSTRAINT \"SmallQty\" CHECK (\"Qty\" < 1000)");
    c.Flush();
    ado::Connection s;
    s.Open(MSSQL::ConnectionString(host.sql));
    s.Execute("UPDATE Items SET Name = 'changed' WHERE Id % 2 = 0");
    s.Execute("UPDATE Items SET Qty = 5000 WHERE Id = 150");
  }
  host.sync = true;
  host.batchRows = 40;
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_NE(host.summary.find("Table \"Items\": brought up to date: 0 inserted, 149 updated, 0 deleted of 300 rows, 1 rejected"),
            std::string::npos)
      << host.summary;
  EXPECT_NE(host.summary.find("row 150"), std::string::npos) << host.summary;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Items\" WHERE \"Name\" = 'changed'"), (std::vector<std::vector<std::string>>{{"149"}}));
  EXPECT_EQ(Rows(c, "SELECT \"Qty\", \"Name\" FROM \"Items\" WHERE \"Id\" = 150"),
            (std::vector<std::vector<std::string>>{{"150", "n150"}}));
  // The odd rows were not written: their record versions are still those of the copy.
  const auto copied = Rows(c, "SELECT MIN(RDB$RECORD_VERSION), MAX(RDB$RECORD_VERSION) FROM \"Items\" WHERE MOD(\"Id\", 2) = 1");
  const auto changed = Rows(c, "SELECT MIN(RDB$RECORD_VERSION) FROM \"Items\" WHERE \"Name\" = 'changed'");
  EXPECT_EQ(copied[0][0], copied[0][1]);
  EXPECT_GT(std::stoll(changed[0][0]), std::stoll(copied[0][1]));
}
