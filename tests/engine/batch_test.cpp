#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "connectivity/firebird/FirebirdBackend.h"
#include "conversion/ConversionRun.h"
#include "conversion/RowBatch.h"
#include "conversion/Verify.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::HeadlessHost;
using testsupport::Rows;

namespace {

// The rows of a SQLite table whose Code column is too long for Firebird in the rows `bad`.
std::vector<std::string> TableWithBadRows(int rows, const std::set<int>& bad) {
  std::vector<std::string> setup{"CREATE TABLE Batch (Id INTEGER, Code VARCHAR(5))"};
  for (int i = 1; i <= rows; ++i)
    setup.push_back("INSERT INTO Batch VALUES (" + std::to_string(i) + ", '" + (bad.count(i) ? "far too long" : "ok") + "')");
  return setup;
}

struct Outcome {
  std::string summary;
  std::vector<std::vector<std::string>> ids;  // Id of every row Firebird holds, in order
  std::string distinct;
};

// Converts the SQLite table into a fresh embedded file, or through `server` when given.
Outcome Convert(const std::vector<std::string>& setup, size_t batchRows, const testsupport::FirebirdServer* server = nullptr) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.copyKeys = false;
  host.sql = testsupport::NewSqliteSource(dir, setup);
  host.fb = server ? server->NewDatabase(dir) : testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  host.batchRows = batchRows;
  run.Run(host.Options());
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  return {host.summary, Rows(c, "SELECT \"Id\" FROM \"Batch\" ORDER BY 1"),
          Rows(c, "SELECT COUNT(DISTINCT \"Id\") FROM \"Batch\"")[0][0]};
}

}  // namespace

// A block Firebird refuses is replayed row by row: the bad row is rejected with its own number and
// message whether it stands first, in the middle or last in its block, or in the last, shorter block;
// every other row arrives once.
TEST(BatchTest, ExactlyTheBadRowsOfABlockAreRejected) {
  const std::set<int> bad{1, 57, 100, 101, 250};
  const Outcome batched = Convert(TableWithBadRows(250, bad), 0);
  EXPECT_NE(batched.summary.find("Table \"Batch\": 250 rows read, 245 written, 5 rejected"), std::string::npos)
      << batched.summary;
  for (int row : bad)
    EXPECT_NE(batched.summary.find("    row " + std::to_string(row) +
                                   ": arithmetic exception, numeric overflow, or string truncation; string right "
                                   "truncation; expected length 5, actual 12\n"),
              std::string::npos)
        << row << "\n" << batched.summary;
  ASSERT_EQ(batched.ids.size(), 245u);
  EXPECT_EQ(batched.distinct, "245");
  for (const auto& r : batched.ids) EXPECT_EQ(bad.count(std::stoi(r[0])), 0u) << r[0];
  // Row by row, the same rows arrive and the same summary is given.
  const Outcome single = Convert(TableWithBadRows(250, bad), 1);
  EXPECT_EQ(single.ids, batched.ids);
  EXPECT_EQ(single.summary, batched.summary);
}

// The widest tables go in smaller blocks: 1,024 columns, every value in place.
TEST(BatchTest, AWideTableGoesInBlocksFirebirdTakes) {
  std::string create = "CREATE TABLE Batch (Id INTEGER";
  std::string values;
  for (int k = 1; k < 1024; ++k) create += ", C" + std::to_string(k) + " INTEGER";
  std::vector<std::string> setup{create + ")"};
  for (int i = 1; i <= 70; ++i) {
    std::string insert = "INSERT INTO Batch VALUES (" + std::to_string(i);
    for (int k = 1; k < 1024; ++k) insert += ", " + std::to_string(i * 10000 + k);
    setup.push_back(insert + ")");
  }
  testsupport::TempDir dir;
  HeadlessHost host;
  host.copyKeys = false;
  host.sql = testsupport::NewSqliteSource(dir, setup);
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_EQ(host.shown, std::vector<std::string>{"Done."}) << host.summary;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*), SUM(\"Id\"), SUM(\"C1023\" - \"Id\" * 10000) FROM \"Batch\" WHERE \"C512\" = \"Id\" * 10000 + 512"),
            (std::vector<std::vector<std::string>>{{"70", "2485", "71610"}}));
}

