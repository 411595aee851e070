// Faults found by trying to break the conversion: a read that never ended, a lost source reported as done,
// decimals and identities that went wrong, and command-line messages that said the wrong thing.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "support/HeadlessHost.h"
#include "support/KeyChecks.h"
#include "support/TestSupport.h"

using testsupport::Rows;
using Table = std::vector<std::vector<std::string>>;

namespace {

struct Outcome {
  int code = -1;
  std::string out;  // what the program printed on its standard output
};

// Runs a command with its standard error joined to its output, under a memory limit so that a runaway
// loop fails fast instead of filling the machine.
Outcome RunLimited(std::vector<std::string> args) {
  // (Not under AddressSanitizer, whose shadow memory alone takes terabytes of address space.)
  std::string cmd = std::getenv("ASAN_OPTIONS") ? "" : "prlimit --as=3000000000 ";
  for (const auto& a : args) {
    cmd += "'";
    for (char c : a) cmd += c == '\'' ? std::string("'\\''") : std::string(1, c);
    cmd += "' ";
  }
  testsupport::TempDir here;
  const std::string file = here.File("out.txt");
  testsupport::Process p({"timeout", "60", "bash", "-c", cmd + "> '" + file + "' 2>&1"});
  Outcome o;
  const int status = p.Wait(70000);
  o.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  o.out = text.str();
  return o;
}

class FaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    setenv("FAULT_PW", "pw", 1);
    setenv("FB_PW", "masterkey", 1);
  }
  std::vector<std::string> Convert(const testsupport::TdsEndpoint& e, const FireBird::Login& fb) {
    return {TARNWICK_EXE, "convert", "--server", "127.0.0.1", "--port", std::to_string(e.Port()), "--user", "sa",
            "--database", "shop", "--password-env", "FAULT_PW", "--firebird", fb.database,
            "--firebird-password-env", "FB_PW", "--overwrite", "yes"};
  }
  testsupport::TempDir dir;
};

std::string ManyRows(int n) {
  std::string rows;
  for (int i = 1; i <= n; ++i) rows += (i > 1 ? ", [" : "[") + std::to_string(i) + ", \"row " + std::to_string(i) + "\"]";
  return rows;
}

}  // namespace

// A sql_variant holding a number: the driver answered every read with the same bytes and "more data".
TEST_F(FaultsTest, SqlVariantValuesArriveAsTextAndTheReadEnds) {
  testsupport::TdsEndpoint e(dir, R"J({"database": "shop", "password": "pw", "tables": [{"name": "V",
      "columns": [["Id", "int"], ["Val", "sql_variant"]], "rows": [[1, 42], [2, "hello ☃"], [3, null], [4, -7]]}]})J");
  auto fb = testsupport::NewFirebirdDatabase(dir);
  const Outcome o = RunLimited(Convert(e, fb));
  EXPECT_EQ(o.code, 0) << o.out;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(fb));
  EXPECT_EQ(Rows(c, "SELECT \"Val\" FROM \"V\" ORDER BY \"Id\""), (Table{{"42"}, {"hello ☃"}, {"<null>"}, {"-7"}}));
}

// The source killed while a keyed table streams: the table is named incomplete, without its keys, the
// tables not reached are named, and the run does not say "Done.".
TEST_F(FaultsTest, ALostSourceEndsWithTheSummaryNotDone) {
  testsupport::TdsEndpoint e(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Aaa", "columns": [["Id", "int"]], "rows": [[1]]},
      {"name": "Big", "columns": [["Id", "int"], ["Name", "nvarchar(20)"]], "rows": [)J" + ManyRows(6000) + R"J(],
       "primary_key": {"name": "PK_Big", "columns": ["Id"]},
       "indexes": [{"name": "IX_Big_Name", "unique": false, "columns": ["Name"]}], "die_after_rows": 2500}]})J");
  testsupport::HeadlessHost host;
  host.sql = e.Login("pw");
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_TRUE(run.ConnectionLost());
  for (const auto& s : host.shown) EXPECT_NE(s, "Done.");
  EXPECT_NE(host.summary.find("Table \"Big\": "), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("of 6000 rows"), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("Table \"Aaa\": 0 rows read, 0 written, 0 rejected\n    not converted (connection lost)"),
            std::string::npos)
      << host.summary;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  const long long copied = std::stoll(Rows(c, "SELECT COUNT(*) FROM \"Big\"")[0][0]);
  EXPECT_GT(copied, 0);
  EXPECT_LT(copied, 6000);
  // Every row read before the loss arrived, and is counted as written.
  const std::string n = std::to_string(copied);
  EXPECT_NE(host.summary.find("Table \"Big\": " + n + " rows read, " + n + " written, 0 rejected"), std::string::npos)
      << host.summary;
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$RELATION_NAME = 'Big'")[0][0], "0");
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'Aaa'")[0][0], "0");
}

