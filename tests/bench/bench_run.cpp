// Measures the conversion run with preview off, into a file and through a Firebird server (started here
// when the firebird3.0-server package is installed), against a row-by-row prepared loop, reading alone
// and writing alone; with up to 200,000 rows also against isql-fb and the literal statements, and what
// carrying keys over costs. Usage: tarnwick_bench [ROWS]
#include <ibase.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>

#include "connectivity/firebird/FirebirdBackend.h"
#include "conversion/ConversionRun.h"
#include "conversion/RowBatch.h"
#include "conversion/RowExport.h"
#include "conversion/Verify.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long PeakKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

void Check(const ISC_STATUS* st) {
  if (st[0] == 1 && st[1]) {
    char buf[512];
    const ISC_STATUS* p = st;
    fb_interpret(buf, sizeof buf, &p);
    std::fprintf(stderr, "firebird: %s\n", buf);
    std::exit(1);
  }
}


// The rows read through ODBC and inserted by one prepared statement in one transaction, by a loop of its
// own: each value bound as it comes, no conversion rules, one execution (a round trip) a row.
double PreparedLoop(const MSSQL::Login& source, const FireBird::Login& target, const std::string& createTable) {
  ado::Connection fb;
  fb.Open(FireBird::ConnectionString(target));
  fb.Execute(createTable);
  fb.Flush();
  ado::Connection ms;
  ms.Open(MSSQL::ConnectionString(source));
  auto t = Clock::now();
  ado::Recordset rs(ms.Active().Query(conversion::SelectAllText("Bench")));
  std::vector<std::string> names;
  for (int k = 0; k < rs.FieldCount(); ++k) names.push_back(rs.Fields(k).Name);
  auto insert = fb.Prepare(conversion::PlaceholderInsertText("Bench", names));
  std::vector<ado::Param> params(static_cast<size_t>(rs.FieldCount()));
  for (; !rs.Eof(); rs.MoveNext()) {
    for (int k = 0; k < rs.FieldCount(); ++k) {
      const ado::Value& v = rs.Fields(k).value;
      ado::Param& p = params[static_cast<size_t>(k)];
      p = ado::Param{};
      switch (v.kind) {
        case ado::Kind::Integer: p.type = ado::Param::Type::Int64; p.integer = v.integer; break;
        case ado::Kind::Floating:
        case ado::Kind::Single: p.type = ado::Param::Type::Double; p.floating = v.floating; break;
        case ado::Kind::Text: p.type = ado::Param::Type::Text; p.bytes = v.text; break;
        case ado::Kind::Date:
        case ado::Kind::DateTime:
          p.type = v.kind == ado::Kind::Date ? ado::Param::Type::Date : ado::Param::Type::Timestamp;
          p.year = v.year, p.month = v.month, p.day = v.day, p.hour = v.hour, p.minute = v.minute,
          p.second = v.second;
          break;
        default: break;
      }
    }
    insert->Execute(params);
  }
  insert.reset();
  fb.Flush();
  return Seconds(t);
}

// Reading alone: every row and value fetched through ODBC, nothing written. `beforeFirstRow`: how long
// the source took to give its first row (the SQLite stand-in executes its whole result first).
double ReadingAlone(const MSSQL::Login& source, long& rows, double& beforeFirstRow) {
  ado::Connection ms;
  ms.Open(MSSQL::ConnectionString(source));
  auto t = Clock::now();
  ado::Recordset rs(ms.Active().Query(conversion::SelectAllText("Bench")));
  beforeFirstRow = Seconds(t);
  size_t bytes = 0;
  rows = 0;
  for (; !rs.Eof(); rs.MoveNext(), ++rows)
    for (int k = 0; k < rs.FieldCount(); ++k) bytes += rs.Fields(k).value.text.size();
  if (bytes == 0) std::fprintf(stderr, "nothing read\n");
  return Seconds(t);
}