TEST(BatchTest, BlockSizeStaysWithinFirebirdsLimits) {
  conversion::TableDdl ddl;
  auto column = [](long length, bool blob) {
    conversion::ColumnType c;
    c.length = length;
    c.blob = blob;
    return c;
  };
  auto rows = [&](size_t n, long length, bool blob) {
    ddl.columns.assign(n, column(length, blob));
    ddl.columnNames.assign(n, "C");
    return conversion::BatchRowsFor(ddl);
  };
  EXPECT_EQ(rows(8, 40, false), 100u);     // a usual table: the measured best
  EXPECT_EQ(rows(1024, 0, false), 2u);     // wide rows: few parameters, quick to prepare
  EXPECT_EQ(rows(30, 0, false), 68u);
  EXPECT_EQ(rows(4, 8000, false), 8u);     // long texts: the declared bytes stay near 1 MB
  EXPECT_EQ(rows(10, 8000, false), 3u);
  EXPECT_EQ(rows(40, 8000, false), 1u);    // rows past a megabyte go one by one
  EXPECT_EQ(rows(20, 0, true), 100u);      // a blob parameter is an 8-byte id
  // Into a local file blocks save calls only, and stay small.
  auto local = [&](size_t n, long length) {
    ddl.columns.assign(n, column(length, false));
    ddl.columnNames.assign(n, "C");
    return conversion::BatchRowsFor(ddl, true);
  };
  EXPECT_EQ(local(8, 40), 24u);
  EXPECT_EQ(local(16, 40), 12u);
  EXPECT_EQ(local(200, 40), 1u);
  EXPECT_EQ(local(10, 8000), 3u);          // the server's byte limit holds too
}

namespace {

// The target file's forced writes as the engine reports them, read on an attachment of its own.
bool ForcedWrites(const FireBird::Login& login) {
  ado::Connection c;
  c.Open(FireBird::Target(login));
  return Rows(c, "SELECT MON$FORCED_WRITES FROM MON$DATABASE")[0][0] == "1";
}

}  // namespace

TEST(UnsyncedWritesTest, LocalNamesAreToldFromServerAddresses) {
  EXPECT_TRUE(ado::IsLocalDatabase("/tmp/a.fdb"));
  EXPECT_TRUE(ado::IsLocalDatabase("/data/odd:name.fdb"));
  EXPECT_TRUE(ado::IsLocalDatabase("employee"));  // an alias of the local engine
  EXPECT_FALSE(ado::IsLocalDatabase("localhost:/tmp/a.fdb"));
  EXPECT_FALSE(ado::IsLocalDatabase("db.example.com/3051:/tmp/a.fdb"));
  EXPECT_FALSE(ado::IsLocalDatabase("inet://host/tmp/a.fdb"));
}

