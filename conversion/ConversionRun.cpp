#include "conversion/ConversionRun.h"

#include "connectivity/core/ConnString.h"

#include <algorithm>

#include "connectivity/firebird/FireBird.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/Casts.h"
#include "conversion/Constraints.h"
#include "conversion/Planner.h"
#include "conversion/ReplacedKeys.h"
#include "conversion/TableCopier.h"
#include "conversion/TableSync.h"
#include "conversion/Verification.h"
#include "conversion/Views.h"

namespace conversion {

bool ListContains(const std::vector<std::string>& list, const std::string& text) {
  const std::string want = ado::ToLower(text);
  for (const auto& e : list)
    if (ado::ToLower(e) == want) return true;
  return false;
}

void ListRemove(std::vector<std::string>& list, const std::string& text) {
  const std::string want = ado::ToLower(text);
  std::erase_if(list, [&](const std::string& e) { return ado::ToLower(e) == want; });
}

// The phases of one run, over its session.
struct ConversionRun::Phases {
  Phases(Session& session, const CastRules& casts)
      : s(session), planner(session, casts), replaced(session), constraints(session, planner, replaced),
        copier(session, planner, replaced), sync(session, planner), casts(casts) {}
  Session& s;
  Planner planner;
  ReplacedKeys replaced;
  Constraints constraints;
  TableCopier copier;
  TableSync sync;
  const CastRules& casts;
  std::set<std::string> verified;  // tables (lower-cased) compared already, when they were skipped as whole
  bool open = false;               // the connections are to be closed at the end
};

ConversionRun::ConversionRun(RunEvents& events)
    : events_(events), session_(std::make_unique<Session>(RunOptions{}, events)) {}

ConversionRun::~ConversionRun() = default;

void ConversionRun::CancelSource() {
  std::lock_guard<std::mutex> lock(session_mutex_);
  session_->Cancel();
}

Session::Lease ConversionRun::LendFirebird() {
  std::lock_guard<std::mutex> lock(session_mutex_);
  return session_->LendFirebird();
}

std::unique_ptr<ado::Connection> ConversionRun::TakeMssql() {
  std::lock_guard<std::mutex> lock(session_mutex_);
  return session_->TakeMssql();
}

std::unique_ptr<ado::Connection> ConversionRun::TakeFirebird() {
  std::lock_guard<std::mutex> lock(session_mutex_);
  return session_->TakeFirebird();
}

bool ConversionRun::Open(Session& s) {
  const RunOptions& o = s.Options();
  s.Step(line::kOpen, [&] { s.NewConnections(); });
  // A database that cannot be opened is named, with what "Test Connection" says and the reason.
  std::string why;
  if (!FireBird::CanOpenFirebird(o.target, &why)) {
    events_.Tell(MessageKind::Info, std::string(kFirebirdCannotOpen) + "\r\r" + why);
    loginFailed_ = true;
    return false;
  }
  if (!MSSQL::CanOpenSqlServer(o.source, &why)) {
    events_.Tell(MessageKind::Info, std::string(kSqlServerCannotOpen) + "\r\r" + why);
    loginFailed_ = true;
    return false;
  }
  RunProgress began;
  began.kind = RunProgress::Kind::Began;
  events_.Progress(began);
  return true;
}

void ConversionRun::Plan(Phases& p) {
  Session& s = p.s;
  p.planner.ListTables();
  sourceTables_ = p.planner.SourceNames();
  targetTables_ = p.planner.TargetTables();
  s.Step(line::kOpenTarget, [&] { s.OpenTarget(); });
  // Every cast names a type Firebird takes, asked of the engine itself before anything is created.
  for (const CastRule& rule : p.casts.Rules()) {
    try {
      s.Firebird().Active().Query("SELECT CAST(NULL AS " + rule.target.firebirdType + ") FROM RDB$DATABASE");
    } catch (const ado::DbError& e) {
      if (e.ConnectionLost()) throw;
      castRefused_ = true;
      events_.Tell(MessageKind::Info, "The cast rule \"" + rule.text + "\": Firebird refuses the type " +
                                          rule.target.firebirdType + ": " + FirstLine(e.what()));
      throw Refused{};
    }
  }
  p.open = true;
  s.Step(line::kOpenSource, [&] { s.OpenSource(); });
  s.Step(line::kNewScript, [&] { events_.NewScript(); });
  if (s.Options().copyKeys) {
    try {
      p.planner.ReadKeys();
    } catch (const Lost&) {
      NameUnfinished(p, p.planner.Tables().size(), false);
      throw;
    } catch (const Halted&) {
      NameUnfinished(p, p.planner.Tables().size(), true);
      throw;
    }
  }
  p.planner.CountRows();
  if (s.Options().Syncing()) p.planner.OrderParentsFirst();
}

bool ConversionRun::TakeTable(Phases& p, size_t i) {
  Session& s = p.s;
  RunSummary& summary = s.Summary();
  const RunOptions& o = s.Options();
  p.planner.Decide(p.planner.Tables()[i]);
  if (p.planner.SyncChosenNow()) {
    // Every table from here on is brought up to date: the ones not taken yet, this one with them, go
    // parents first.
    p.planner.OrderParentsFirst(i + 1);
    current_ = p.planner.Tables()[i].source;
    p.planner.Decide(p.planner.Tables()[i]);
  }
  TablePlan& plan = p.planner.Tables()[i];
  if (plan.disposition == Disposition::Leave) {
    // A table left as it is has no rows to copy.
    if (plan.rows) s.Uncount(*plan.rows);
    s.RunProgressNow();
    if (!plan.differs.empty()) {
      summary.Table(plan.source, plan.target).notes.push_back("not brought up to date: " + plan.differs + "; it was left as it is");
      summary.NotInSync();
    }
    return true;
  }
  if (plan.disposition == Disposition::Sync) {
    p.sync.Sync(plan);
    if (plan.synced.compared) {
      p.constraints.Done(plan.source);
      plan.complete = true;
    }
    s.BeforeWait();
    return true;
  }
  if (plan.disposition == Disposition::Skip) {
    TableReport& report = summary.Table(plan.source, plan.target);
    s.SetTable(&report);
    report.notes.push_back("already complete: " + std::to_string(plan.takeUp.have) +
                           " rows, verified identical; not copied again");
    p.constraints.Done(plan.source);
    plan.complete = true;
    if (o.verify) {
      summary.Verified(plan.source, plan.takeUp.verdict, {}, true);
      p.verified.insert(ado::ToLower(plan.source));
    }
    if (plan.rows) s.Uncount(*plan.rows);
    if (plan.takeUp.keysMissing) p.constraints.AfterTable(plan, plan.takeUp.identityMax, false);
    s.SetTable(nullptr);
    return true;
  }
  if (o.PreviewPerTable()) s.Step(line::kTableScript, [&] { events_.NewScript(); });
  const TableOutcome outcome = p.copier.Copy(plan);
  if (outcome.created && outcome.complete) {
    p.constraints.Done(plan.source);
    plan.complete = true;
    // A table taken up again that holds its keys already keeps them.
    if (plan.disposition != Disposition::Continue || plan.takeUp.keysMissing)
      p.constraints.AfterTable(plan, outcome.identityMax, true);
  }
  // A finished table is made durable before the next one starts.
  s.BeforeWait();
  if (o.PreviewPerTable()) {
    PreviewOutcome shown;
    s.Step(line::kTablePreview, [&] { shown = s.ShowPreview(); });
    // Only "Skip Table / Do Not Execute SQL" goes on with the next table.
    if (shown.SQLTableOK) return false;
    if (!shown.SQLFormOK) {
      // The skipped table was not made: no later preview gets a foreign key to it, and the ones its own
      // preview held are named.
      p.constraints.Undone(plan.source);
      for (const auto& fk : p.constraints.GivenHere())
        summary.KeyLeftOut("not made (the preview of \"" + plan.target + "\" was skipped): " + fk);
    }
  }
  return true;
}

void ConversionRun::Finish(Phases& p) {
  Session& s = p.s;
  const RunOptions& o = s.Options();
  // Foreign keys come once every table of the run holds its rows; a per-table preview has given
  // each with the later of its two tables, and the rest are named.
  if (o.copyKeys) p.constraints.ForeignKeys(true);
  else p.constraints.NameChecks();
  // With a preview for each table, what comes after the last one has a preview of its own.
  const bool ownPreview = o.PreviewPerTable() && s.Step(line::kTableScript, [&] { events_.NewScript(); });
  const long long scripted = s.Scripted();
  p.constraints.Sequences();
  if (o.copyKeys) p.constraints.SequenceDefaults();
  Views(s, p.planner, p.replaced).Make();
  if (ownPreview && s.Scripted() > scripted) s.Step(line::kTablePreview, [&] { s.ShowPreview(); });
  p.constraints.NameObjects();
  if (o.verify && s.Executing() && VerifyTables(s, p.planner, p.verified)) {
    stopped_ = true;
    s.Summary().SetStopped();
  }
  for (const auto& rule : p.casts.Unused()) s.Summary().Note("The cast rule \"" + rule + "\" names no column of this run.");
  if (o.PreviewPerFile()) {
    PreviewOutcome shown;
    s.Step(line::kFilePreview, [&] { shown = s.ShowPreview(); });
    if (!shown.SQLFormOK) {
      s.Step(line::kCloseAfterPreview, [&] {
        s.Source().Close();
        s.Firebird().Close();
      });
      p.open = false;
      s.Text("");
    }
  }
}

void ConversionRun::NameUnfinished(Phases& p, size_t current, bool stopped) {
  Session& s = p.s;
  const std::string why = stopped ? "stopped" : "connection lost";
  std::vector<TablePlan>& plans = p.planner.Tables();
  if (TableReport* table = s.Table()) {
    const long long total = current < plans.size() ? plans[current].rows.value_or(0) : 0;
    auto incomplete = [&](const std::string& because) {
      table->notes.push_back("incomplete: " + std::to_string(table->written) + " of " + std::to_string(total) + " rows (" +
                             because + "; its keys and indexes were not made)");
    };
    if (stopped && p.constraints.IsDone(table->source))
      table->notes.push_back("stopped while its keys and indexes were made: its rows are all there");
    else if (table->read == 0 && table->written == 0)
      table->notes.push_back("not converted (" + why + ")");
    else if (stopped)
      incomplete("stopped at row " + std::to_string(table->read + 1));
    else
      incomplete(why);
  }
  // Tables are taken from the last entry to the first: those before `current` were not reached.
  for (size_t j = current; j-- > 0;) s.Summary().Table(plans[j].source, plans[j].target).notes.push_back("not converted (" + why + ")");
}

void ConversionRun::Run(const RunOptions& options) {
  if (converting_.exchange(true)) return;
  struct Lower {
    std::atomic<bool>& flag;
    ~Lower() { flag = false; }
  } lower{converting_};
  stopped_ = loginFailed_ = castRefused_ = lost_ = false;
  current_.clear();
  {
    auto fresh = std::make_unique<Session>(options, events_);
    std::lock_guard<std::mutex> lock(session_mutex_);
    session_ = std::move(fresh);
  }
  Session& s = *session_;
  CastRules casts;
  try {
    casts = CastRules(options.casts);
  } catch (const CastError& e) {
    castRefused_ = true;
    events_.Tell(MessageKind::Info, e.what());
    return;
  }
  Phases p(s, casts);
  auto ended = [&] {
    RunProgress end;
    end.kind = RunProgress::Kind::Ended;
    events_.Progress(end);
  };
  try {
    if (!Open(s)) return;
    Plan(p);
    // Tables are taken from the last entry to the first.
    std::vector<TablePlan>& plans = p.planner.Tables();
    for (size_t i = plans.size(); i-- > 0;) {
      s.TableStarts(static_cast<int>(plans.size()));
      current_ = plans[i].source;
      s.SetTable(nullptr);
      bool goOn = true;
      try {
        if (s.StopRequested()) throw Halted{};
        goOn = TakeTable(p, i);
      } catch (const Lost&) {
        NameUnfinished(p, i, false);
        throw;
      } catch (const Halted&) {
        NameUnfinished(p, i + (s.Table() ? 0 : 1), true);
        throw;
      }
      s.SetTable(nullptr);
      if (!goOn) break;
      s.Text("");
    }
    // The rows only Firebird holds go last, children's before their parents'.
    if (std::any_of(plans.begin(), plans.end(), [](const TablePlan& t) { return t.disposition == Disposition::Sync; }))
      p.sync.DeleteRows(p.planner.ChildrenFirst());
    // The last row is written: the file waits for the disk again from here on.
    s.WritesDone();
    Finish(p);
  } catch (const Lost&) {
    // A connection is gone: wind up as after the last table, and say so instead of "Done.".
    lost_ = true;
    s.Summary().Note(s.LastError().empty() ? std::string("The run ended early: a connection was lost.")
                                           : "The run ended early: a connection was lost (" + Reason(s.LastError()) + ").");
  } catch (const Halted&) {
    // Stopped: what succeeded stays; the foreign keys between tables that are whole are still made.
    stopped_ = true;
    s.SetTable(nullptr);
    s.Summary().SetStopped();
    try {
      if (options.copyKeys && s.Executing()) p.constraints.ForeignKeys(false);
    } catch (const Lost&) {
    } catch (const Halted&) {
      // Stopped once more while they were made: those not made are named.
    }
  } catch (const Refused&) {
    // Nothing was written: the run ends with the message that names the rule.
    s.Step(line::kCloseTarget, [&] { s.Firebird().Close(); });
    targetTables_ = p.planner.TargetTables();
    ended();
    return;
  } catch (const std::exception& e) {
    s.Report(e.what(), line::kRunFailed);
  }
  p.replaced.Settle(lost_);
  targetTables_ = p.planner.TargetTables();
  if (p.open) s.CloseBoth();
  s.WritesDone();
  ended();
  s.SetTable(nullptr);
  if (!lost_ && !stopped_ && !s.ForcedWritesLeftOff()) events_.Tell(MessageKind::Info, "Done.");
  if (!s.Summary().LostNothing() || s.Summary().AnyVerified() || s.Summary().AnySynced()) events_.Tell(MessageKind::Summary, s.Summary().Text());
}

}  // namespace conversion
