// "tarnwick convert" as a process: the built program, FreeTDS, the TDS endpoint and embedded Firebird.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <memory>
#include <fstream>
#include <sstream>
#include <thread>

#include <signal.h>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::Rows;

namespace {

const char* const kShop = R"J({"database": "shop", "password": "Se;cret", "tables": [
  {"name": "Customers", "columns": [["Id", "int"], ["Name", "nvarchar(40)"], ["Joined", "datetime"]],
   "rows": [[1, "O'Brien", "2001-05-03 14:05:09"], [2, "Ærø ☃", null]]},
  {"name": "Orders", "columns": [["Id", "bigint"], ["Total", "decimal(38,2)"], ["Note", "varchar(20)"]],
   "rows": [[9000000000, "12.50", "first"], [2, "-0.01", null]]},
  {"name": "Odd ] name", "columns": [["A", "tinyint"]], "rows": [[5]]}]})J";

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // No display at all: the command line creates no window.
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("QT_QPA_PLATFORM");
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    setenv("SHOP_PASSWORD", "Se;cret", 1);
    setenv("FB_PASSWORD", "masterkey", 1);
  }

  // Runs tarnwick with the arguments; its exit code.
  int Tarnwick(std::vector<std::string> args) {
    args.insert(args.begin(), TARNWICK_EXE);
    testsupport::Process p(args);
    const int status = p.Wait(60000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> Logins(const FireBird::Login& fb) {
    return {"convert", "--server", "127.0.0.1", "--port", std::to_string(endpoint.Port()), "--user", "sa",
            "--database", "shop", "--password-env", "SHOP_PASSWORD", "--firebird", fb.database,
            "--firebird-user", "SYSDBA", "--firebird-password-env", "FB_PASSWORD", "--overwrite", "no"};
  }

  static std::vector<std::string> UserTables(const FireBird::Login& fb) {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    std::vector<std::string> names;
    for (auto& r : Rows(c, "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1"))
      names.push_back(r[0]);
    return names;
  }

  static std::vector<std::vector<std::string>> All(const FireBird::Login& fb, const std::string& table) {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    return Rows(c, "SELECT * FROM \"" + table + "\" ORDER BY 1");
  }

  testsupport::TempDir dir;
  testsupport::TdsEndpoint endpoint{dir, kShop};
};

}  // namespace

TEST_F(CliTest, DryRunWritesWhatThePreviewShows) {
  auto fb = testsupport::NewFirebirdDatabase(dir);
  auto args = Logins(fb);
  args.insert(args.end(), {"--script", dir.File("script.sql")});
  EXPECT_EQ(Tarnwick(args), 0);
  std::ifstream in(dir.File("script.sql"), std::ios::binary);
  std::stringstream file;
  file << in.rdbuf();
  // The same source through the run with the preview on, as the window shows it.
  testsupport::HeadlessHost host;
  host.sql = endpoint.Login("Se;cret");
  host.fb = fb;
  host.preview = true;
  conversion::ConversionRun(host).Run(host.Options());
  ASSERT_FALSE(host.script.empty());
  std::string want;
  for (const auto& s : host.script) want += s + "\n";
  EXPECT_EQ(file.str(), want);
  // A dry run writes nothing into Firebird.
  EXPECT_TRUE(UserTables(fb).empty());
}

TEST_F(CliTest, ARealRunGivesTheDatabaseTheWindowsRunGives) {
  auto viaCli = testsupport::NewFirebirdDatabase(dir, "cli.fdb");
  EXPECT_EQ(Tarnwick(Logins(viaCli)), 0);
  auto viaRun = testsupport::NewFirebirdDatabase(dir, "run.fdb");
  testsupport::HeadlessHost host;
  host.sql = endpoint.Login("Se;cret");
  host.fb = viaRun;
  conversion::ConversionRun(host).Run(host.Options());
  ASSERT_EQ(UserTables(viaCli), (std::vector<std::string>{"Customers", "Odd ] name", "Orders"}));
  EXPECT_EQ(UserTables(viaCli), UserTables(viaRun));
  for (const auto& t : UserTables(viaRun)) EXPECT_EQ(All(viaCli, t), All(viaRun, t)) << t;
  EXPECT_EQ(All(viaCli, "Orders")[1][0], "9000000000");
  // Again with "--overwrite yes": the tables are replaced, not doubled.
  auto again = Logins(viaCli);
  again.back() = "yes";
  EXPECT_EQ(Tarnwick(again), 0);
  EXPECT_EQ(All(viaCli, "Customers").size(), 2u);
}

