#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "connectivity/core/Ado.h"
#include "connectivity/firebird/FireBird.h"
#include "support/TestSupport.h"

using testsupport::Rows;

class FirebirdTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  FireBird::Login login = testsupport::NewFirebirdDatabase(dir);
};

TEST_F(FirebirdTest, OpensExecutesAndRejectsWithTheEnginesText) {
  EXPECT_TRUE(FireBird::CanOpenFirebird(login));
  ado::Connection c;
  c.Open(FireBird::ConnectionString(login));
  c.Execute("CREATE TABLE \"T\" (\"A\" INTEGER, \"B\" VARCHAR(10))");
  c.Execute("INSERT INTO \"T\" VALUES (1, 'x')");
  try {
    c.Execute("INSERT INTO \"T\" VALUE (2, 'y')");
    FAIL() << "accepted a bad statement";
  } catch (const ado::DbError& e) {
    EXPECT_NE(std::string(e.what()).find("SQL error"), std::string::npos) << e.what();
    EXPECT_FALSE(e.ConnectionLost());
    EXPECT_TRUE(e.StatementError());
    EXPECT_NE(e.Code(), 0);
  }
  try {
    c.Execute("CREATE TABLE \"T\" (\"A\" INTEGER)");
    FAIL() << "created a table twice";
  } catch (const ado::DbError& e) {
    EXPECT_NE(std::string(e.what()).find("unsuccessful metadata update"), std::string::npos) << e.what();
    EXPECT_TRUE(e.StatementError());
  }
  // A value the column cannot take is a rejected row, whatever words the value holds.
  try {
    c.Execute("INSERT INTO \"T\" VALUES ('SQL error', 'y')");
    FAIL() << "stored text in an integer";
  } catch (const ado::DbError& e) {
    EXPECT_NE(std::string(e.what()).find("SQL error"), std::string::npos) << e.what();
    EXPECT_FALSE(e.StatementError()) << e.what();
  }
  // The failed statements undid nothing else.
  EXPECT_EQ(Rows(c, "SELECT * FROM \"T\""), (std::vector<std::vector<std::string>>{{"1", "x"}}));
}

TEST_F(FirebirdTest, WorkIsDurableAfterFlushAndClose) {
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(login));
    c.Execute("CREATE TABLE \"T\" (\"A\" INTEGER)");
    for (int i = 0; i < 100; ++i) c.Execute("INSERT INTO \"T\" VALUES (" + std::to_string(i) + ")");
    ado::Connection other;
    other.Open(FireBird::ConnectionString(login));
    c.Flush();
    EXPECT_EQ(Rows(other, "SELECT COUNT(*) FROM \"T\"")[0][0], "100");
    c.Execute("INSERT INTO \"T\" VALUES (100)");
    c.Close();
  }
  ado::Connection c;
  c.Open(FireBird::ConnectionString(login));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"T\"")[0][0], "101");
}

TEST_F(FirebirdTest, CatalogueLeavesOutSystemNames) {
  ado::Connection c;
  c.Open(FireBird::ConnectionString(login));
  for (std::string name : {"AB", "ABC$X", "My \"odd\" table", "Ærø", "CUSTOMERS"})
    c.Execute("CREATE TABLE \"" + std::string(name == "My \"odd\" table" ? "My \"\"odd\"\" table" : name) +
              "\" (\"A\" INTEGER)");
  c.Execute("CREATE VIEW \"V1\" AS SELECT * FROM \"AB\"");
  c.Close();
  std::vector<std::string> list{"stale"};
  FireBird::ListFirebirdTables(login, list);
  std::sort(list.begin(), list.end());
  EXPECT_EQ(list, (std::vector<std::string>{"AB", "CUSTOMERS", "My \"odd\" table", "V1", "Ærø"}));
  EXPECT_TRUE(FireBird::IsSystemName("RDB$RELATIONS"));
  EXPECT_TRUE(FireBird::IsSystemName("ÆBC$"));
  EXPECT_FALSE(FireBird::IsSystemName("AB$"));
}

