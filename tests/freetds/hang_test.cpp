// Servers that accept and then never answer: the login tests give up in bounded time, with FreeTDS
// registered exactly as the install script registers it (no protocol version).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/wait.h>

#include "connectivity/core/Ado.h"
#include "connectivity/firebird/FireBird.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/ConversionRun.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using namespace std::chrono;

namespace {

// Listens and never accepts: the kernel completes the connection and keeps what arrives unread.
class BlackHole {
 public:
  BlackHole() {
    fd_ = testsupport::ListenOnLoopback(16, port_);
  }
  ~BlackHole() { close(fd_); }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// The protocol version as a user's plain registration leaves it: unset.
class NoTdsVersion {
 public:
  NoTdsVersion() {
    if (const char* v = std::getenv("TDSVER")) saved_ = v;
    unsetenv("TDSVER");
  }
  ~NoTdsVersion() {
    if (!saved_.empty()) setenv("TDSVER", saved_.c_str(), 1);
  }

 private:
  std::string saved_;
};

MSSQL::Login At(int port) { return {"127.0.0.1", std::to_string(port), "shop", "sa", "pw", false}; }

double Seconds(steady_clock::time_point since) { return duration<double>(steady_clock::now() - since).count(); }

}  // namespace

TEST(HungServers, LoginTestsGiveUpWithinTwentySeconds) {
  NoTdsVersion plain;
  testsupport::TempDir dir;
  BlackHole hole;
  testsupport::TdsEndpoint stalled(dir, R"({"database": "shop", "stall_after_prelogin": true, "tables": []})");
  const auto start = steady_clock::now();
  // The two servers are tried side by side: each must end on its own within the bound.
  auto a = std::async(std::launch::async, [&] {
    bool ok = MSSQL::CanOpenSqlServer(At(hole.Port()));
    return std::make_pair(ok, Seconds(start));
  });
  auto b = std::async(std::launch::async, [&] {
    bool ok = MSSQL::CanOpenSqlServer(stalled.Login("pw"));
    return std::make_pair(ok, Seconds(start));
  });
  // "Start Converting" against the black hole gives up as for a refused login, and says so.
  testsupport::HeadlessHost host;
  host.sql = At(hole.Port());
  host.fb = testsupport::NewFirebirdDatabase(dir);
  auto c = std::async(std::launch::async, [&] {
    conversion::ConversionRun(host).Run(host.Options());
    return Seconds(start);
  });
  auto ra = a.get(), rb = b.get();
  const double rc = c.get();
  EXPECT_LT(rc, 20.0) << "Start Converting";
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_EQ(host.shown[0].rfind(conversion::kSqlServerCannotOpen, 0), 0u) << host.shown[0];
  EXPECT_FALSE(ra.first);
  EXPECT_FALSE(rb.first);
  EXPECT_LT(ra.second, 20.0) << "black hole";
  EXPECT_LT(rb.second, 20.0) << "stalled after pre-login";
}

// SIGTERM, SIGINT and SIGHUP end the real program cleanly after the embedded engine has loaded: during
// a run that waits on the server and while a message box is open, what succeeded is committed, and the
// exit code is 0.
TEST(Signals, EndTheProgramCleanlyDuringARunAndUnderAMessageBox) {
  struct Case {
    int sig;
    bool box;
  };
  for (const Case& c : {Case{SIGTERM, false}, Case{SIGHUP, false}, Case{SIGINT, true}}) {
    SCOPED_TRACE(c.sig);
    testsupport::TempDir dir;
    // Tables go last to first: "Done" arrives, then "Waits" keeps the run waiting on the server or
    // "Exists" opens the question whether to overwrite it.
    const std::string second = c.box ? "Exists" : "Waits";
    testsupport::TdsEndpoint endpoint(
        dir, R"({"database": "shop", "tables": [{"name": ")" + second +
                 R"(", "select_delay": 60, "columns": [["A", "int"]], "rows": [[1]]},
                 {"name": "Done", "columns": [["B", "int"]], "rows": [[2]]}]})");
    auto target = testsupport::NewFirebirdDatabase(dir);
    if (c.box) {
      ado::Connection fb;
      fb.Open(FireBird::ConnectionString(target));
      fb.Execute("CREATE TABLE \"Exists\" (\"A\" INTEGER)");
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    testsupport::Process program({SIGNAL_HELPER, std::to_string(endpoint.Port()), target.database});
    if (c.box) EXPECT_EQ(program.FirstLine(), "box");
    else {
      // Until the source holds the SELECT of "Waits": "Done" is whole by then, however busy the machine.
      ASSERT_TRUE(testsupport::WaitForText(dir.File("endpoint.log"), "SELECT * FROM [dbo].[Waits]"));
    }
    const auto sent = steady_clock::now();
    program.Signal(c.sig);
    const int status = program.Wait(5000);
    ASSERT_NE(status, -1) << "still running 5 s after the signal";
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_LT(Seconds(sent), 5.0);
    ado::Connection fb;
    fb.Open(FireBird::ConnectionString(target));
    EXPECT_EQ(testsupport::Rows(fb, "SELECT * FROM \"Done\""), (std::vector<std::vector<std::string>>{{"2"}}));
  }
}

// A server slow to answer its catalogue procedures (the keys of each table are read through them): Stop
// cancels the call in progress, and the run ends at once, stopped, with nothing half made.
TEST(HungServers, StopCancelsACatalogueCallInProgress) {
  testsupport::TempDir dir;
  testsupport::TdsEndpoint endpoint(dir, R"({"database": "shop", "catalog_delay": 30, "tables": [
      {"name": "A", "columns": [["Id", "int"]], "primary_key": {"name": "PK_A", "columns": ["Id"]}, "rows": [[1]]}]})");
  testsupport::HeadlessHost host;
  host.sql = endpoint.Login("pw");
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  auto ran = std::async(std::launch::async, [&] { run.Run(host.Options()); });
  // Well into the first catalogue call, as the window's Stop does it.
  std::this_thread::sleep_for(seconds(2));
  const auto asked = steady_clock::now();
  host.stop = true;
  run.CancelSource();
  ASSERT_EQ(ran.wait_for(seconds(10)), std::future_status::ready);
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - asked).count(), 2000);
  EXPECT_TRUE(run.Stopped()) << host.summary;
}