TEST_F(CliTest, TablesOptionAndExitCodes) {
  auto fb = testsupport::NewFirebirdDatabase(dir);
  // Only the named tables, matched without regard to case.
  auto some = Logins(fb);
  some.insert(some.end(), {"--tables", "customers,ODD ] NAME"});
  EXPECT_EQ(Tarnwick(some), 0);
  EXPECT_EQ(UserTables(fb), (std::vector<std::string>{"Customers", "Odd ] name"}));
  // An unknown table is an error at start: nothing is written.
  auto fresh = testsupport::NewFirebirdDatabase(dir, "fresh.fdb");
  auto unknown = Logins(fresh);
  unknown.insert(unknown.end(), {"--tables", "Customers,Nope"});
  EXPECT_EQ(Tarnwick(unknown), 2);
  EXPECT_TRUE(UserTables(fresh).empty());
  // A wrong password is a login error.
  setenv("SHOP_PASSWORD", "wrong", 1);
  EXPECT_EQ(Tarnwick(Logins(fresh)), 2);
  EXPECT_TRUE(UserTables(fresh).empty());
  setenv("SHOP_PASSWORD", "Se;cret", 1);
  // Usage errors.
  EXPECT_EQ(Tarnwick({"convert", "--bogus"}), 2);
  EXPECT_EQ(Tarnwick({"convert", "--password", "Se;cret"}), 2);
  EXPECT_EQ(Tarnwick({"--nope"}), 2);
  auto ask = Logins(fresh);
  ask.back() = "ask";  // no terminal here
  EXPECT_EQ(Tarnwick(ask), 2);
  EXPECT_EQ(Tarnwick({"--version"}), 0);
  EXPECT_EQ(Tarnwick({"--help"}), 0);
}

TEST_F(CliTest, RejectedRowsGiveExitCodeOne) {
  testsupport::TempDir other;
  testsupport::TdsEndpoint bad(other, R"J({"database": "shop", "tables": [{"name": "Big",
      "columns": [["Amount", "decimal(38,2)"]], "rows": [["1.00"], ["12345678901234567890123.45"]]}]})J");
  auto fb = testsupport::NewFirebirdDatabase(dir);
  auto args = Logins(fb);
  args[4] = std::to_string(bad.Port());
  EXPECT_EQ(Tarnwick(args), 1);
  EXPECT_EQ(All(fb, "Big"), (std::vector<std::vector<std::string>>{{"1.00"}}));
}

TEST_F(CliTest, WithoutOptionsTheWindowsSavedLoginsAreUsed) {
  auto fb = testsupport::NewFirebirdDatabase(dir);
  {
    std::filesystem::create_directories(dir.File("Quorvane"));
    std::ofstream ini(dir.File("Quorvane/Quorvane.ini"));
    ini << "[Tarnwick]\nMSSQL%20Server=127.0.0.1\nMSSQL%20Port=" << endpoint.Port()
        << "\nMSSQL%20User=sa\nMSSQL%20Password=\"Se;cret\"\nMSSQL%20Database=shop\nLocal%20Connection=0\n"
        << "FireBirdDatabase=" << fb.database << "\nFireBirdUser=SYSDBA\nFireBirdPassword=masterkey\n";
  }
  EXPECT_EQ(Tarnwick({"convert", "--overwrite", "no"}), 0);
  EXPECT_EQ(UserTables(fb).size(), 3u);
}