// Forced writes are off while the guard lasts and on again after it; a file that had them off keeps
// them off, and a login that may not change them leaves them as they are.
TEST(UnsyncedWritesTest, ForcedWritesComeBackAsTheyWere) {
  testsupport::TempDir dir;
  const FireBird::Login login = testsupport::NewFirebirdDatabase(dir);
  ASSERT_TRUE(ForcedWrites(login));
  {
    ado::UnsyncedWrites unsynced(FireBird::Target(login));
    EXPECT_TRUE(unsynced.Active());
    EXPECT_FALSE(ForcedWrites(login));
    EXPECT_EQ(unsynced.Restore(), "");
    EXPECT_FALSE(unsynced.Active());
  }
  EXPECT_TRUE(ForcedWrites(login));
  {
    // Left without Restore (an exception on the way): the destructor turns them on.
    ado::UnsyncedWrites unsynced(FireBird::Target(login));
    EXPECT_FALSE(ForcedWrites(login));
  }
  EXPECT_TRUE(ForcedWrites(login));

  FireBird::Login joe = login;
  joe.user = "JOE";  // neither the owner nor SYSDBA
  {
    ado::UnsyncedWrites unsynced(FireBird::Target(joe));
    EXPECT_FALSE(unsynced.Active());
    EXPECT_TRUE(ForcedWrites(login));
  }

  // A file whose forced writes are off (here: by another guard) is left as it is.
  {
    ado::UnsyncedWrites first(FireBird::Target(login));
    ASSERT_TRUE(first.Active());
    ado::UnsyncedWrites second(FireBird::Target(login));
    EXPECT_FALSE(second.Active());
    EXPECT_EQ(second.Restore(), "");
    EXPECT_FALSE(ForcedWrites(login));
  }
  EXPECT_TRUE(ForcedWrites(login));
}

// The journal holds a file while its forced writes are off for this process; an entry a dead process
// left is mended by the next start, and one of a live process is left to it.
TEST(UnsyncedWritesTest, TheJournalNamesTheFileUntilItIsMended) {
  testsupport::TempDir dir;
  setenv("XDG_STATE_HOME", dir.File("state").c_str(), 1);
  const FireBird::Login login = testsupport::NewFirebirdDatabase(dir);
  auto journal = [] {
    std::ifstream in(ado::ForcedWritesJournal());
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  {
    ado::UnsyncedWrites unsynced(FireBird::Target(login));
    ASSERT_TRUE(unsynced.Active());
    EXPECT_EQ(journal(), std::to_string(getpid()) + "\tSYSDBA\t" + login.database + "\n");
    // This process is alive: the next start leaves its file alone.
    EXPECT_TRUE(ado::RestoreLeftOverForcedWrites().empty());
    EXPECT_FALSE(ForcedWrites(login));
  }
  EXPECT_EQ(journal(), "");
  EXPECT_TRUE(ForcedWrites(login));

  // A process that ended with forced writes off: its entry stays, and the file is as it left it.
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  std::ofstream(ado::ForcedWritesJournal()) << child << "\tSYSDBA\t" << login.database << "\n";
  ASSERT_EQ(std::system(("gfix -write async -user SYSDBA '" + login.database + "'").c_str()), 0);
  EXPECT_FALSE(ForcedWrites(login));
  const auto mended = ado::RestoreLeftOverForcedWrites();
  ASSERT_EQ(mended.size(), 1u);
  EXPECT_EQ(mended[0].file, login.database);
  EXPECT_EQ(mended[0].error, "");
  EXPECT_TRUE(ForcedWrites(login));
  EXPECT_EQ(journal(), "");
  unsetenv("XDG_STATE_HOME");
}

// A run into a local file writes with forced writes off and ends with them on, also when it is stopped
// half way; every row it counts as written is in the file.
TEST(UnsyncedWritesTest, ARunEndsWithForcedWritesOn) {
  for (const bool stop : {false, true}) {
    testsupport::TempDir dir;
    HeadlessHost host;
    host.copyKeys = false;
    host.sql = testsupport::NewSqliteSource(
        dir, {"CREATE TABLE Batch (Id INTEGER, Code VARCHAR(5))",
              "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 3000) "
              "INSERT INTO Batch SELECT x, 'ok' FROM n"});
    host.fb = testsupport::NewFirebirdDatabase(dir);
    std::optional<bool> during;
    host.onRow = [&](const std::string&, long long row) {
      if (row == 1000) during = ForcedWrites(host.fb);
      if (stop && row == 2000) host.stop = true;
    };
    conversion::ConversionRun run(host);
    run.Run(host.Options());
    ASSERT_TRUE(during.has_value());
    EXPECT_FALSE(*during);
    EXPECT_TRUE(ForcedWrites(host.fb)) << "stopped: " << stop;
    EXPECT_EQ(run.Stopped(), stop);
    ado::Connection c;
    c.Open(FireBird::Target(host.fb));
    EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Batch\"")[0][0], stop ? "2000" : "3000");
  }
}