TEST_F(FaultsTest, WideDecimalsAndANegativeIdentityStep) {
  testsupport::TdsEndpoint e(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Dec", "columns": [["Id", "int"], ["A", "decimal(38,30)"], ["B", "decimal(38,20)"]],
       "rows": [[1, "0.5", "0.5"], [2, "1.5", "-1.5"], [3, "0.123456789012345678901234567891", "1"]]},
      {"name": "IdNegStep", "columns": [["Id", "int"], ["V", "int"]], "rows": [[-1, 1], [-2, 2], [-3, 3]],
       "identity": {"column": "Id", "seed": -1, "increment": -1}, "primary_key": {"name": "PK_Neg", "columns": ["Id"]}}]})J");
  for (bool literal : {false, true}) {
    testsupport::HeadlessHost host;
    host.sql = e.Login("pw");
    host.fb = testsupport::NewFirebirdDatabase(dir, literal ? "literal.fdb" : "prepared.fdb");
    host.preview = literal;
    host.onPreview = [](testsupport::HeadlessHost& h) {
      for (const auto& r : testsupport::ExecuteScript(h)) ADD_FAILURE() << r;
    };
    conversion::ConversionRun(host).Run(host.Options());
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    EXPECT_EQ(Rows(c, "SELECT \"Id\", \"A\", \"B\" FROM \"Dec\" ORDER BY 1"),
              (Table{{"1", "0.5000000000", "0.500000000"}, {"2", "1.5000000000", "-1.500000000"}}));
    EXPECT_NE(host.summary.find("row 3: The value 0.123456789012345678901234567891 does not fit"), std::string::npos)
        << host.summary;
    // The identity continues above the copied values, and the change of direction is named.
    c.Execute("INSERT INTO \"IdNegStep\" (\"V\") VALUES (4)");
    EXPECT_EQ(Rows(c, "SELECT \"Id\" FROM \"IdNegStep\" WHERE \"V\" = 4"), (Table{{"0"}}));
    EXPECT_NE(host.summary.find("identity counts up"), std::string::npos) << host.summary;
  }
}

TEST_F(FaultsTest, CommandLineMessagesSayWhatIsWrong) {
  testsupport::TdsEndpoint e(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "T", "columns": [["Id", "int"]], "rows": [[1], [2]]}]})J");
  auto fb = testsupport::NewFirebirdDatabase(dir);
  for (const char* port : {"abc", "-5", "0", "99999"}) {
    auto args = Convert(e, fb);
    args[5] = port;
    const Outcome o = RunLimited(args);
    EXPECT_EQ(o.code, 2) << port;
    EXPECT_NE(o.out.find("--port"), std::string::npos) << o.out;
  }
  Outcome o = RunLimited({TARNWICK_EXE, "convert", "--help"});
  EXPECT_EQ(o.code, 0);
  EXPECT_NE(o.out.find("--cast SOURCE=TARGET"), std::string::npos) << o.out;
  for (const char* empty : {"--script", "--password-env"}) {
    auto args = Convert(e, fb);
    args.insert(args.end(), {empty, ""});
    o = RunLimited(args);
    EXPECT_EQ(o.code, 2) << empty;
    EXPECT_NE(o.out.find(std::string(empty) + " needs a value"), std::string::npos) << o.out;
  }
  // A script that cannot be opened, or that fills the disk: one message with the reason, exit code 2.
  auto args = Convert(e, fb);
  args.insert(args.end(), {"--script", dir.Path()});
  o = RunLimited(args);
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.out.find("cannot write " + dir.Path() + ": Is a directory"), std::string::npos) << o.out;
  args = Convert(e, fb);
  args.insert(args.end(), {"--script", "/dev/full"});
  o = RunLimited(args);
  EXPECT_EQ(o.code, 2);
  EXPECT_NE(o.out.find("cannot write /dev/full: No space left on device"), std::string::npos) << o.out;
  EXPECT_EQ(o.out.find("Done"), std::string::npos) << o.out;
}

