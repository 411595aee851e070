#pragma once
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "connectivity/core/Ado.h"
#include "connectivity/core/ErrorTrap.h"
#include "connectivity/firebird/FirebirdBackend.h"
#include "conversion/RunEvents.h"
#include "conversion/RunOptions.h"
#include "conversion/RunSummary.h"

namespace conversion {

// The numbers the "Application Error" message gives for the run's steps ("at line 136").
namespace line {
constexpr int kOpen = 100;            // the connections are made new
constexpr int kListSource = 108;
constexpr int kListTarget = 110;
constexpr int kOpenTarget = 112;
constexpr int kOpenSource = 114;
constexpr int kNewScript = 116;
constexpr int kReadChecks = 117;
constexpr int kReadKeys = 118;
constexpr int kTableScript = 122;     // a per-table preview starts its list
constexpr int kDropTable = 124;
constexpr int kDropForeignKeys = 125;  // other tables' foreign keys to a table replaced
constexpr int kTakeUp = 126;          // what Firebird holds of a table taken up again
constexpr int kReadCatalogue = 129;
constexpr int kOpenRows = 130;
constexpr int kCreateDdl = 132;
constexpr int kCreateTable = 134;
constexpr int kBuildRow = 136;
constexpr int kKeys = 137;            // keys, indexes, CHECKs, foreign keys made again
constexpr int kWriteRow = 138;        // a row, or the commit of what was written
constexpr int kReadRow = 140;
constexpr int kTablePreview = 142;
constexpr int kSequences = 143;
constexpr int kRunFailed = 144;
constexpr int kForeignKeys = 145;
constexpr int kFilePreview = 146;
constexpr int kObjects = 147;
constexpr int kCloseAfterPreview = 148;
constexpr int kCloseSource = 150;
constexpr int kCloseTarget = 152;
constexpr int kVerify = 160;
constexpr int kSync = 162;            // a table brought up to date
constexpr int kViews = 164;           // the views, after the tables
}  // namespace line

// The run ends early: a connection is gone (Lost), the user asked it to stop (Halted), or a cast rule
// cannot be used and nothing was written (Refused).
struct Lost {};
struct Halted {};
struct Refused {};

// What one run holds for all its phases: the options and events, the two connections, the error
// policy, the summary, the forced-writes guard and where statements go.
class Session {
 public:
  Session(RunOptions options, RunEvents& events);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  const RunOptions& Options() const { return options_; }
  RunEvents& Events() { return events_; }
  RunSummary& Summary() { return summary_; }
  bool StopRequested() const { return options_.StopRequested(); }
  // Statements are executed at once (not gathered in the preview): Firebird can be asked what it holds.
  bool Executing() const { return !options_.PreviewOn(); }
  bool LocalTarget() const { return localTarget_; }

  // --- connections
  ado::Connection& Source() { return *mssql_; }
  ado::Connection& Firebird() { return *firebird_; }
  // Replaces both connections with fresh, closed ones.
  void NewConnections();
  // Opens both; a cast rule Firebird refuses ends the run (Refused) before anything is written.
  void OpenTarget();
  void OpenSource();
  void CloseBoth();
  // Ends the statement the source is working on early (it fails), and Firebird's where a FirebirdWork
  // lives; safe from any thread.
  void Cancel();
  // While one lives, Cancel cuts Firebird's request under way short too: building keys and indexes,
  // counting rows against a CHECK, sorting for verification. Never while rows are written, where a
  // cancelled block would lose its rows.
  class FirebirdWork {
   public:
    explicit FirebirdWork(Session& session);
    ~FirebirdWork();
    FirebirdWork(const FirebirdWork&) = delete;
    FirebirdWork& operator=(const FirebirdWork&) = delete;

   private:
    Session& session_;
  };
  // The Firebird connection lent to a preview's "Execute SQL". It is there only while the run waits for
  // the preview (ShowPreview); empty at any other time.
  class Lease {
   public:
    Lease() = default;
    // A connection that is not the run's (the window's own, after a run): lent without a lock.
    explicit Lease(ado::Connection* connection) : connection_(connection) {}
    ado::Connection* get() const { return connection_; }
    explicit operator bool() const { return connection_ != nullptr; }
    ado::Connection* operator->() const { return connection_; }

   private:
    friend class Session;
    std::unique_lock<std::mutex> lock_;
    ado::Connection* connection_ = nullptr;
  };
  Lease LendFirebird();
  // Shows the preview, lending the Firebird connection while it is open.
  PreviewOutcome ShowPreview();
  std::unique_ptr<ado::Connection> TakeMssql();
  std::unique_ptr<ado::Connection> TakeFirebird();