// Forced writes are off only while rows are written: on while the first Overwrite? waits for the user
// and while the run verifies.
TEST(UnsyncedWritesTest, ForcedWritesAreOffOnlyWhileRowsAreWritten) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.copyKeys = false;
  host.verify = true;
  host.sql = testsupport::NewSqliteSource(dir, {"CREATE TABLE Edges (Id INTEGER)", "INSERT INTO Edges VALUES (1)"});
  host.fb = testsupport::NewFirebirdDatabase(dir);
  {
    ado::Connection c;
    c.Open(FireBird::Target(host.fb));
    c.Execute("CREATE TABLE \"Edges\" (\"Id\" INTEGER)");
    c.Flush();
  }
  std::optional<bool> asking, writing;
  host.onAsk = [&](const std::string&) {
    asking = ForcedWrites(host.fb);
    return conversion::kYes;
  };
  host.onRow = [&](const std::string&, long long) { writing = ForcedWrites(host.fb); };
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  ASSERT_TRUE(asking.has_value() && writing.has_value());
  EXPECT_TRUE(*asking);
  EXPECT_FALSE(*writing);
  EXPECT_TRUE(ForcedWrites(host.fb));
  EXPECT_NE(host.summary.find("Table \"Edges\": identical (1 row)"), std::string::npos) << host.summary;
}

// Through a Firebird server the program writes what it writes into a file.
class ServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string why = testsupport::FirebirdServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    server = std::make_unique<testsupport::FirebirdServer>();
  }
  std::unique_ptr<testsupport::FirebirdServer> server;
};

TEST_F(ServerTest, EveryValueArrivesAsInAnEmbeddedFile) {
  std::vector<std::string> setup{
      "CREATE TABLE Kinds (Id INTEGER, Small SMALLINT, Big BIGINT, Price NUMERIC(12,4), Ratio DOUBLE, Name VARCHAR(40), "
      "Code CHAR(6), Born DATE, Seen TIMESTAMP, Note TEXT, Raw BLOB)",
      "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 1500) INSERT INTO Kinds SELECT x, x % 300 - 150, "
      "x * 4000000007, x * 1.0625, x / 7.0, CASE WHEN x % 11 = 0 THEN '' WHEN x % 13 = 0 THEN NULL ELSE 'Zoë ' || x END, "
      "'C' || (x % 97), '1999-12-31', '2024-02-29 23:59:58.1234', CASE WHEN x % 5 = 0 THEN NULL ELSE printf('%.*c', x % 900, 'n') END, "
      "CASE WHEN x % 3 = 0 THEN NULL ELSE randomblob(x % 50) END FROM n"};
  testsupport::TempDir dir;
  const MSSQL::Login source = testsupport::NewSqliteSource(dir, setup);
  auto convert = [&](const FireBird::Login& fb) {
    HeadlessHost host;
    host.sql = source;
    host.fb = fb;
    conversion::ConversionRun(host).Run(host.Options());
    EXPECT_EQ(host.shown, std::vector<std::string>{"Done."}) << host.summary;
  };
  const FireBird::Login file = testsupport::NewFirebirdDatabase(dir, "file.fdb");
  const FireBird::Login through = server->NewDatabase(dir, "through.fdb");
  convert(file);
  convert(through);
  ado::Connection a, b;
  a.Open(FireBird::Target(file));
  b.Open(FireBird::Target(through));
  const std::string all = "SELECT * FROM \"Kinds\" ORDER BY \"Id\"";
  const auto fromFile = Rows(a, all);
  ASSERT_EQ(fromFile.size(), 1500u);
  EXPECT_EQ(Rows(b, all), fromFile);
  // The server's own catalogue holds the same columns with the same types.
  const std::string types =
      "SELECT TRIM(r.RDB$FIELD_NAME), f.RDB$FIELD_TYPE, f.RDB$FIELD_SUB_TYPE, f.RDB$FIELD_LENGTH, f.RDB$FIELD_SCALE "
      "FROM RDB$RELATION_FIELDS r JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = r.RDB$FIELD_SOURCE "
      "WHERE r.RDB$RELATION_NAME = 'Kinds' ORDER BY r.RDB$FIELD_POSITION";
  EXPECT_EQ(Rows(b, types), Rows(a, types));
  // Read back through the server, every value is the one the source holds.
  ado::Connection ms;
  ms.Open(MSSQL::ConnectionString(source));
  const conversion::TableVerdict v = conversion::VerifyTable(ms, b, {"", "Kinds"}, "Kinds", "Kinds", {"Id"}, {}, 0);
  EXPECT_EQ(v.Text(), "identical (1500 rows)") << ::testing::PrintToString(v.examples);
}