// The saved CopyKeys setting holds for the command line too, and --copy-keys overrides it.
TEST_F(CliTest, CopyKeysFromTheSettingsOrTheOption) {
  testsupport::TdsEndpoint keyed(dir, R"J({"database": "keyed", "password": "Se;cret", "tables": [
    {"name": "Items", "columns": [["Id", "int"], ["Name", "nvarchar(20)"]], "rows": [[1, "a"], [2, "b"]],
     "primary_key": {"name": "PK_Items", "columns": ["Id"]}}]})J");
  std::filesystem::create_directories(dir.File("Quorvane"));
  {
    std::ofstream ini(dir.File("Quorvane/Quorvane.ini"));
    ini << "[Tarnwick]\nCopyKeys=0\n";
  }
  auto primaryKeys = [](const FireBird::Login& fb) {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    return Rows(c, "SELECT COUNT(*) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' AND "
                   "RDB$RELATION_NAME = 'Items'")[0][0];
  };
  auto args = [&](const FireBird::Login& fb) {
    auto a = Logins(fb);
    a[4] = std::to_string(keyed.Port());
    a[8] = "keyed";
    return a;
  };
  auto saved = testsupport::NewFirebirdDatabase(dir, "saved.fdb");
  EXPECT_EQ(Tarnwick(args(saved)), 0);
  EXPECT_EQ(UserTables(saved), std::vector<std::string>{"Items"});
  EXPECT_EQ(primaryKeys(saved), "0");

  auto option = testsupport::NewFirebirdDatabase(dir, "option.fdb");
  auto withKeys = args(option);
  withKeys.insert(withKeys.end(), {"--copy-keys", "yes"});
  EXPECT_EQ(Tarnwick(withKeys), 0);
  EXPECT_EQ(primaryKeys(option), "1");
  withKeys.back() = "maybe";
  EXPECT_EQ(Tarnwick(withKeys), 2);
}

TEST_F(CliTest, TablesAreNamedWithOrWithoutTheirSchema) {
  testsupport::TdsEndpoint schemas(dir, R"J({"database": "shop", "password": "Se;cret", "tables": [
    {"name": "Log", "columns": [["Id", "int"]], "rows": [[1]]},
    {"name": "Log", "schema": "audit", "columns": [["Id", "int"]], "rows": [[2], [3]]},
    {"name": "Customer", "schema": "Sales", "columns": [["Id", "int"]], "rows": [[4]]},
    {"name": "Entry", "schema": "Sales", "columns": [["Id", "int"]], "rows": []},
    {"name": "Entry", "schema": "audit", "columns": [["Id", "int"]], "rows": []}]})J");
  auto args = [&](const FireBird::Login& fb, const std::string& tables) {
    auto a = Logins(fb);
    a[4] = std::to_string(schemas.Port());
    a.insert(a.end(), {"--tables", tables});
    return a;
  };
  // A table name alone finds the one schema that has it; "Log" is dbo's, "audit.Log" the other.
  auto fb = testsupport::NewFirebirdDatabase(dir, "named.fdb");
  EXPECT_EQ(Tarnwick(args(fb, "customer,audit.log,Log")), 0);
  EXPECT_EQ(UserTables(fb), (std::vector<std::string>{"Log", "Sales.Customer", "audit.Log"}));
  EXPECT_EQ(All(fb, "audit.Log").size(), 2u);
  // A name two schemas have is an error before anything is written.
  auto untouched = testsupport::NewFirebirdDatabase(dir, "untouched.fdb");
  EXPECT_EQ(Tarnwick(args(untouched, "Customer,Entry")), 2);
  EXPECT_TRUE(UserTables(untouched).empty());
  // Patterns, and --exclude.
  auto patterned = testsupport::NewFirebirdDatabase(dir, "patterned.fdb");
  auto withExclude = args(patterned, "sales.*,*log");
  withExclude.insert(withExclude.end(), {"--exclude", "Sales.Entry,dbo.Log"});
  EXPECT_EQ(Tarnwick(withExclude), 0);
  EXPECT_EQ(UserTables(patterned), (std::vector<std::string>{"Sales.Customer", "audit.Log"}));
  // Nothing left to convert is an error too.
  auto none = testsupport::NewFirebirdDatabase(dir, "none.fdb");
  EXPECT_EQ(Tarnwick(args(none, "Nothing*")), 2);
  EXPECT_TRUE(UserTables(none).empty());
}

