#include "conversion/Session.h"

#include <algorithm>

#include "connectivity/core/ConnString.h"
#include "conversion/Names.h"

namespace conversion {

namespace {
const char* const kWhere = "Form1.PushButton7_Click";
}

Session::Session(RunOptions options, RunEvents& events)
    : options_(std::move(options)),
      events_(events),
      mssql_(std::make_unique<ado::Connection>()),
      firebird_(std::make_unique<ado::Connection>()),
      trap_(kWhere, [this](const std::string& text) {
        ++reported_;
        events_.Tell(MessageKind::Error, text);
      }) {
  // Whatever succeeded is made durable before a message waits on the user.
  trap_.BeforeReport([this] { BeforeWait(); });
  trap_.OnError([this](const std::exception& e) {
    lastError_ = e.what();
    if (const auto* db = dynamic_cast<const ado::DbError*>(&e)) {
      CountLost(*db);
      stopping_ = db->ConnectionLost() && Executing();
    }
  });
  summary_.SetPreview(options_.PreviewOn());
  localTarget_ = ado::IsLocalDatabase(options_.target.database);
}

void Session::NewConnections() {
  auto ms = std::make_unique<ado::Connection>();
  auto fb = std::make_unique<ado::Connection>();
  std::lock_guard<std::mutex> lent(lent_);
  std::lock_guard<std::mutex> lock(connections_);
  mssql_ = std::move(ms);
  firebird_ = std::move(fb);
}

void Session::OpenTarget() {
  ado::Connection& fb = Firebird();
  fb.ConnectionTimeout = 5000;
  fb.Open(FireBird::Target(options_.target));
}

void Session::OpenSource() {
  ado::Connection& ms = Source();
  ms.CommandTimeout = 5000;
  ms.ConnectionTimeout = 5000;
  MSSQL::Open(ms, options_.source);
}

void Session::CloseBoth() {
  Step(line::kCloseSource, [&] { Source().Close(); });
  Step(line::kCloseTarget, [&] { Firebird().Close(); });
}

void Session::Cancel() {
  std::lock_guard<std::mutex> lock(connections_);
  if (mssql_) mssql_->Cancel();
  if (firebirdCancellable_ && firebird_) firebird_->Cancel();
}

Session::FirebirdWork::FirebirdWork(Session& session) : session_(session) {
  std::lock_guard<std::mutex> lock(session_.connections_);
  session_.firebirdCancellable_ = true;
}

Session::FirebirdWork::~FirebirdWork() {
  std::lock_guard<std::mutex> lock(session_.connections_);
  session_.firebirdCancellable_ = false;
  // A cancel that came when nothing ran would end the next statement.
  if (session_.firebird_) session_.firebird_->ClearCancel();
}

Session::Lease Session::LendFirebird() {
  Lease lease;
  lease.lock_ = std::unique_lock<std::mutex>(lent_);
  if (!lendable_) return Lease();
  lease.connection_ = firebird_.get();
  return lease;
}

PreviewOutcome Session::ShowPreview() {
  BeforeWait();
  {
    std::lock_guard<std::mutex> lock(lent_);
    lendable_ = true;
  }
  struct TakeBack {
    Session& s;
    ~TakeBack() {
      // A lease still out is waited for: the run goes on with its connection only once it is back.
      std::lock_guard<std::mutex> lock(s.lent_);
      s.lendable_ = false;
    }
  } takeBack{*this};
  return events_.ShowPreview();
}

std::unique_ptr<ado::Connection> Session::TakeMssql() {
  std::lock_guard<std::mutex> lock(connections_);
  auto taken = std::move(mssql_);
  mssql_ = std::make_unique<ado::Connection>();
  return taken;
}

std::unique_ptr<ado::Connection> Session::TakeFirebird() {
  std::lock_guard<std::mutex> lent(lent_);
  std::lock_guard<std::mutex> lock(connections_);
  auto taken = std::move(firebird_);
  firebird_ = std::make_unique<ado::Connection>();
  return taken;
}

void Session::CountLost(const ado::DbError& e, long long ownRowsAmongThem) {
  if (e.LostStatements() <= 0) return;
  const std::string what = std::to_string(e.LostStatements()) +
                           " statements that had succeeded were undone when the commit failed: " + FirstLine(e.what());
  if (!table_) return summary_.Note(what);
  // The undone statements were this table's rows (each table is committed before the next starts).
  // Rows whose statements succeeded before the commit failed, not yet counted as written, are counted
  // by the caller.
  const long long rows = std::min(e.LostStatements() - ownRowsAmongThem, table_->written);
  table_->written -= rows;
  if (e.ConnectionLost()) {
    // Undone with the connection, not refused for their values: they are not in Firebird, and the table
    // is named incomplete.
    table_->notes.push_back(std::to_string(rows) +
                            " rows written since the last commit were undone when the connection was lost: " +
                            FirstLine(e.what()));
    return;
  }
  table_->rejected += rows;
  table_->notes.push_back(what);
}

void Session::BeforeWait() {
  try {
    Firebird().Flush();
  } catch (const std::exception& e) {
    const auto* db = dynamic_cast<const ado::DbError*>(&e);
    if (db) CountLost(*db);
    // A connection already known to be gone has its one message; what the commit undid is counted.
    if (db && db->ConnectionLost() && firebirdGone_) return;
    trap_.Report(e.what(), line::kWriteRow);
  }
}

bool Session::RejectRow(long long row, const std::exception& e, int at, const std::string& key, std::string& why) {
  const auto* db = dynamic_cast<const ado::DbError*>(&e);
  if (db) CountLost(*db, 1);
  const bool lost = db && db->ConnectionLost() && Executing();
  // The database file could not be written (a full disk): every further row would fail the same way.
  constexpr long kIoError = 335544344;  // isc_io_error
  if (db && db->Code() == kIoError && Executing()) {
    const long long left = std::max(tableTotal_ - row + 1, 1LL);
    table_->rejected += left;
    why = "Firebird could not write its database (" + FirstLine(e.what()) + "): the table stopped at row " +
          std::to_string(row) + ", and its " + std::to_string(left) + " rows from there are counted as rejected";
    trap_.Report(e.what(), at);
    return true;
  }
  if (lost) {
    // The row was not refused: the connection went, and the run ends with it.
    lastError_ = e.what();
    firebirdGone_ = true;
    trap_.Report(e.what(), at);
    throw Lost{};
  }
  const bool first = table_->rejected == 0;
  summary_.Reject(*table_, row, e.what(), key);
  // Further rejected rows of the table go to the summary, not to a message each.
  if (first) trap_.Report(e.what(), at);
  return false;
}

bool Session::Emit(const std::string& statement, int at) {
  if (!Executing()) {
    events_.ScriptStatement(statement);
    ++scripted_;
    return true;
  }
  return Step(at, [&] { Firebird().Execute(statement); });
}

void Session::EmitRow(const std::string& statement) {
  if (Executing()) {
    Firebird().Execute(statement);
    return;
  }
  events_.ScriptStatement(statement);
  ++scripted_;
}

void Session::Text(const std::string& text) {
  RunProgress p;
  p.kind = RunProgress::Kind::Text;
  p.text = text;
  events_.Progress(p);
}

void Session::TableStarts(int tables) {
  ++tableNumber_;
  tableCount_ = tables;
  percent_ = -1;
  RunProgressNow();
}

RunProgress Session::RunSoFar(RunProgress::Kind kind) const {
  RunProgress p;
  p.kind = kind;
  p.tableNumber = tableNumber_;
  p.tables = tableCount_;
  p.runRows = runDone_;
  p.runRowsTotal = std::max(runTotal_, runDone_);
  return p;
}

void Session::RunProgressNow() { events_.Progress(RunSoFar(RunProgress::Kind::Table)); }

void Session::RowRead(const std::string& table, long long done, long long total) {
  ++runDone_;
  RunProgress p = RunSoFar(RunProgress::Kind::Row);
  p.table = table;
  p.rows = done;
  p.rowsTotal = total;
  const int percent = static_cast<int>(std::min<long long>((done + 1) * 100 / (total + 1), 100));
  if (percent != percent_) p.percent = percent_ = percent;
  events_.Progress(p);
}

void Session::WritingRows() {
  if (Executing() && !unsynced_) unsynced_.emplace(FireBird::Target(options_.target));
}

void Session::WritesDone() {
  if (!unsynced_) return;
  const std::string failed = unsynced_->Restore();
  unsynced_.reset();
  if (failed.empty()) return;
  forcedWritesOff_ = true;
  summary_.Note("Firebird's forced writes could not be turned on again for the database (" + FirstLine(failed) +
                "): what was committed may not be on the disk yet; the next start of the program tries again, "
                "and \"gfix -write sync\" on the file turns them on.");
}

}  // namespace conversion