// Writing alone: the program's own blocks of typed parameters, from rows made in memory (as the source
// would give them), nothing read; into a local file as the run writes it (forced writes off meanwhile).
double WritingAlone(const MSSQL::Login& source, const FireBird::Login& target, long rows) {
  ado::UnsyncedWrites unsynced(FireBird::Target(target));
  conversion::TableDdl ddl;
  {
    ado::Connection ms;
    ms.Open(MSSQL::ConnectionString(source));
    ado::Recordset rs;
    rs.Open(conversion::SelectAllText("Bench"), ms);
    ddl = conversion::BuildCreateTable("Bench", rs, nullptr);
  }
  ado::Connection fb;
  fb.Open(FireBird::ConnectionString(target));
  fb.Execute(ddl.createTable);
  fb.Flush();
  conversion::ParamBuilder params(ddl);
  conversion::RowBatch batch(fb, "Bench", ddl, conversion::BatchRowsFor(ddl, ado::IsLocalDatabase(target.database)));
  std::vector<ado::Value> row(8);
  auto t = Clock::now();
  for (long x = 1; x <= rows; ++x) {
    row[0].kind = ado::Kind::Integer, row[0].integer = x;
    row[1].kind = ado::Kind::Integer, row[1].integer = x % 1000;
    row[2].kind = ado::Kind::Floating, row[2].floating = x * 0.25;
    row[3].kind = ado::Kind::Text, row[3].text = "Name " + std::to_string(x);
    row[4].kind = ado::Kind::Text, row[4].text = "C" + std::to_string(x % 97);
    row[5].kind = ado::Kind::Date, row[5].year = 2001, row[5].month = 5, row[5].day = 3;
    row[6] = row[5];
    row[6].kind = ado::Kind::DateTime, row[6].hour = 14, row[6].minute = 5, row[6].second = 9;
    if (x % 10 == 0) row[7].SetNull();
    else row[7].kind = ado::Kind::Text, row[7].text = "O'Brien " + std::to_string(x);
    if (!params.Build(row)) std::fprintf(stderr, "row %ld does not go as parameters\n", x);
    batch.Add(params.Params(), {x, std::nullopt, {}});
    if (batch.Full()) {
      batch.Send();
      batch.Clear();
    }
  }
  batch.Send();
  batch.Clear();
  fb.Flush();
  fb.Close();
  const std::string failed = unsynced.Restore();
  if (!failed.empty()) std::fprintf(stderr, "writing alone: %s\n", failed.c_str());
  return Seconds(t);
}

// The conversion run, preview off, into `target`; false when it did not copy every row.
bool TimedRun(const MSSQL::Login& source, const FireBird::Login& target, long rows, double& seconds) {
  testsupport::HeadlessHost host;
  host.answers = {conversion::kYes};
  host.sql = source;
  host.fb = target;
  auto t = Clock::now();
  conversion::ConversionRun(host).Run(host.Options());
  seconds = Seconds(t);
  for (const auto& m : host.shown)
    if (m.rfind("ERROR: ", 0) == 0) std::fprintf(stderr, "%s\n", m.c_str());
  ado::Connection c;
  c.Open(FireBird::ConnectionString(target));
  const auto n = testsupport::Rows(c, "SELECT COUNT(*) FROM \"Bench\"")[0][0];
  if (std::stol(n) != rows) std::fprintf(stderr, "the run copied %s rows of %ld\n", n.c_str(), rows);
  return std::stol(n) == rows;
}