// Ctrl-C stops the run: a statement the source is working on is cancelled, the tables done stay
// committed, the summary says "Stopped." and names what was not finished, and the exit code is 130.
TEST_F(CliTest, InterruptStopsAfterTheStatementAndExits130) {
  testsupport::TempDir own;
  testsupport::TdsEndpoint slow(own, R"J({"database": "shop", "password": "Se;cret", "tables": [
    {"name": "Slow", "select_delay": 60, "columns": [["A", "int"]], "rows": [[1], [2]]},
    {"name": "Done", "columns": [["B", "int"]], "rows": [[5]]}]})J");
  auto fb = testsupport::NewFirebirdDatabase(dir, "stopped.fdb");
  auto args = Logins(fb);
  args[4] = std::to_string(slow.Port());
  const std::string err = dir.File("stderr.txt");
  std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>'" + err + "'", TARNWICK_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  testsupport::Process p(argv);
  // Tables go last to first: once the source holds the SELECT of "Slow", "Done" is whole.
  ASSERT_TRUE(testsupport::WaitForText(own.File("endpoint.log"), "SELECT * FROM [dbo].[Slow]"));
  const auto sent = std::chrono::steady_clock::now();
  p.Signal(SIGINT);
  const int status = p.Wait(15000);
  // The source's statement was cancelled, not waited for.
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 5.0);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130);
  std::ifstream in(err);
  std::stringstream said;
  said << in.rdbuf();
  EXPECT_NE(said.str().find("Stopped.\n\n"), std::string::npos) << said.str();
  EXPECT_NE(said.str().find("Table \"Slow\": 0 rows read, 0 written, 0 rejected\n    not converted (stopped)"), std::string::npos)
      << said.str();
  EXPECT_EQ(said.str().find("Done."), std::string::npos) << said.str();
  EXPECT_EQ(All(fb, "Done"), (std::vector<std::vector<std::string>>{{"5"}}));
}

// Into a Firebird server named as host/port:path: the same database as into a file; a wrong password is
// a login error (exit code 2) that writes nothing.
TEST_F(CliTest, IntoAServerAsIntoAFile) {
  if (const std::string why = testsupport::FirebirdServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  testsupport::FirebirdServer server;
  const FireBird::Login through = server.NewDatabase(dir);
  setenv("FB_PASSWORD", "wrong", 1);
  EXPECT_EQ(Tarnwick(Logins(through)), 2);
  setenv("FB_PASSWORD", server.Password().c_str(), 1);
  EXPECT_EQ(Tarnwick(Logins(through)), 0);
  const auto file = testsupport::NewFirebirdDatabase(dir, "file.fdb");
  setenv("FB_PASSWORD", "masterkey", 1);
  EXPECT_EQ(Tarnwick(Logins(file)), 0);
  ASSERT_EQ(UserTables(through), (std::vector<std::string>{"Customers", "Odd ] name", "Orders"}));
  for (const auto& t : UserTables(file)) EXPECT_EQ(All(through, t), All(file, t)) << t;
}

// "tarnwick verify" only compares: 0 when every table is identical, 1 when a value differs, 2 for a
// login that fails.
TEST_F(CliTest, VerifyExitCodes) {
  auto fb = testsupport::NewFirebirdDatabase(dir);
  EXPECT_EQ(Tarnwick(Logins(fb)), 0);
  auto verify = Logins(fb);
  verify[0] = "verify";
  verify.resize(verify.size() - 2);  // no --overwrite
  EXPECT_EQ(Tarnwick(verify), 0);
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    c.Execute("UPDATE \"Orders\" SET \"Note\" = 'changed' WHERE \"Id\" = 2");
    c.Flush();
  }
  EXPECT_EQ(Tarnwick(verify), 1);
  setenv("FB_PASSWORD", "wrong", 1);
  auto elsewhere = verify;
  elsewhere[std::find(elsewhere.begin(), elsewhere.end(), "--firebird") - elsewhere.begin() + 1] = dir.File("none.fdb");
  EXPECT_EQ(Tarnwick(elsewhere), 2);
  setenv("FB_PASSWORD", "masterkey", 1);
  // The table converted again is identical once more.
  auto replaced = Logins(fb);
  replaced.back() = "yes";
  replaced.insert(replaced.end(), {"--tables", "Orders"});
  EXPECT_EQ(Tarnwick(replaced), 0);
  EXPECT_EQ(Tarnwick(verify), 0);
}

