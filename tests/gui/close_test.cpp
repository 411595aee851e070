// The real program's window closed by the window system (WM_DELETE_WINDOW) in the middle of a large
// table, under a real X server: the run stops, and the Firebird file it leaves is whole and safe.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "connectivity/core/Ado.h"
#include "connectivity/firebird/FireBird.h"
#include "support/TestSupport.h"

using namespace std::chrono;

namespace {

long long FileSize(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

// Runs a command; its exit status and what it printed.
int Shell(const std::string& command, std::string& output) {
  output.clear();
  FILE* p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) output.append(buf, n);
  return pclose(p);
}

}  // namespace

TEST(CloseWindow, DuringALargeTableLeavesAWholeFileWithForcedWritesOn) {
  constexpr int kRows = 300000;
  testsupport::TempDir dir;
  std::string catalog = R"json({"database": "shop", "tables": [{"name": "Big", "columns": [["Id", "int"], ["Name", "nvarchar(40)"]],
      "primary_key": {"name": "PK_Big", "columns": ["Id"]}, "rows": [)json";
  for (int i = 1; i <= kRows; ++i) catalog += (i > 1 ? ",[" : "[") + std::to_string(i) + ",\"Name " + std::to_string(i) + "\"]";
  catalog += "]}]}";
  testsupport::TdsEndpoint endpoint(dir, catalog);
  const FireBird::Login target = testsupport::NewFirebirdDatabase(dir);
  {
    // The file's own setting before the run: forced writes on.
    ado::Connection fb;
    fb.Open(FireBird::ConnectionString(target));
    ASSERT_EQ(testsupport::Rows(fb, "SELECT MON$FORCED_WRITES FROM MON$DATABASE")[0][0], "1");
  }
  const long long empty = FileSize(target.database);
  setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  setenv("XDG_STATE_HOME", dir.Path().c_str(), 1);
  unsetenv("QT_QPA_PLATFORM");  // the X server's own windows
  testsupport::Process program({SIGNAL_HELPER, std::to_string(endpoint.Port()), target.database});
  // Rows are being written once the file has grown by a few megabytes.
  const auto until = steady_clock::now() + seconds(60);
  while (FileSize(target.database) < empty + (4 << 20) && steady_clock::now() < until)
    std::this_thread::sleep_for(milliseconds(20));
  ASSERT_LT(steady_clock::now(), until) << "no rows were written";
  std::string said;
  ASSERT_EQ(Shell(std::string("python3 ") + CLOSE_WINDOW + " Tarnwick", said), 0) << said;
  const auto asked = steady_clock::now();
  const int status = program.Wait(10000);
  ASSERT_NE(status, -1) << "still running 10 s after the window was closed";
  EXPECT_TRUE(WIFEXITED(status)) << status;
  const long long closedMs = duration_cast<milliseconds>(steady_clock::now() - asked).count();
  EXPECT_LT(closedMs, 5000);

  // The file validates, and holds its forced writes again.
  std::string validated;
  EXPECT_EQ(Shell("gfix -v -full -user SYSDBA -password masterkey " + target.database, validated), 0) << validated;
  EXPECT_EQ(validated.find("rror"), std::string::npos) << validated;
  ado::Connection fb;
  fb.Open(FireBird::ConnectionString(target));
  EXPECT_EQ(testsupport::Rows(fb, "SELECT MON$FORCED_WRITES FROM MON$DATABASE")[0][0], "1");
  // What was committed is a prefix of the source in key order, each row once, and not the whole table.
  const auto held = testsupport::Rows(fb, "SELECT COUNT(*), COUNT(DISTINCT \"Id\"), COALESCE(MIN(\"Id\"), 1), "
                                          "COALESCE(MAX(\"Id\"), 0) FROM \"Big\"");
  const long long count = std::stoll(held[0][0]);
  EXPECT_EQ(held[0][1], held[0][0]);
  EXPECT_EQ(held[0][2], "1");
  EXPECT_EQ(std::stoll(held[0][3]), count);
  EXPECT_LT(count, kRows);
  std::printf("closed %lld ms after the request, with %lld of %d rows committed\n", closedMs, count, kRows);
}