// Bringing a keyed table up to date, against verifying it and copying it afresh with its keys.
void MeasureSync(const testsupport::TempDir& dir, long rows, const std::string& where, const FireBird::Login& target,
                 const std::string& sourceFile) {
  auto keyed = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE Synced (Id INTEGER NOT NULL PRIMARY KEY, Qty SMALLINT, Price DOUBLE, Name VARCHAR(40), Seen TIMESTAMP)",
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " + std::to_string(rows) +
                ") INSERT INTO Synced SELECT x, x % 1000, x * 0.25, 'Name ' || x, '2001-05-03 14:05:09' FROM n"},
      sourceFile);
  testsupport::HeadlessHost copy;
  copy.sql = keyed;
  copy.fb = target;
  auto t = Clock::now();
  conversion::ConversionRun(copy).Run(copy.Options());
  const double fresh = Seconds(t);
  // As tarnwick verify does it: both connections opened, the table read back from both and compared.
  auto verifyKeyed = [&] {
    auto v0 = Clock::now();
    ado::Connection ms, fb;
    ms.Open(MSSQL::ConnectionString(keyed));
    fb.Open(FireBird::Target(copy.fb));
    conversion::VerifyTable(ms, fb, {"", "Synced"}, "Synced", "Synced", {"Id"}, {}, 0);
    return Seconds(v0);
  };
  const double verified = verifyKeyed();
  auto sync = [&](const char* expected) {
    testsupport::HeadlessHost h;
    h.sql = keyed;
    h.fb = copy.fb;
    h.sync = true;
    auto s0 = Clock::now();
    conversion::ConversionRun(h).Run(h.Options());
    const double took = Seconds(s0);
    if (h.summary.find(expected) == std::string::npos) std::fprintf(stderr, "sync: %s\n", h.summary.c_str());
    return took;
  };
  const double unchanged = sync("in sync (");
  {
    // 1% of the rows: a third updated, a third deleted, a third new.
    ado::Connection ms;
    ms.Open(MSSQL::ConnectionString(keyed));
    ms.Execute("UPDATE Synced SET Name = 'Changed ' || Id WHERE Id % 300 = 0");
    ms.Execute("DELETE FROM Synced WHERE Id % 300 = 100");
    ms.Execute("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " + std::to_string(rows / 300) +
               ") INSERT INTO Synced SELECT " + std::to_string(rows) + " + x, 1, 0.5, 'New ' || x, '2001-05-03 14:05:09' FROM n");
  }
  // Verify of the changed table finds the same differences sync applies: the measure for it.
  const double verifyChanged = verifyKeyed();
  const double changed = sync("brought up to date: ");
  std::printf("bringing a keyed table of %ld rows up to date (%s):\n", rows, where.c_str());
  std::printf("  a fresh copy with its keys: %.2f s; verify: %.2f s\n", fresh, verified);
  std::printf("  sync, nothing changed: %.2f s, %.2f of verify (goal <= 1.1)\n", unchanged, unchanged / verified);
  std::printf("  1%% of the rows changed: verify %.2f s; sync %.2f s, %.2f of verify (goal <= 1.3), %.2f of the fresh copy\n",
              verifyChanged, changed, changed / verifyChanged, changed / fresh);
}