TEST_F(ServerTest, ExactlyTheBadRowsAreRejectedThroughTheServer) {
  const std::set<int> bad{1, 57, 100, 101, 250};
  const Outcome through = Convert(TableWithBadRows(250, bad), 0, server.get());
  EXPECT_NE(through.summary.find("Table \"Batch\": 250 rows read, 245 written, 5 rejected"), std::string::npos)
      << through.summary;
  EXPECT_EQ(through.distinct, "245");
  EXPECT_EQ(through.ids, Convert(TableWithBadRows(250, bad), 0).ids);
}

// The server dies in the middle of a table: the rows committed before stay, the summary counts exactly
// them as written, one message tells it, and the run ends.
TEST_F(ServerTest, AServerThatDiesEndsTheRunWithWhatWasCommitted) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.copyKeys = false;
  host.sql = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE A_Later (X INTEGER)", "INSERT INTO A_Later VALUES (1)", "CREATE TABLE B_Long (Id INTEGER, Name VARCHAR(20))",
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 400000) "
            "INSERT INTO B_Long SELECT x, 'Name ' || x FROM n"});
  host.fb = server->NewDatabase(dir);
  const std::string file = dir.File("server.fdb");
  auto started = std::chrono::steady_clock::now();
  bool killed = false;
  host.onRow = [&](const std::string& table, long long row) {
    if (table != "B_Long" || killed) return;
    if (row == 1) started = std::chrono::steady_clock::now();
    // Past a few grouped commits (every 500 ms), and well before the table's end on a fast server.
    const auto elapsed = std::chrono::steady_clock::now() - started;
    if (elapsed > std::chrono::milliseconds(1500) || (row >= 300000 && elapsed > std::chrono::milliseconds(600))) {
      server->Kill();
      killed = true;
    }
  };
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  ASSERT_TRUE(killed) << "the table was done before the server was stopped";
  EXPECT_TRUE(run.ConnectionLost());
  int errors = 0;
  for (const auto& m : host.shown) errors += m.rfind("ERROR: ", 0) == 0;
  EXPECT_EQ(errors, 1) << ::testing::PrintToString(host.shown);
  EXPECT_NE(host.summary.find("Table \"A_Later\": 0 rows read, 0 written, 0 rejected\n    not converted (connection lost)"),
            std::string::npos)
      << host.summary;
  // What the file holds, read without the server.
  ado::Connection c;
  c.Open(FireBird::Target({file, "SYSDBA", "masterkey"}));
  const auto held = Rows(c, "SELECT COUNT(*), COUNT(DISTINCT \"Id\"), MIN(\"Id\"), MAX(\"Id\") FROM \"B_Long\"")[0];
  EXPECT_GT(std::stoll(held[0]), 0);
  EXPECT_EQ(held[1], held[0]);
  EXPECT_EQ(held[2], "1");
  EXPECT_EQ(held[3], held[0]);  // the first rows, in order, none twice
  EXPECT_NE(host.summary.find("Table \"B_Long\": "), std::string::npos);
  EXPECT_NE(host.summary.find(", " + held[0] + " written, "), std::string::npos) << held[0] << "\n" << host.summary;
  // The rows the lost connection undid are not rejected rows, and the reason is told.
  const size_t line = host.summary.find("Table \"B_Long\": ");
  const std::string counts = host.summary.substr(line, host.summary.find('\n', line) - line);
  EXPECT_TRUE(counts.ends_with(" written, 0 rejected")) << host.summary;
  EXPECT_NE(host.summary.find("were undone when the connection was lost: Error "), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("a connection was lost (Error "), std::string::npos) << host.summary;
}