TEST_F(FirebirdTest, BadLoginsFailQuicklyAndLeaveNothingOpen) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(FireBird::CanOpenFirebird({dir.File("missing.fdb"), "SYSDBA", "masterkey"}));
  EXPECT_FALSE(FireBird::CanOpenFirebird({"", "SYSDBA", "masterkey"}));
  EXPECT_FALSE(FireBird::CanOpenFirebird({dir.File("no/such/dir/x.fdb"), "SYSDBA", ""}));
  // Nothing listens on this port on the loopback address.
  EXPECT_FALSE(FireBird::CanOpenFirebird({"127.0.0.1/1:/tmp/x.fdb", "SYSDBA", "masterkey"}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  std::vector<std::string> list{"kept"};
  EXPECT_THROW(FireBird::ListFirebirdTables({dir.File("missing.fdb"), "SYSDBA", "x"}, list), ado::DbError);
  EXPECT_EQ(list, std::vector<std::string>{"kept"});
}

TEST_F(FirebirdTest, AShutDownAttachmentIsReportedAsLost) {
  ado::Connection victim;
  victim.Open(FireBird::ConnectionString(login));
  victim.Execute("CREATE TABLE \"T\" (\"A\" INTEGER)");
  auto id = Rows(victim, "SELECT CURRENT_CONNECTION FROM RDB$DATABASE")[0][0];
  victim.Flush();
  ado::Connection admin;
  admin.Open(FireBird::ConnectionString(login));
  admin.Execute("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + id);
  admin.Flush();
  try {
    victim.Execute("INSERT INTO \"T\" VALUES (1)");
    victim.Flush();
    FAIL() << "the attachment survived";
  } catch (const ado::DbError& e) {
    EXPECT_TRUE(e.ConnectionLost()) << e.what();
  }
}

// A commit the engine cannot write (the file may not grow) is an error that says how many statements
// it undid, never a silent loss.
TEST_F(FirebirdTest, AFailedCommitTellsWhatItUndid) {
  ado::Connection c;
  c.Open(FireBird::ConnectionString(login));
  c.Execute("CREATE TABLE \"T\" (\"A\" INTEGER, \"B\" VARCHAR(8000) CHARACTER SET UTF8)");
  c.Flush();
  const std::string big(8000, 'x');
  for (int i = 0; i < 40; ++i) c.Execute("INSERT INTO \"T\" VALUES (" + std::to_string(i) + ", '" + big + "')");
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_IGN);
  struct rlimit tight = old;
  // Only the first pages may be written: the commit must write the rows past them.
  tight.rlim_cur = 8192 * 2;
  setrlimit(RLIMIT_FSIZE, &tight);
  long long lost = -1;
  try {
    c.Flush();
  } catch (const ado::DbError& e) {
    lost = e.LostStatements();
  }
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, SIG_DFL);
  EXPECT_EQ(lost, 40);
}

// A cursor reads in a transaction of its own: the grouped commits of statements executed meanwhile
// on the same connection cannot end it, and every row and blob comes whole.
TEST_F(FirebirdTest, AnOpenCursorOutlivesTheTimedCommits) {
  ado::Connection c;
  c.Open(FireBird::ConnectionString(login));
  c.Execute("CREATE TABLE \"T\" (\"A\" INTEGER, \"B\" BLOB SUB_TYPE TEXT)");
  c.Execute("CREATE TABLE \"U\" (\"A\" INTEGER)");
  const std::string big(15000, 'q');
  for (int i = 0; i < 5; ++i) c.Execute("INSERT INTO \"T\" VALUES (" + std::to_string(i) + ", '" + big.substr(0, 15000) + "' || '" + big.substr(0, 15000) + "')");
  ado::Recordset rs(c.Active().Query("SELECT \"A\", \"B\" FROM \"T\" ORDER BY 1"));
  int seen = 0;
  while (!rs.Eof()) {
    EXPECT_EQ(rs.Fields(0).value.integer, seen);
    EXPECT_EQ(rs.Fields(1).value.text.size(), 30000u);
    ++seen;
    // Past the commit interval, so that this insert commits the connection's transaction.
    std::this_thread::sleep_for(std::chrono::milliseconds(550));
    c.Execute("INSERT INTO \"U\" VALUES (" + std::to_string(seen) + ")");
    rs.MoveNext();
  }
  EXPECT_EQ(seen, 5);
  // What the cursor's connection wrote before a query is seen by it.
  c.Execute("INSERT INTO \"U\" VALUES (99)");
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"U\"")[0][0], "6");
}

// Closing a connection with a cursor still open gives the cursor's handles back first; the cursor
// then refuses to fetch instead of touching a detached database.
TEST_F(FirebirdTest, ACursorLeftOpenAtCloseIsReleased) {
  auto c = std::make_unique<ado::Connection>();
  c->Open(FireBird::ConnectionString(login));
  c->Execute("CREATE TABLE \"T\" (\"A\" INTEGER)");
  for (int i = 0; i < 3; ++i) c->Execute("INSERT INTO \"T\" VALUES (" + std::to_string(i) + ")");
  auto cursor = c->Active().Query("SELECT \"A\" FROM \"T\"");
  ASSERT_TRUE(cursor->Fetch());
  EXPECT_NO_THROW(c->Close());
  c.reset();
  EXPECT_THROW(cursor->Fetch(), ado::DbError);
  cursor.reset();
  // Nothing of the first attachment is left holding the file.
  ado::Connection again;
  again.Open(FireBird::ConnectionString(login));
  EXPECT_EQ(Rows(again, "SELECT COUNT(*) FROM MON$ATTACHMENTS WHERE MON$SYSTEM_FLAG = 0")[0][0], "1");
}