// Section 6: sync into a file and, where a server can be started, through one.
void MeasureSyncBoth(const testsupport::TempDir& dir, long rows) {
  MeasureSync(dir, rows, "into a file", testsupport::NewFirebirdDatabase(dir, "synced.fdb"), "keyed.db");
  if (testsupport::FirebirdServer::Unavailable().empty()) {
    testsupport::FirebirdServer server;
    MeasureSync(dir, rows, "through a server", server.NewDatabase(dir, "synced-through.fdb"), "keyed-through.db");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 200000;
  testsupport::RegisterSqlServerDriver("sqlite");
  testsupport::TempDir dir;
  std::printf("building a source table of %ld rows...\n", rows);
  auto source = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE Bench (Id INTEGER, Qty SMALLINT, Price DOUBLE, Name VARCHAR(40), Code CHAR(8), "
            "Born DATE, Seen TIMESTAMP, Note VARCHAR(80))",
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " + std::to_string(rows) +
                ") INSERT INTO Bench SELECT x, x % 1000, x * 0.25, 'Name ' || x, 'C' || (x % 97), "
                "'2001-05-03', '2001-05-03 14:05:09', CASE WHEN x % 10 = 0 THEN NULL ELSE 'O''Brien ' || x END "
                "FROM n"});

  // A small run first, so that loading the drivers and the engine is not measured.
  {
    testsupport::HeadlessHost warm;
    warm.sql = testsupport::NewSqliteSource(
        dir, {"CREATE TABLE Warm (Id INTEGER, Name VARCHAR(40))",
              "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 2000) "
              "INSERT INTO Warm SELECT x, 'Name ' || x FROM n"},
        "warm.db");
    warm.fb = testsupport::NewFirebirdDatabase(dir, "warm.fdb");
    conversion::ConversionRun(warm).Run(warm.Options());
  }

  // TARNWICK_BENCH_SYNC_ONLY: bringing a keyed table up to date alone.
  if (std::getenv("TARNWICK_BENCH_SYNC_ONLY")) {
    MeasureSyncBoth(dir, rows);
    return 0;
  }

  // 1. The conversion run, preview off.
  testsupport::HeadlessHost host;
  host.answers = {conversion::kYes};
  host.sql = source;
  host.fb = testsupport::NewFirebirdDatabase(dir, "run.fdb");
  const long before = PeakKb();
  auto t0 = Clock::now();
  conversion::ConversionRun(host).Run(host.Options());
  const double run = Seconds(t0);
  const long peak = PeakKb();
  for (const auto& m : host.shown)
    if (m.rfind("ERROR: ", 0) == 0) std::fprintf(stderr, "%s\n", m.c_str());
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(host.fb));
    auto n = testsupport::Rows(c, "SELECT COUNT(*) FROM \"Bench\"")[0][0];
    if (std::stol(n) != rows) {
      std::fprintf(stderr, "the run copied %s rows of %ld\n", n.c_str(), rows);
      return 1;
    }
  }

  // TARNWICK_BENCH_RUN_ONLY: the run alone, for a profiler.
  if (std::getenv("TARNWICK_BENCH_RUN_ONLY")) {
    std::printf("the program: %.2f s, %.0f rows/s\n", run, rows / run);
    return 0;
  }
  // The program against its references, into the file and through a Firebird server.
  long readRows = 0;
  double firstRow = 0;
  const double reading = ReadingAlone(source, readRows, firstRow);
  const double writing = WritingAlone(source, testsupport::NewFirebirdDatabase(dir, "writing.fdb"), rows);
  std::string createTable;
  {
    ado::Connection ms;
    ms.Open(MSSQL::ConnectionString(source));
    ado::Recordset rs;
    rs.Open(conversion::SelectAllText("Bench"), ms);
    createTable = conversion::BuildCreateTable("Bench", rs, nullptr).createTable;
  }
  const double loopFile = PreparedLoop(source, testsupport::NewFirebirdDatabase(dir, "loop.fdb"), createTable);
  // Reading the copied table back from both databases and comparing every value.
  double verify = 0;
  {
    ado::Connection ms, fb;
    ms.Open(MSSQL::ConnectionString(source));
    fb.Open(FireBird::Target(host.fb));
    auto t = Clock::now();
    const conversion::TableVerdict v = conversion::VerifyTable(ms, fb, {"", "Bench"}, "Bench", "Bench", {}, {}, 0);
    verify = Seconds(t);
    if (!v.Identical()) std::fprintf(stderr, "verify: %s\n", v.Text().c_str());
  }
  std::printf("rows: %ld\n", rows);
  std::printf("into a file:\n");
  std::printf("  the program: %.2f s, %.0f rows/s, peak memory %ld kB (%ld kB before the run)\n", run, rows / run, peak, before);
  std::printf("  row-by-row prepared loop: %.0f rows/s; reading alone: %.0f rows/s; writing alone: %.0f rows/s\n",
              rows / loopFile, readRows / reading, rows / writing);
  std::printf("  ratio program/loop (speed): %.2f (goal >= 1.3)\n", loopFile / run);
  std::printf("  verify (both reads, every value compared, no key: ordered by every column): %.2f s, %.0f rows/s, "
              "%.2f of the copy's time (goal <= 1)\n", verify, rows / verify, verify / run);
  std::printf("  ratio program/slower of reading and writing alone (time): %.2f (goal <= 1.2)\n",
              run / std::max(reading, writing));
  std::printf("  the source's first row came after %.2f s (%.0f%% of reading alone), which no writing can overlap: "
              "that time plus writing alone is %.2f of the slower\n",
              firstRow, 100 * firstRow / reading, (firstRow + writing) / std::max(reading, writing));
  if (const std::string why = testsupport::FirebirdServer::Unavailable(); !why.empty()) {
    std::printf("through a server: not measured: %s\n", why.c_str());
  } else {
    testsupport::FirebirdServer server;
    double through = 0;
    if (!TimedRun(source, server.NewDatabase(dir, "through.fdb"), rows, through)) return 1;
    const long peakServer = PeakKb();
    const double loopServer = PreparedLoop(source, server.NewDatabase(dir, "loop-through.fdb"), createTable);
    const double writingServer = WritingAlone(source, server.NewDatabase(dir, "writing-through.fdb"), rows);
    std::printf("through a server (localhost, TCP):\n");
    std::printf("  the program: %.2f s, %.0f rows/s, peak memory %ld kB\n", through, rows / through, peakServer);
    std::printf("  row-by-row prepared loop: %.0f rows/s; writing alone: %.0f rows/s\n", rows / loopServer,
                rows / writingServer);
    std::printf("  ratio program/loop (speed): %.2f (goal >= 3)\n", loopServer / through);
  }
  // 6. Bringing a keyed table up to date.
  MeasureSyncBoth(dir, rows);
  // The older references hold every statement text in memory: measured on the smaller tables only.
  if (rows > 200000) return 0;

  // 1b. The run as it was before the prepared path: one literal statement a row.
  testsupport::HeadlessHost literalHost;
  literalHost.sql = source;
  literalHost.fb = testsupport::NewFirebirdDatabase(dir, "literal.fdb");
  auto t0b = Clock::now();
  {
    conversion::ConversionRun literalRun(literalHost);
    literalHost.preparedInserts = false;
    literalRun.Run(literalHost.Options());
  }
  const double literal = Seconds(t0b);

  // The same statement texts, for the two references.
  std::vector<std::string> statements;
  {
    ado::Connection ms;
    ms.Open(MSSQL::ConnectionString(source));
    ado::Recordset rs;
    rs.Open(conversion::SelectAllText("Bench"), ms);
    auto ddl = conversion::BuildCreateTable("Bench", rs, nullptr);
    statements.push_back(ddl.createTable);
    conversion::InsertBuilder b("Bench", ddl);
    for (; !rs.Eof(); rs.MoveNext()) statements.push_back(b.Build(rs));
  }

  // 2. isql-fb from a script file, the rows in one transaction.
  auto isqlDb = testsupport::NewFirebirdDatabase(dir, "isql.fdb");
  {
    std::ofstream script(dir.File("script.sql"));
    script << statements[0] << "\nCOMMIT;\n";
    for (size_t i = 1; i < statements.size(); ++i) script << statements[i] << "\n";
    script << "COMMIT;\n";
  }
  const std::string cmd = "isql-fb -q -bail -user SYSDBA -password masterkey -i " + dir.File("script.sql") + " " +
                          isqlDb.database + " > " + dir.File("isql.log") + " 2>&1";
  auto t1 = Clock::now();
  int rc = std::system(cmd.c_str());
  const double isql = Seconds(t1);
  if (rc != 0) std::fprintf(stderr, "isql-fb failed (%d), see %s\n", rc, dir.File("isql.log").c_str());

  // 3. One connection, one transaction, each text executed on its own.
  auto oneDb = testsupport::NewFirebirdDatabase(dir, "one.fdb");
  ISC_STATUS_ARRAY st;
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  std::string dpb = std::string(1, isc_dpb_version1) + char(isc_dpb_user_name) + char(6) + "SYSDBA" +
                    char(isc_dpb_password) + char(9) + "masterkey";
  isc_attach_database(st, 0, oneDb.database.c_str(), &db, static_cast<short>(dpb.size()), dpb.data());
  Check(st);
  auto t2 = Clock::now();
  isc_start_transaction(st, &tr, 1, &db, 0, nullptr);
  isc_dsql_execute_immediate(st, &db, &tr, 0, statements[0].c_str(), SQL_DIALECT_V6, nullptr);
  Check(st);
  isc_commit_transaction(st, &tr);
  isc_start_transaction(st, &tr, 1, &db, 0, nullptr);
  for (size_t i = 1; i < statements.size(); ++i) {
    isc_dsql_execute_immediate(st, &db, &tr, 0, statements[i].c_str(), SQL_DIALECT_V6, nullptr);
    Check(st);
  }
  isc_commit_transaction(st, &tr);
  const double single = Seconds(t2);
  isc_detach_database(st, &db);

  // 4. The row-by-row prepared loop into the file.
  const double prepared = PreparedLoop(source, testsupport::NewFirebirdDatabase(dir, "prepared.fdb"), statements[0]);

  // 5. Keys: the same rows under a primary key, a unique and a plain index, converted with and without
  // them, and the same key statements run on their own on the table copied without them.
  auto keyed = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE Keyed (Id INTEGER NOT NULL PRIMARY KEY, Qty SMALLINT, Name VARCHAR(40), Note VARCHAR(80))",
            "CREATE UNIQUE INDEX UX_Keyed_Name ON Keyed (Name)", "CREATE INDEX IX_Keyed_Qty ON Keyed (Qty)",
            "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < " + std::to_string(rows) +
                ") INSERT INTO Keyed SELECT x, x % 1000, 'Name ' || x, CASE WHEN x % 10 = 0 THEN NULL ELSE "
                "'O''Brien ' || x END FROM n"},
      "keyed.db");
  auto keyedRun = [&](bool copyKeys, const char* file) {
    testsupport::HeadlessHost h;
    h.sql = keyed;
    h.fb = testsupport::NewFirebirdDatabase(dir, file);
    h.copyKeys = copyKeys;
    auto t = Clock::now();
    conversion::ConversionRun(h).Run(h.Options());
    const double s = Seconds(t);
    if (!h.summary.empty() && h.summary.find("not carried over") != std::string::npos)
      std::fprintf(stderr, "%s\n", h.summary.c_str());
    return std::make_pair(s, h.fb);
  };
  const auto [withoutKeys, plainDb] = keyedRun(false, "keys-off.fdb");
  const auto [withKeys, keyedDb] = keyedRun(true, "keys-on.fdb");
  double keysAlone = 0;
  {
    ado::Connection fb;
    fb.Open(FireBird::ConnectionString(plainDb));
    auto t = Clock::now();
    for (const char* k : {"ALTER TABLE \"Keyed\" ALTER COLUMN \"Id\" SET NOT NULL",
                          "ALTER TABLE \"Keyed\" ADD CONSTRAINT \"PK_Keyed\" PRIMARY KEY (\"Id\")",
                          "CREATE UNIQUE INDEX \"UX_Keyed_Name\" ON \"Keyed\" (\"Name\")",
                          "CREATE INDEX \"IX_Keyed_Qty\" ON \"Keyed\" (\"Qty\")"}) {
      fb.Execute(k);
      fb.Flush();
    }
    keysAlone = Seconds(t);
  }
  {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(keyedDb));
    const auto n = testsupport::Rows(c, "SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$RELATION_NAME = 'Keyed'")[0][0];
    if (n != "3") std::fprintf(stderr, "the keyed run made %s indexes of 3\n", n.c_str());
  }

  std::printf("1. conversion run, preview off: %.2f s, %.0f rows/s, peak memory %ld kB (%ld kB before the run)\n",
              run, rows / run, peak, before);
  std::printf("2. isql-fb script, one transaction: %.2f s, %.0f rows/s\n", isql, rows / isql);
  std::printf("3. same texts, one connection, one transaction: %.2f s, %.0f rows/s\n", single, rows / single);
  std::printf("4. own loop, ODBC rows into one prepared INSERT, one transaction: %.2f s, %.0f rows/s\n", prepared,
              rows / prepared);
  std::printf("1b. conversion run with literal statements: %.2f s, %.0f rows/s\n", literal, rows / literal);
  std::printf("5. keyed table (primary key, unique and plain index): run without keys %.2f s, with keys %.2f s; "
              "the key statements alone on the copied table %.2f s\n",
              withoutKeys, withKeys, keysAlone);
  std::printf("ratio 1/2 (speed): %.2f\n", isql / run);
  std::printf("ratio 1/3 (speed): %.2f\n", single / run);
  std::printf("ratio 1/4 (speed): %.2f\n", prepared / run);
  std::printf("ratio 1b/2 (speed): %.2f\n", isql / literal);
  return 0;
}
