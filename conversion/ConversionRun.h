#pragma once
#include <atomic>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "connectivity/core/Ado.h"
#include "conversion/RunEvents.h"
#include "conversion/RunOptions.h"
#include "conversion/RunSummary.h"
#include "conversion/Session.h"

namespace conversion {

class Planner;
class Constraints;
class TableCopier;
struct TablePlan;

// True when some entry equals the text, both lower-cased.
bool ListContains(const std::vector<std::string>& list, const std::string& text);
// Removes every entry equal to the text without regard to case.
void ListRemove(std::vector<std::string>& list, const std::string& text);

// "Start Converting": copies every chosen table as the options say, telling `events` as it goes.
//
//   open -> plan (list, name, keys, count) -> for each table: decide, copy, its constraints
//        -> foreign keys, sequences, objects -> verify -> preview -> settle and close
//
// Each run has a Session of its own (connections, error policy, summary); what the last run found is
// read from here once it has ended.
class ConversionRun {
 public:
  explicit ConversionRun(RunEvents& events);
  ~ConversionRun();
  ConversionRun(const ConversionRun&) = delete;
  ConversionRun& operator=(const ConversionRun&) = delete;
  void Run(const RunOptions& options);
  bool Converting() const { return converting_; }
  // The last run was stopped before its end.
  bool Stopped() const { return stopped_; }
  // The last run's counts, shortenings and losses.
  const RunSummary& Summary() const { return session_->Summary(); }
  // The last run could not open one of the two databases.
  bool LoginFailed() const { return loginFailed_; }
  // The last run refused a cast rule before writing anything.
  bool CastRefused() const { return castRefused_; }
  // The last run lost a connection and ended before its last table.
  bool ConnectionLost() const { return lost_; }
  // A verified table of the last run differs from its source, or could not be compared.
  bool VerifyFoundDifferences() const { return Summary().VerifyFoundDifferences(); }
  // The last run could not turn the local file's forced writes on again: it did not end well.
  bool ForcedWritesLeftOff() const { return session_->ForcedWritesLeftOff(); }
  // Errors the last run reported through the trap.
  int Reported() const { return session_->Reported(); }
  // What the last run listed: the source tables it was to convert (by display name) and the tables
  // Firebird held; and the table it took up last. Read them once the run has ended.
  const std::vector<std::string>& SourceTables() const { return sourceTables_; }
  const std::vector<std::string>& TargetTables() const { return targetTables_; }
  const std::string& CurrentTable() const { return current_; }
  // The run's Firebird connection for a preview's "Execute SQL", while the run waits for the preview;
  // an empty lease at any other time.
  Session::Lease LendFirebird();
  // The connections the last run leaves (open where a preview kept them), for the caller to keep; the
  // run has fresh ones.
  std::unique_ptr<ado::Connection> TakeMssql();
  std::unique_ptr<ado::Connection> TakeFirebird();
  // Ends the statement either database is working on early (it fails); safe from any thread.
  void CancelSource();

 private:
  struct Phases;
  // Opens both databases; false (with the message shown) when one cannot be opened.
  bool Open(Session& s);
  // Lists, names and counts the tables and reads their keys.
  void Plan(Phases& p);
  // One table: what is done with it, its rows, its constraints and its own preview. False when the
  // table loop must end (a per-table preview left without "Skip Table").
  bool TakeTable(Phases& p, size_t i);
  // After the last table: foreign keys, CHECKs not carried, sequences, objects, verification, the
  // unused casts and the preview of the whole run.
  void Finish(Phases& p);
  // Names the table in progress and every table not reached (those before `current`) when a connection
  // was lost or the run was stopped.
  void NameUnfinished(Phases& p, size_t current, bool stopped);

  RunEvents& events_;
  std::mutex session_mutex_;  // held while the session is replaced, and by the calls from other threads
  std::unique_ptr<Session> session_;
  std::vector<std::string> sourceTables_, targetTables_;
  std::string current_;
  std::atomic<bool> converting_{false};
  bool stopped_ = false;
  bool loginFailed_ = false;
  bool castRefused_ = false;
  bool lost_ = false;
};

}  // namespace conversion