// The source goes away in the middle of a 50,000-row table; "--resume" against it once it is back
// copies the rest after the largest key, and the result verifies identical with no row twice.
TEST_F(CliTest, ResumeAfterTheSourceWasLost) {
  std::string rows;
  for (int i = 1; i <= 50000; ++i) rows += std::string(i > 1 ? "," : "") + "[" + std::to_string(i * 2) + ", \"n" + std::to_string(i) + "\"]";
  auto catalog = [&](const std::string& extra) {
    return R"J({"database": "shop", "password": "Se;cret", "tables": [
      {"name": "Big", )J" + extra + R"J("columns": [["Id", "int"], ["Name", "nvarchar(20)"]],
       "primary_key": {"name": "PK_Big", "columns": ["Id"]}, "rows": [)J" + rows + R"J(]},
      {"name": "Small", "columns": [["A", "int"]], "rows": [[1]]}]})J";
  };
  auto fb = testsupport::NewFirebirdDatabase(dir, "resumed.fdb");
  {
    testsupport::TempDir own;
    testsupport::TdsEndpoint dying(own, catalog(R"J("die_after_rows": 20000, )J"));
    auto args = Logins(fb);
    args[4] = std::to_string(dying.Port());
    EXPECT_EQ(Tarnwick(args), 1);
  }
  ado::Connection c;
  c.Open(FireBird::ConnectionString(fb));
  const long long kept = std::stoll(Rows(c, "SELECT COUNT(*) FROM \"Big\"")[0][0]);
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, 50000);
  c.Close();
  testsupport::TempDir own;
  testsupport::TdsEndpoint back(own, catalog(""));
  auto args = Logins(fb);
  args[4] = std::to_string(back.Port());
  args.resize(args.size() - 2);  // no --overwrite: --resume asks nothing
  args.push_back("--resume");
  const std::string out = dir.File("resume.txt");
  std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>'" + out + "'", TARNWICK_EXE};
  argv.insert(argv.end(), args.begin(), args.end());
  testsupport::Process p(argv);
  const int status = p.Wait(120000);
  ASSERT_TRUE(WIFEXITED(status));
  std::ifstream in(out);
  std::stringstream said;
  said << in.rdbuf();
  EXPECT_EQ(WEXITSTATUS(status), 0) << said.str();
  EXPECT_NE(said.str().find("resumed: " + std::to_string(kept) + " rows were in Firebird already"), std::string::npos) << said.str();
  EXPECT_NE(said.str().find("Table \"Big\": identical (50000 rows)"), std::string::npos) << said.str();
  c.Open(FireBird::ConnectionString(fb));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*), COUNT(DISTINCT \"Id\"), MAX(\"Id\") FROM \"Big\""),
            (std::vector<std::vector<std::string>>{{"50000", "50000", "100000"}}));
}

// A user outside the group "firebird" (nobody) converts into a local file of their own: the embedded
// engine's shared lock folder is closed to them, so the program gives the engine one of their own.
TEST_F(CliTest, AUserOutsideTheFirebirdGroupConvertsIntoALocalFile) {
  if (getuid() != 0) GTEST_SKIP() << "needs root to run the program as another user";
  if (access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "no setpriv (package util-linux)";
  chmod(dir.Path().c_str(), 0777);
  auto fb = testsupport::NewFirebirdDatabase(dir, "theirs.fdb");
  ASSERT_EQ(chown(fb.database.c_str(), 65534, 65534), 0);
  std::ofstream(dir.File("odbcinst.ini")) << "[SQL Server]\nDriver=" << testsupport::FindOdbcDriverLibrary("libtdsodbc.so")
                                          << "\n";
  std::ofstream(dir.File("odbc.ini")) << "";
  // The build may lie in a folder nobody may enter (a clone in a private temporary folder): the
  // program runs from a copy of its own beside the file.
  const std::string exe = dir.File("tarnwick");
  std::filesystem::copy_file(TARNWICK_EXE, exe);
  const std::string out = dir.File("nobody.txt");
  std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" >'" + out + "' 2>&1", "/usr/bin/setpriv",
                                "--reuid=65534", "--regid=65534", "--clear-groups", "env", "-u", "XDG_RUNTIME_DIR",
                                "-u", "FIREBIRD_LOCK", "HOME=" + dir.Path(), "XDG_CONFIG_HOME=" + dir.File("nobody-config"),
                                "ODBCSYSINI=" + dir.Path(), "ODBCINSTINI=odbcinst.ini", "ODBCINI=" + dir.File("odbc.ini"),
                                exe};
  const auto logins = Logins(fb);
  argv.insert(argv.end(), logins.begin(), logins.end());
  testsupport::Process p(argv);
  const int status = p.Wait(60000);
  std::ifstream in(out);
  std::stringstream said;
  said << in.rdbuf();
  ASSERT_TRUE(WIFEXITED(status)) << said.str();
  EXPECT_EQ(WEXITSTATUS(status), 0) << said.str();
  EXPECT_EQ(UserTables(fb), (std::vector<std::string>{"Customers", "Odd ] name", "Orders"})) << said.str();
  std::filesystem::remove_all("/tmp/tarnwick-65534");
}

