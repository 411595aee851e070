#pragma once
#include <atomic>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "connectivity/core/Ado.h"
#include "connectivity/core/ErrorTrap.h"
#include "connectivity/firebird/FireBird.h"
#include "connectivity/firebird/FirebirdBackend.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/Casts.h"
#include "conversion/Keys.h"
#include "conversion/RunSummary.h"
#include "conversion/TableDdl.h"

namespace conversion {

class RowBatch;

// Message box answers.
constexpr int kYes = 6;
constexpr int kNo = 7;
// The first Overwrite? may also be answered "take up what is there" (as Resume does, for every table).
constexpr int kResume = 100;

// What "Start Converting" says before the reason when a database cannot be opened.
constexpr const char* kFirebirdCannotOpen = "Firebird or Interbase Login: Could not connect.";
constexpr const char* kSqlServerCannotOpen =
    "MS SQL Server Login: Could not connect. Please check with your administrator.";

// How a modal SQL Preview ended.
struct PreviewOutcome {
  bool SQLFormOK = false;  // "Execute SQL" carried every statement
  bool SQLTableOK = true;  // cleared only by "Skip Table / Do Not Execute SQL"
};

// What the run needs from the main window and its previews.
class RunHost {
 public:
  virtual ~RunHost() = default;
  virtual MSSQL::Login SqlServerLogin() = 0;
  virtual FireBird::Login FirebirdLogin() = 0;
  virtual bool PreviewOn() = 0;        // "Enable SQL Preview mode ..." ticked
  virtual bool PreviewPerFile() = 0;   // "Show SQL Preview For Each File"
  virtual bool PreviewPerTable() = 0;  // "Show SQL Preview For Each Table"
  virtual void SetHourglass(bool on) = 0;
  virtual void SetProgress(int value) = 0;
  virtual void SetProgressText(const std::string& text) = 0;
  virtual int AskYesNo(const std::string& text, const std::string& title) = 0;
  // "Overwrite?" for a table Firebird holds: kYes, kNo, or, where `first` and the host offers it, kResume.
  virtual int AskOverwrite(const std::string& text, bool /*first*/) { return AskYesNo(text, "Overwrite?"); }
  virtual void ShowMessage(const std::string& text) = 0;
  // What a run read, wrote, rejected, shortened or left out, shown after "Done." when it lost anything.
  virtual void ShowSummary(const std::string& text) = 0;
  virtual void ReportError(const std::string& text) = 0;
  virtual void ClearScript() = 0;
  virtual void AppendScript(const std::string& statement) = 0;
  virtual DatatypeSink& Datatypes() = 0;
  // The preview of what the run gathered; its "Execute SQL" runs on the run's FirebirdConnection() while
  // the run waits for the answer.
  virtual PreviewOutcome ShowPreviewModal() = 0;
  // Leaves out of the listed source tables those the run is not to convert (all are, by default);
  // `notes` gets what the summary should say about the choice (a chosen table that is gone).
  virtual void FilterTables(std::vector<std::string>& /*tables*/, std::vector<std::string>& /*notes*/) {}
  // Whether keys, indexes, identities, NOT NULL and defaults are carried over (the saved "CopyKeys").
  virtual bool CopyKeys() { return true; }
  // Which type rules make the Firebird types (the saved "TypeRules"), and the user's casts ("Casts").
  virtual TypeRules Rules() { return TypeRules::Firebird; }
  virtual std::vector<std::string> Casts() { return {}; }
  // True once the user (or a signal) asked the run to stop: it ends after the statement in progress,
  // with what succeeded committed. Asked before every row; may be called from any thread's run.
  virtual bool StopRequested() { return false; }
  // Whether every converted table is read back from both databases and compared (the saved "Verify").
  virtual bool Verify() { return false; }
  // Whether tables Firebird holds already are taken up again instead of asked about: a complete one
  // (verified identical) is skipped, one holding the first rows by its key goes on after the largest,
  // any other is replaced.
  virtual bool Resume() { return false; }
  // Rows of the current table done so far, of its total; called for every row.
  virtual void RowProgress(const std::string& /*table*/, long long /*done*/, long long /*total*/) {}
  // How far the whole run is: the table in progress (1-based) of all, and the rows read of all the rows
  // the run's tables hold (counted before the first table). Called as each table starts and for every row.
  virtual void RunProgress(int /*table*/, int /*tables*/, long long /*rowsDone*/, long long /*rowsTotal*/) {}
};

// True when some entry equals the text, both lower-cased.
bool ListContains(const std::vector<std::string>& list, const std::string& text);
// Removes every entry equal to the text without regard to case.
void ListRemove(std::vector<std::string>& list, const std::string& text);

// "Start Converting": copies every user table, as the main window's switches say.
class ConversionRun {
 public:
  explicit ConversionRun(RunHost& host);
  ~ConversionRun();
  ConversionRun(const ConversionRun&) = delete;
  ConversionRun& operator=(const ConversionRun&) = delete;
  // Rows executed at once go through a prepared INSERT (the default) or as literal statements.
  void UsePreparedInserts(bool on) { usePrepared_ = on; }
  // Rows per EXECUTE BLOCK; 0 (the default) chooses by the table's columns, 1 sends rows one by one.
  void SetBatchRows(size_t rows) { batchRows_ = rows; }
  void Run();
  bool Converting() const { return converting_; }
  // The last run was stopped (StopRequested) before its end.
  bool Stopped() const { return stopped_; }
  // The last run's counts, shortenings and losses.
  const RunSummary& Summary() const { return summary_; }
  // The last run could not open one of the two databases.
  bool LoginFailed() const { return loginFailed_; }
  // The last run refused a cast rule before writing anything.
  bool CastRefused() const { return castRefused_; }
  // The last run lost a connection and ended before its last table.
  bool ConnectionLost() const { return lost_; }
  // A verified table of the last run differs from its source, or could not be compared.
  bool VerifyFoundDifferences() const { return summary_.VerifyFoundDifferences(); }
  // The last run could not turn the local file's forced writes on again: it did not end well.
  bool ForcedWritesLeftOff() const { return forcedWritesOff_; }
  // Errors the last run reported through the trap.
  int Reported() const { return reported_; }
  // What the last run listed: the source tables it was to convert (by display name) and the tables
  // Firebird held; and the table it took up last. Read them once the run has ended.
  const std::vector<std::string>& SourceTables() const { return sourceTables_; }
  const std::vector<std::string>& TargetTables() const { return targetTables_; }
  const std::string& CurrentTable() const { return current_; }
  // The run's Firebird connection: a preview's "Execute SQL" uses it while the run waits for the preview.
  ado::Connection* FirebirdConnection();
  // The connections the last run leaves (open where a preview kept them), for the caller to keep; the
  // run has fresh ones.
  std::unique_ptr<ado::Connection> TakeMssql();
  std::unique_ptr<ado::Connection> TakeFirebird();
  // Ends the statement the source is working on early (it fails); safe from any thread.
  void CancelSource();