// Every name Firebird got in another form is named, under the heading that says why.
TEST_F(FaultsTest, ShortenedAndRenamedNamesAreListed) {
  testsupport::TdsEndpoint e(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Case", "columns": [["Id", "int"]], "rows": [[1]]}, {"name": "CASE", "columns": [["Id", "int"]], "rows": [[2]]},
      {"name": "CustomerAddressesWithAVeryLongName", "columns": [["AddressIdentifierThatIsQuiteLongToo", "int"]],
       "rows": [[1]], "primary_key": {"name": "PK_CustomerAddressesWithAVeryLongName", "columns": ["AddressIdentifierThatIsQuiteLongToo"]}},
      {"name": "Shipments", "columns": [["Id", "int"], ["AddressIdentifierThatIsQuiteLongToo", "int"]], "rows": [[1, 1]],
       "primary_key": {"name": "PK_Shipments", "columns": ["Id"]},
       "foreign_keys": [{"name": "FK_Shipments_CustomerAddressesWithAVeryLongName", "columns": ["AddressIdentifierThatIsQuiteLongToo"],
         "ref_table": "CustomerAddressesWithAVeryLongName", "ref_columns": ["AddressIdentifierThatIsQuiteLongToo"]}]}]})J");
  testsupport::HeadlessHost host;
  host.sql = e.Login("pw");
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run(host.Options());
  const std::string& sum = host.summary;
  const auto shortened = sum.find("Names shortened to Firebird's 31 bytes:");
  const auto renamed = sum.find("Names changed for Firebird");
  ASSERT_NE(shortened, std::string::npos) << sum;
  ASSERT_NE(renamed, std::string::npos) << sum;
  // Where the line stands; npos (past every heading) fails the comparisons below only with the line found.
  const auto at = [&](const std::string& what) {
    const auto p = sum.find(what);
    EXPECT_NE(p, std::string::npos) << what << "\n" << sum;
    return p == std::string::npos ? size_t{0} : p;
  };
  EXPECT_GT(at("key or index \"PK_CustomerAddressesWithAVeryLongName\" is \"PK_CustomerAddressesWith~"), shortened);
  EXPECT_GT(at("key or index \"FK_Shipments_CustomerAddressesWithAVeryLongName\" is \"FK_Shipments_"), shortened);
  EXPECT_GT(at("table \"CASE\" is \"CASE~"), renamed);
  EXPECT_LT(at("key or index \"PK_CustomerAddressesWithAVeryLongName\""), renamed);
}