// The program killed while forced writes of its local file are off: the next start of any command
// turns them on again and says so, and only once.
TEST_F(CliTest, ForcedWritesLeftOffByAKilledRunAreMendedAtTheNextStart) {
  setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
  testsupport::TempDir own;
  testsupport::TdsEndpoint slow(own, R"J({"database": "shop", "password": "Se;cret", "tables": [
    {"name": "Slow", "select_delay": 60, "columns": [["A", "int"]], "rows": [[1], [2]]},
    {"name": "Done", "columns": [["B", "int"]], "rows": [[5]]}]})J");
  auto fb = testsupport::NewFirebirdDatabase(dir, "killed.fdb");
  auto forced = [&] {
    ado::Connection c;
    c.Open(FireBird::Target(fb));
    return Rows(c, "SELECT MON$FORCED_WRITES FROM MON$DATABASE")[0][0];
  };
  ASSERT_EQ(forced(), "1");
  auto args = Logins(fb);
  args[4] = std::to_string(slow.Port());
  args.insert(args.begin(), TARNWICK_EXE);
  {
    testsupport::Process p(args);
    ASSERT_TRUE(testsupport::WaitForText(own.File("endpoint.log"), "SELECT * FROM [dbo].[Slow]"));
    p.Signal(SIGKILL);
    p.Wait(5000);
  }
  EXPECT_EQ(forced(), "0") << "the killed run had forced writes on";
  const std::string err = dir.File("next.txt");
  auto next = [&] {
    testsupport::Process p({"/bin/sh", "-c", "exec \"$0\" --version 2>'" + err + "' >/dev/null", TARNWICK_EXE});
    EXPECT_EQ(p.Wait(30000), 0);
    std::ifstream in(err);
    std::stringstream said;
    said << in.rdbuf();
    return said.str();
  };
  EXPECT_EQ(next(), "tarnwick: Forced writes of " + fb.database + " turned back on: a run ended before it could.\n");
  EXPECT_EQ(forced(), "1");
  EXPECT_EQ(next(), "");
  unsetenv("XDG_STATE_HOME");
}

// SIGINT during a comparison stops it: exit 130, "Stopped.", the table named; the source lost during a
// comparison names the table and exits 1, without aborting.
TEST_F(CliTest, VerifyStopsOnASignalAndNamesALostConnection) {
  for (const bool lose : {false, true}) {
    SCOPED_TRACE(lose ? "source lost" : "SIGINT");
    testsupport::TempDir own;
    auto slow = std::make_unique<testsupport::TdsEndpoint>(own, R"J({"database": "shop", "password": "Se;cret", "tables": [
      {"name": "Slow", "select_delay": 60, "columns": [["A", "int"]], "rows": [[1], [2]]}]})J");
    auto fb = testsupport::NewFirebirdDatabase(own, "verify.fdb");
    {
      ado::Connection c;
      c.Open(FireBird::Target(fb));
      c.Execute("CREATE TABLE \"Slow\" (\"A\" INTEGER)");
      c.Flush();
    }
    auto args = Logins(fb);
    args[0] = "verify";
    args[4] = std::to_string(slow->Port());
    args.resize(args.size() - 2);  // no --overwrite
    const std::string out = own.File("out.txt");
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" >'" + out + "' 2>&1", TARNWICK_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    testsupport::Process p(argv);
    ASSERT_TRUE(testsupport::WaitForText(own.File("endpoint.log"), "FROM [dbo].[Slow] ORDER BY"));
    const auto sent = std::chrono::steady_clock::now();
    if (lose) slow.reset();
    else p.Signal(SIGINT);
    const int status = p.Wait(30000);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - sent).count(), 10.0);
    std::ifstream in(out);
    std::stringstream said;
    said << in.rdbuf();
    ASSERT_TRUE(WIFEXITED(status)) << status << "\n" << said.str();
    if (lose) {
      EXPECT_EQ(WEXITSTATUS(status), 1) << said.str();
      EXPECT_NE(said.str().find("Table \"Slow\": not verified: connection lost ("), std::string::npos) << said.str();
    } else {
      EXPECT_EQ(WEXITSTATUS(status), 130) << said.str();
      EXPECT_NE(said.str().find("Table \"Slow\": not verified (stopped)\nStopped.\n"), std::string::npos) << said.str();
    }
  }
}