  // --- the error policy
  // Runs one numbered statement through the trap: a failure is reported and the run goes on (false).
  // Throws Lost when the Firebird connection is gone, Halted when Stop cancelled Firebird's work.
  template <class F>
  bool Step(int at, F&& f);
  // A step on the source: a lost SQL Server connection ends the run as a lost Firebird one does.
  template <class F>
  bool SourceStep(int at, F&& f);
  // Reports an error the run found itself.
  void Report(const std::string& what, int at) { trap_.Report(what, at); }
  // What the last failed step reported.
  const std::string& LastError() const { return lastError_; }
  void SetLastError(std::string what) { lastError_ = std::move(what); }
  int Reported() const { return reported_; }
  // The table whose rows are written now: a commit that fails counts its undone rows there.
  void SetTable(TableReport* table, long long total = 0) {
    table_ = table;
    tableTotal_ = total;
  }
  TableReport* Table() const { return table_; }
  // A row that could not be built or was rejected: the table's first one is reported, all are counted.
  // True when the table cannot go on (its database file cannot be written; `why` says so). Throws Lost
  // when the Firebird connection went with the row.
  bool RejectRow(long long row, const std::exception& e, int at, const std::string& key, std::string& why);
  // Rows undone by a commit that failed are counted as rejected.
  void CountLost(const ado::DbError& e, long long ownRowsAmongThem = 0);
  // Makes pending Firebird work durable before the user is asked anything or a table ends; a failed
  // commit is counted and reported.
  void BeforeWait();

  // --- where statements go, chosen once for the run
  // Executes the statement, or appends it to the preview; false when Firebird refused it (reported).
  bool Emit(const std::string& statement, int at);
  // A row's literal INSERT: executed (a failure throws, for RejectRow) or appended to the preview.
  void EmitRow(const std::string& statement);
  // Statements given to the preview's script so far.
  long long Scripted() const { return scripted_; }

  // --- progress
  void Text(const std::string& text);
  // Rows counted before the first table, and those of a table with nothing to copy taken off again.
  void CountRows(long long rows) { runTotal_ += rows; }
  void Uncount(long long rows) { runTotal_ -= rows; }
  // A table starts: the whole run's progress; `rowsDone` are the table's rows in Firebird already.
  void TableStarts(int tables);
  void RowsThere(long long rows) { runDone_ += rows; }
  // A row of `table` was read: `done` of `total`.
  void RowRead(const std::string& table, long long done, long long total);
  void RunProgressNow();
  // How far the whole run is, in an event of this kind.
  RunProgress RunSoFar(RunProgress::Kind kind) const;

  // --- forced writes
  // Rows executed at once into a local file go without a disk wait for every page, from the first row
  // written to the last; the file is synced then (WritesDone), or at the next start after a crash.
  void WritingRows();
  // The last row is written: forced writes are on again; a failure is named, and the run did not end well.
  void WritesDone();
  bool ForcedWritesLeftOff() const { return forcedWritesOff_; }

 private:
  const RunOptions options_;
  RunEvents& events_;
  std::unique_ptr<ado::Connection> mssql_, firebird_;
  std::mutex connections_;  // held while the connections are replaced or taken, and while Cancel cancels
  std::mutex lent_;         // held by a lease; the run takes it back before it goes on
  bool firebirdCancellable_ = false;  // under connections_
  bool lendable_ = false;             // under lent_: the run waits for a preview
  bool localTarget_ = false;
  trap::ErrorTrap trap_;
  bool stopping_ = false;     // the step that failed lost the Firebird connection
  bool firebirdGone_ = false;  // a row found the Firebird connection lost (and said so)
  std::string lastError_;
  long long scripted_ = 0;
  int reported_ = 0;
  RunSummary summary_;
  TableReport* table_ = nullptr;
  long long tableTotal_ = 0;
  std::optional<ado::UnsyncedWrites> unsynced_;
  int tableNumber_ = 0, tableCount_ = 0;
  long long runDone_ = 0, runTotal_ = 0;
  int percent_ = -1;  // the table's bar as last shown
  bool forcedWritesOff_ = false;
};

template <class F>
bool Session::Step(int at, F&& f) {
  stopping_ = false;
  auto step = [&] {
    try {
      f();
    } catch (const ado::DbError& e) {
      // Firebird's work cut short by Stop ends the run as Stop does, without an error message.
      constexpr long kCancelled = 335544794;  // isc_cancelled
      if (e.Code() == kCancelled && StopRequested()) throw Halted{};
      throw;
    }
  };
  if (trap_.Step(at, step)) return true;
  // A Firebird connection that is gone is reported once; the run then winds up.
  if (stopping_) throw Lost{};
  return false;
}

template <class F>
bool Session::SourceStep(int at, F&& f) {
  bool lost = false;
  const bool ok = Step(at, [&] {
    try {
      f();
    } catch (const ado::DbError& e) {
      // A statement Stop cancelled ends the run as Stop does, without an error message.
      if (StopRequested()) throw Halted{};
      lost = e.ConnectionLost();
      throw;
    }
  });
  if (!ok && lost) throw Lost{};
  return ok;
}

}  // namespace conversion