 private:
  class Stop {};
  class Halted {};  // the host asked the run to stop
  class Refused {};  // a cast rule that cannot be used: the run ends before writing anything
  // Parses the user's casts and has Firebird check each type; shows the first that fails.
  void CheckCasts(bool inFirebird);
  // False when the table loop must end (a per-table preview left without "Skip Table").
  bool ConvertTable(const std::string& tbl, const std::string& target);
  // `total` is the table's row count, read before its rows.
  // Returns the largest value written to the identity column (ordinal `identity`, -1 for none).
  // How a table Firebird holds already is taken up again.
  struct ResumePlan {
    enum Kind { Replace, Skip, Continue } kind = Replace;
    long long have = 0;                 // rows Firebird holds
    bool keysMissing = false;           // the table has no index yet (its keys were never made)
    std::optional<long long> identityMax;  // the identity's largest value in Firebird
    std::string sourceRest;             // Continue: " WHERE [k] > ... ORDER BY [k]"
    std::string keyText;                // Continue: where the copy goes on, for the summary
    std::string verdict;                // Skip: what comparing it found ("identical (N rows)")
    std::string replaceWhy;             // Replace: why the table could not be taken up, where it is told
  };
  ResumePlan PlanResume(const std::string& tbl, const std::string& target);
  // The source table's primary key columns (empty: none), from the keys read for the run or the catalogue.
  std::vector<std::string> KeyColumns(const std::string& tbl, int line);
  // Reads every table the run completed back from both databases and puts the verdicts in the summary.
  void VerifyTables(const std::vector<std::string>& sources, const std::vector<std::string>& targets);
  // Sends the rows gathered in the batch; a block Firebird refuses is replayed row by row. True when the
  // table cannot go on (as RejectRow says).
  bool SendBatch(RowBatch& batch, ado::PreparedStatement& single, std::optional<long long>& identityMax);
  // Counts a row as written and keeps the largest identity value.
  void Written(const std::optional<long long>& identity, std::optional<long long>& identityMax);
  std::optional<long long> ExportRows(const std::string& target, ado::Recordset& rs, const TableDdl& ddl,
                                      long long total, int identity);
  // Reads the keys of every table of the run; names them apart from what the target holds.
  void PlanKeys(const std::vector<std::string>& sources, const std::vector<std::string>& targets);
  // Drops the foreign keys of other tables that point at `target`, before it is replaced.
  void DropForeignKeysTo(const std::string& target);
  // Makes again the foreign keys dropped for `target`, now that it holds its rows and keys.
  void RemakeDroppedKeys(const std::string& target);
  // At the run's end: the dropped keys not made yet are made where their table holds its rows, and named
  // with their statements everywhere else.
  void SettleDroppedKeys();
  // Routes key statements; a refused one is named in the summary.
  void RouteKeys(const std::vector<std::string>& statements, int line);
  // Foreign keys whose tables are both done (all remaining ones with `everyRemaining`).
  void GiveForeignKeys(bool everyRemaining);
  // Appends the statement to the preview, or executes it; false when Firebird rejected it.
  bool Route(const std::string& statement, int line);
  // A row that could not be built or was rejected: the table's first one is reported, all are counted.
  // True when the table cannot go on (its database file cannot be written).
  bool RejectRow(long long row, const std::exception& e, int line, const std::string& key = {});
  // The row's key as verification looks it up (RowKeyText), when the run keeps the keys of its rejected
  // rows; else empty.
  std::string RowKey(const std::vector<ado::Value>& values) const;
  std::vector<size_t> keyOrdinals_;  // the current table's key columns among its source columns
  // Rows undone by a commit that failed are counted as rejected.
  void CountLost(const ado::DbError& e, long long ownRowsAmongThem = 0);
  // Forced writes on again, once the rows are written (or the run ends); empty, or what failed.
  std::string SyncedWritesAgain();
  void NoteForcedWritesOff(const std::string& failed);
  // Makes pending Firebird work durable; a failed commit is counted and reported.
  void BeforeWait();
  // Runs one numbered statement through the trap; throws Stop when the Firebird connection is gone.
  template <class F>
  bool Step(int line, F&& f);
  // A step on the source: a lost SQL Server connection ends the run as a lost Firebird one does.
  template <class F>
  bool SourceStep(int line, F&& f);
  // Names the table in progress as holding only part of its rows, and why.
  void NoteIncomplete(const std::string& why);
  // The source table a display name stands for, and the display name of a source table.
  const MSSQL::TableRef& Ref(const std::string& display) const;
  std::string Display(const MSSQL::TableRef& table) const;
  // Reads the source's CHECK constraints, for the key plan.
  std::map<std::string, std::vector<MSSQL::CheckInfo>> ReadChecks();
  // How many of the `breaking` rows break the condition only in letter case: "" when none do (or the
  // table has no text to compare), else the words the summary adds.
  std::string CaseOnly(const std::string& target, const std::string& condition, long long breaking);
  // Adds the table's CHECK constraints that translate and that its rows keep; names the others.
  void GiveChecks(const TableKeys& keys);
  // Makes the source's sequences in Firebird, continuing where they stand.
  void GiveSequences();
  // Names what the source holds besides tables: views, procedures, functions, triggers, ...
  void NameObjects();
  // Names the table in progress and every table not reached when a connection was lost (or, with
  // `stopped`, when the run was stopped).
  void NameUnfinished(const std::vector<std::string>& sources, const std::vector<std::string>& targets, size_t current,
                      bool stopped = false);