// A second run that replaces only the referenced table: the foreign keys dropped for it are made again,
// and the summary names only keys that are really missing.
TEST_F(FaultsTest, ForeignKeysDroppedToReplaceATableAreMadeAgain) {
  testsupport::TdsEndpoint e(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Parent", "columns": [["Id", "int"], ["Name", "nvarchar(20)"]], "rows": [[1, "p1"], [2, "p2"]],
       "primary_key": {"name": "PK_Parent", "columns": ["Id"]}},
      {"name": "Child", "columns": [["Id", "int"], ["ParentId", "int"]], "rows": [[1, 1], [2, 2]],
       "primary_key": {"name": "PK_Child", "columns": ["Id"]},
       "foreign_keys": [{"name": "FK_Child_Parent", "columns": ["ParentId"], "ref_table": "Parent", "ref_columns": ["Id"],
                         "on_delete": "CASCADE"}]},
      {"name": "GrandChild", "columns": [["Id", "int"], ["ChildId", "int"]], "rows": [[1, 1]],
       "primary_key": {"name": "PK_GrandChild", "columns": ["Id"]},
       "foreign_keys": [{"name": "FK_GrandChild_Child", "columns": ["ChildId"], "ref_table": "Child", "ref_columns": ["Id"]}]}]})J");
  testsupport::HeadlessHost host;
  host.sql = e.Login("pw");
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run(host.Options());
  // Again: only Parent is replaced.
  host.onAsk = [](const std::string& q) { return q.find("Parent") != std::string::npos ? conversion::kYes : conversion::kNo; };
  host.summary.clear();
  conversion::ConversionRun again(host);
  again.Run(host.Options());
  EXPECT_EQ(again.Reported(), 0) << ::testing::PrintToString(host.shown);
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(testsupport::Constraints(c, "Child"),
            (std::vector<std::string>{"FOREIGN KEY FK_Child_Parent(ParentId)", "PRIMARY KEY PK_Child(Id)"}));
  EXPECT_EQ(testsupport::KeyRules(c, "FK_Child_Parent"), "CASCADE/RESTRICT");
  EXPECT_EQ(testsupport::Constraints(c, "GrandChild").size(), 2u);
  EXPECT_EQ(host.summary.find("FK_"), std::string::npos) << host.summary;
  // The rule holds: a Child row without its Parent is refused.
  EXPECT_THROW(c.Execute("INSERT INTO \"Child\" VALUES (9, 99)"), ado::DbError);
}

// A NUL inside a column name: the column arrives with the NUL carried as U+FFFD, and the summary says so.
TEST_F(FaultsTest, ANulInAColumnNameIsReplaced) {
  testsupport::TdsEndpoint e(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "T", "columns": [["Id", "int"], ["a\u0000b", "int"]], "rows": [[1, 2]]}]})J");
  testsupport::HeadlessHost host;
  host.sql = e.Login("pw");
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_EQ(run.Reported(), 0) << ::testing::PrintToString(host.shown);
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(c, "SELECT \"a\xEF\xBF\xBD" "b\" FROM \"T\""), (Table{{"2"}}));
  EXPECT_NE(host.summary.find("is \"a\xEF\xBF\xBD" "b\""), std::string::npos) << host.summary;
}

// The Firebird database on a full disk: the table stops with one message and the count, instead of
// trying and listing every further row.
TEST_F(FaultsTest, AFullDiskStopsTheTableWithOneMessage) {
  const std::string mount = dir.File("small");
  std::filesystem::create_directories(mount);
  if (std::system(("mount -t tmpfs -o size=3m tmpfs '" + mount + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here";
  struct Unmount {
    std::string at;
    ~Unmount() { std::system(("umount -l '" + at + "'").c_str()); }
  } unmount{mount};
  // 1500 rows of 3000 bytes that do not compress: past the 3 MB the disk holds.
  std::string rows;
  unsigned x = 12345;
  for (int i = 1; i <= 1500; ++i) {
    std::string hex;
    for (int k = 0; k < 3000; ++k) {
      x = x * 1103515245u + 12345u;
      static const char* h = "0123456789ABCDEF";
      hex += h[(x >> 16) & 15], hex += h[(x >> 20) & 15];
    }
    rows += (i > 1 ? ", [" : "[") + std::to_string(i) + ", \"" + hex + "\"]";
  }
  testsupport::TdsEndpoint e(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Blobs", "columns": [["Id", "int"], ["B", "varbinary(3000)"]], "rows": [)J" + rows + "]}]}");
  testsupport::HeadlessHost host;
  host.sql = e.Login("pw");
  host.fb = testsupport::NewFirebirdDatabase(dir, "small/t.fdb");
  conversion::ConversionRun(host).Run(host.Options());
  size_t errors = 0;
  for (const auto& s : host.shown) errors += s.rfind("ERROR: ", 0) == 0;
  EXPECT_LE(errors, 2u) << ::testing::PrintToString(host.shown);
  EXPECT_NE(host.summary.find("Firebird could not write its database"), std::string::npos) << host.summary;
  EXPECT_EQ(host.summary.find("    row "), std::string::npos) << host.summary.substr(0, 2000);
}