TEST_F(ServerTest, LoginsThatFailAreNamed) {
  testsupport::TempDir dir;
  FireBird::Login login = server->NewDatabase(dir);
  std::string why;
  EXPECT_TRUE(FireBird::CanOpenFirebird(login, &why)) << why;
  login.password = "wrong";
  EXPECT_FALSE(FireBird::CanOpenFirebird(login, &why));
  EXPECT_NE(why.find("password"), std::string::npos) << why;
  // The run says it cannot connect, with the server's reason, and writes nothing.
  HeadlessHost host;
  host.sql = testsupport::NewSqliteSource(dir, {"CREATE TABLE T (X INTEGER)"});
  host.fb = login;
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_TRUE(run.LoginFailed());
  ASSERT_FALSE(host.shown.empty());
  EXPECT_EQ(host.shown[0].rfind(conversion::kFirebirdCannotOpen, 0), 0u) << host.shown[0];
  EXPECT_NE(host.shown[0].find("password"), std::string::npos) << host.shown[0];
  // An unknown host is named as such at once.
  login.database = "nosuchhost.invalid:" + dir.File("server.fdb");
  EXPECT_FALSE(FireBird::CanOpenFirebird(login, &why));
  EXPECT_NE(why.find("host"), std::string::npos) << why;
}

// A Firebird service running as the package starts it (its configuration, security database and lock
// folder) does not keep the test's own server from taking logins.
TEST(ServerFixture, WorksBesideARunningService) {
  if (const std::string why = testsupport::FirebirdServer::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  int port = 0;
  close(testsupport::ListenOnLoopback(1, port));
  testsupport::Process service({"/usr/sbin/firebird", "-p", std::to_string(port)});
  bool up = false;
  for (int i = 0; i < 200 && !up; ++i) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    if (!up) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(up);
  testsupport::TempDir dir;
  testsupport::FirebirdServer own;
  const FireBird::Login login = own.NewDatabase(dir);
  // Both servers have logged a user in: each holds a security database from now on.
  FireBird::Login viaService{"localhost/" + std::to_string(port) + ":" + dir.File("service.fdb"), "SYSDBA", own.Password()};
  ado::CreateFirebirdDatabase(viaService.database, viaService.user, viaService.password);
  std::string why;
  EXPECT_TRUE(FireBird::CanOpenFirebird(login, &why)) << why;
  EXPECT_TRUE(FireBird::CanOpenFirebird(viaService, &why)) << why;
}

// A port where nothing answers: the attach gives up within the login time-out.
TEST(ServerSilence, AServerThatDoesNotAnswerFailsWithinTheTimeOut) {
  int port = 0;
  const int fd = testsupport::ListenOnLoopback(4, port);
  const auto t0 = std::chrono::steady_clock::now();
  std::string why;
  EXPECT_FALSE(FireBird::CanOpenFirebird({"localhost/" + std::to_string(port) + ":/tmp/none.fdb", "SYSDBA", "x"}, &why));
  const auto waited = std::chrono::steady_clock::now() - t0;
  close(fd);
  EXPECT_LT(waited, std::chrono::seconds(FireBird::kLoginTestTimeout + 5));
  EXPECT_FALSE(why.empty());
}