  // While one lives, Stop (CancelSource) cancels Firebird's request under way too.
  class FirebirdWork {
   public:
    explicit FirebirdWork(ConversionRun& run);
    ~FirebirdWork();
    FirebirdWork(const FirebirdWork&) = delete;
    FirebirdWork& operator=(const FirebirdWork&) = delete;

   private:
    ConversionRun& run_;
  };
  bool firebirdCancellable_ = false;  // under connections_

  // Replaces both working connections with fresh, closed ones.
  void NewConnections();
  ado::Connection& Mssql() { return *mssql_; }
  ado::Connection& Firebird() { return *firebird_; }

  RunHost& host_;
  std::unique_ptr<ado::Connection> mssql_, firebird_;
  std::mutex connections_;  // held while the connections are replaced or taken, and while Stop cancels
  std::vector<std::string> sourceTables_, targetTables_;
  std::string current_;
  bool localTarget_ = false;  // the target is a file of the embedded engine
  trap::ErrorTrap trap_;
  bool stopping_ = false;  // the step that failed lost the Firebird connection
  std::atomic<bool> converting_{false};
  bool stopped_ = false;
  bool loginFailed_ = false;
  bool castRefused_ = false;
  bool lost_ = false;
  bool forcedWritesOff_ = false;  // turned off for the run and not on again
  // Forced writes off on a local target file from the run's first row to its last (see UnsyncedWrites).
  std::optional<ado::UnsyncedWrites> unsynced_;
  bool tableIncomplete_ = false;  // the table's rows could not all be copied
  std::string incompleteWhy_;     // and why
  long long tableTotal_ = 0;      // rows the table in progress holds in the source
  TypeRules rules_ = TypeRules::Firebird;
  CastRules casts_;
  bool usePrepared_ = true;
  bool firebirdGone_ = false;  // a row found the Firebird connection lost (and said so)
  size_t batchRows_ = 0;
  long long rowOffset_ = 0;
  bool askedOverwrite_ = false;  // the run asked its first Overwrite?
  bool resumeChosen_ = false;    // ... and it was answered kResume
  std::set<std::string> verified_;  // tables (lower-cased) the run compared already, when it skipped them  // rows of the table in Firebird before this run (a resumed table)
  int reported_ = 0;
  RunSummary summary_;
  TableReport* table_ = nullptr;  // the table being converted
  std::string lastError_;         // what the last failed step reported
  bool copyKeys_ = false;
  KeyPlan keys_;
  std::set<std::string> done_;    // lower-cased source names of the tables created and filled
  std::vector<std::string> converted_;  // target names of those tables
  // Foreign keys of other tables dropped to replace a table of the run, until they are made again.
  struct DroppedKey {
    std::string table, name, target, statement;  // the referring table, the key, the table replaced
  };
  std::vector<DroppedKey> dropped_;
  std::set<std::string> completed_;  // lower-cased Firebird names of the tables that hold all their rows
  std::vector<std::string> givenHere_;  // foreign keys put into the current table's own preview
  std::set<std::string> remade_;       // lower-cased names of the foreign keys made again
  std::map<std::string, MSSQL::TableRef> refs_;  // display name: the source table
  std::map<std::pair<std::string, std::string>, std::string> displayOf_;  // schema and name: display name
  std::map<std::string, long long> counted_;     // display name: its rows, counted before the first table
  int tableNumber_ = 0, tableCount_ = 0;          // for the whole run's progress
  long long runDone_ = 0, runTotal_ = 0;
};

}  // namespace conversion
