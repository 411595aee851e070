#include "conversion/ConversionRun.h"

#include "conversion/RowBatch.h"
#include "conversion/RowReader.h"
#include "conversion/Verify.h"

#include <algorithm>
#include <limits>
#include <charconv>

#include "connectivity/core/ConnString.h"
#include "connectivity/firebird/FirebirdBackend.h"
#include "connectivity/core/ErrorTrap.h"
#include "conversion/Names.h"
#include "conversion/Keys.h"
#include "conversion/RowExport.h"

namespace conversion {

namespace {
const char* const kWhere = "Form1.PushButton7_Click";
}

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

std::string ConversionRun::SyncedWritesAgain() {
  if (!unsynced_) return {};
  std::string failed = unsynced_->Restore();
  unsynced_.reset();
  return failed;
}

void ConversionRun::NoteForcedWritesOff(const std::string& failed) {
  forcedWritesOff_ = true;
  summary_.Note("Firebird's forced writes could not be turned on again for the database (" + FirstLine(failed) +
                "): what was committed may not be on the disk yet; the next start of the program tries again, "
                "and \"gfix -write sync\" on the file turns them on.");
}

void ConversionRun::CountLost(const ado::DbError& e, long long ownRowsAmongThem) {
  if (e.LostStatements() <= 0) return;
  const std::string what = std::to_string(e.LostStatements()) + " statements that had succeeded were undone when the commit failed: " +
                           FirstLine(e.what());
  if (!table_) return summary_.Note(what);
  // The undone statements were this table's rows (each table is committed before the next starts).
  // Rows whose statements succeeded before the commit failed, not yet counted as written, are counted
  // by the caller.
  const long long rows = std::min(e.LostStatements() - ownRowsAmongThem, table_->written);
  table_->written -= rows;
  if (e.ConnectionLost()) {
    // Undone with the connection, not refused for their values: they are not in Firebird, and the table
    // is named incomplete.
    table_->notes.push_back(std::to_string(rows) + " rows written since the last commit were undone when the connection was lost: " +
                            FirstLine(e.what()));
    return;
  }
  table_->rejected += rows;
  table_->notes.push_back(what);
}

ConversionRun::ConversionRun(RunHost& host)
    : host_(host),
      mssql_(std::make_unique<ado::Connection>()),
      firebird_(std::make_unique<ado::Connection>()),
      trap_(kWhere, [this](const std::string& text) {
        ++reported_;
        host_.ReportError(text);
      }) {
  // Whatever succeeded is made durable before a message waits on the user.
  trap_.BeforeReport([this] { BeforeWait(); });
  trap_.OnError([this](const std::exception& e) {
    lastError_ = e.what();
    if (const auto* db = dynamic_cast<const ado::DbError*>(&e)) {
      CountLost(*db);
      stopping_ = db->ConnectionLost() && !host_.PreviewOn();
    }
  });
}

void ConversionRun::BeforeWait() {
  // Whatever succeeded is made durable before the user is asked anything or a table ends.
  try {
    Firebird().Flush();
  } catch (const std::exception& e) {
    const auto* db = dynamic_cast<const ado::DbError*>(&e);
    if (db) CountLost(*db);
    // A connection already known to be gone has its one message; what the commit undid is counted.
    if (db && db->ConnectionLost() && firebirdGone_) return;
    trap_.Report(e.what(), 138);
  }
}

template <class F>
bool ConversionRun::Step(int line, F&& f) {
  stopping_ = false;
  auto step = [&] {
    try {
      f();
    } catch (const ado::DbError& e) {
      // Firebird's work cut short by Stop ends the run as Stop does, without an error message.
      constexpr long kCancelled = 335544794;  // isc_cancelled
      if (e.Code() == kCancelled && host_.StopRequested()) throw Halted{};
      throw;
    }
  };
  if (trap_.Step(line, step)) return true;
  // A Firebird connection that is gone is reported once; the run then winds up.
  if (stopping_) throw Stop{};
  return false;
}

template <class F>
bool ConversionRun::SourceStep(int line, F&& f) {
  bool lost = false;
  const bool ok = Step(line, [&] {
    try {
      f();
    } catch (const ado::DbError& e) {
      // A statement Stop cancelled ends the run as Stop does, without an error message.
      if (host_.StopRequested()) throw Halted{};
      lost = e.ConnectionLost();
      throw;
    }
  });
  if (!ok && lost) throw Stop{};
  return ok;
}

void ConversionRun::NoteIncomplete(const std::string& why) {
  table_->notes.push_back("incomplete: " + std::to_string(table_->written) + " of " + std::to_string(tableTotal_) +
                          " rows (" + why + "; its keys and indexes were not made)");
}

void ConversionRun::NameUnfinished(const std::vector<std::string>& sources, const std::vector<std::string>& targets,
                                   size_t current, bool stopped) {
  const std::string why = stopped ? "stopped" : "connection lost";
  if (table_) {
    if (stopped && done_.count(ado::ToLower(table_->source)))
      table_->notes.push_back("stopped while its keys and indexes were made: its rows are all there");
    else if (table_->read == 0 && table_->written == 0)
      table_->notes.push_back("not converted (" + why + ")");
    else if (stopped)
      NoteIncomplete("stopped at row " + std::to_string(table_->read + 1));
    else
      NoteIncomplete(why);
  }
  // Tables are taken from the last entry to the first: those before `current` were not reached.
  for (size_t j = current; j-- > 0;) summary_.Table(sources[j], targets[j]).notes.push_back("not converted (" + why + ")");
}

std::string ConversionRun::RowKey(const std::vector<ado::Value>& values) const {
  return keyOrdinals_.empty() ? std::string() : RowKeyText(values, keyOrdinals_);
}

bool ConversionRun::RejectRow(long long row, const std::exception& e, int line, const std::string& key) {
  const auto* db = dynamic_cast<const ado::DbError*>(&e);
  if (db) CountLost(*db, 1);
  const bool lost = db && db->ConnectionLost() && !host_.PreviewOn();
  // The database file could not be written (a full disk): every further row would fail the same way.
  constexpr long kIoError = 335544344;  // isc_io_error
  if (db && db->Code() == kIoError && !host_.PreviewOn()) {
    const long long left = std::max(tableTotal_ - row + 1, 1LL);
    table_->rejected += left;
    incompleteWhy_ = "Firebird could not write its database (" + FirstLine(e.what()) + "): the table stopped at row " +
                     std::to_string(row) + ", and its " + std::to_string(left) + " rows from there are counted as rejected";
    trap_.Report(e.what(), line);
    return true;
  }
  if (lost) {
    // The row was not refused: the connection went, and the run ends with it.
    lastError_ = e.what();
    firebirdGone_ = true;
    trap_.Report(e.what(), line);
    throw Stop{};
  }
  const bool first = table_->rejected == 0;
  summary_.Reject(*table_, row, e.what(), key);
  // Further rejected rows of the table go to the summary, not to a message each.
  if (first) trap_.Report(e.what(), line);
  return false;
}

bool ConversionRun::Route(const std::string& statement, int line) {
  if (host_.PreviewOn()) {
    host_.AppendScript(statement);
    return true;
  }
  return Step(line, [&] { Firebird().Execute(statement); });
}

void ConversionRun::CheckCasts(bool inFirebird) {
  try {
    if (!inFirebird) {
      rules_ = host_.Rules();
      casts_ = CastRules(host_.Casts());
      return;
    }
    for (const CastRule& rule : casts_.Rules()) {
      try {
        // The engine's own word on the type, without creating anything.
        Firebird().Active().Query("SELECT CAST(NULL AS " + rule.target.firebirdType + ") FROM RDB$DATABASE");
      } catch (const ado::DbError& e) {
        if (e.ConnectionLost()) throw;
        throw CastError("The cast rule \"" + rule.text + "\": Firebird refuses the type " + rule.target.firebirdType +
                        ": " + FirstLine(e.what()));
      }
    }
  } catch (const CastError& e) {
    castRefused_ = true;
    host_.ShowMessage(e.what());
    throw Refused{};
  }
}

ConversionRun::~ConversionRun() = default;

void ConversionRun::NewConnections() {
  auto ms = std::make_unique<ado::Connection>();
  auto fb = std::make_unique<ado::Connection>();
  std::lock_guard<std::mutex> lock(connections_);
  mssql_ = std::move(ms);
  firebird_ = std::move(fb);
}

void ConversionRun::CancelSource() {
  std::lock_guard<std::mutex> lock(connections_);
  if (mssql_) mssql_->Cancel();
  // Firebird's work that Stop may cut short: building keys and indexes, counting rows against a CHECK,
  // sorting for verification. Never while rows are written: a cancelled block would lose its rows.
  if (firebirdCancellable_ && firebird_) firebird_->Cancel();
}

ConversionRun::FirebirdWork::FirebirdWork(ConversionRun& run) : run_(run) {
  std::lock_guard<std::mutex> lock(run_.connections_);
  run_.firebirdCancellable_ = true;
}

ConversionRun::FirebirdWork::~FirebirdWork() {
  std::lock_guard<std::mutex> lock(run_.connections_);
  run_.firebirdCancellable_ = false;
  // A cancel that came when nothing ran would end the next statement.
  if (run_.firebird_) run_.firebird_->ClearCancel();
}

ado::Connection* ConversionRun::FirebirdConnection() {
  std::lock_guard<std::mutex> lock(connections_);
  return firebird_.get();
}

std::unique_ptr<ado::Connection> ConversionRun::TakeMssql() {
  std::lock_guard<std::mutex> lock(connections_);
  auto taken = std::move(mssql_);
  mssql_ = std::make_unique<ado::Connection>();
  return taken;
}

std::unique_ptr<ado::Connection> ConversionRun::TakeFirebird() {
  std::lock_guard<std::mutex> lock(connections_);
  auto taken = std::move(firebird_);
  firebird_ = std::make_unique<ado::Connection>();
  return taken;
}

void ConversionRun::Run() {
  if (converting_.exchange(true)) return;
  struct Lower {
    std::atomic<bool>& flag;
    ~Lower() { flag = false; }
  } lower{converting_};
  stopped_ = false;
  askedOverwrite_ = resumeChosen_ = false;
  verified_.clear();
  loginFailed_ = false;
  castRefused_ = false;
  lost_ = false;
  forcedWritesOff_ = false;
  firebirdGone_ = false;
  reported_ = 0;
  bool open = false;
  unsynced_.reset();
  try {
    CheckCasts(false);
  } catch (const Refused&) {
    return;
  }
  try {
    Step(100, [&] { NewConnections(); });
    // A database that cannot be opened is named, with what "Test Connection" says and the reason.
    std::string why;
    if (!FireBird::CanOpenFirebird(host_.FirebirdLogin(), &why)) {
      host_.ShowMessage(std::string(kFirebirdCannotOpen) + "\r\r" + why);
      loginFailed_ = true;
      return;
    }
    if (!MSSQL::CanOpenSqlServer(host_.SqlServerLogin(), &why)) {
      host_.ShowMessage(std::string(kSqlServerCannotOpen) + "\r\r" + why);
      loginFailed_ = true;
      return;
    }
    host_.SetHourglass(true);
    sourceTables_.clear();
    targetTables_.clear();
    summary_.Clear();
    summary_.SetPreview(host_.PreviewOn());
    table_ = nullptr;
    std::vector<std::string> leftOut;
    std::vector<MSSQL::TableRef> listed;
    Step(108, [&] { MSSQL::ListSqlServerTables(host_.SqlServerLogin(), listed, &leftOut); });
    for (const auto& name : leftOut) summary_.LeftOut(name, "SQL Server's own diagram table, not user data");
    // Tables go by their display names ("Sales.Customer"); each stands for one source table.
    refs_.clear();
    displayOf_.clear();
    const std::vector<std::string> display = MSSQL::DisplayNames(listed);
    for (size_t i = 0; i < listed.size(); ++i) {
      const MSSQL::TableRef& t = listed[i];
      if (!refs_.emplace(display[i], t).second) {
        summary_.LeftOut(MSSQL::SqlName(t), "its Firebird name " + display[i] + " is another table's already");
        continue;
      }
      displayOf_[{t.schema, t.name}] = display[i];
      sourceTables_.push_back(display[i]);
    }
    std::vector<std::string> choiceNotes;
    host_.FilterTables(sourceTables_, choiceNotes);
    for (const auto& note : choiceNotes) summary_.Note(note);
    Step(110, [&] { FireBird::ListFirebirdTables(host_.FirebirdLogin(), targetTables_); });
    Step(112, [&] {
      ado::Connection& fb = Firebird();
      fb.ConnectionTimeout = 5000;
      fb.Open(FireBird::Target(host_.FirebirdLogin()));
    });
    CheckCasts(true);
    localTarget_ = ado::IsLocalDatabase(host_.FirebirdLogin().database);
    Step(114, [&] {
      ado::Connection& ms = Mssql();
      ms.CommandTimeout = 5000;
      ms.ConnectionTimeout = 5000;
      open = true;
      MSSQL::Open(ms, host_.SqlServerLogin());
    });
    Step(116, [&] {
      host_.ClearScript();
      host_.Datatypes().Clear();
    });
    // Names too long for Firebird are shortened once for the whole run, so that they stay unique.
    const std::vector<std::string> sources = sourceTables_;
    const std::vector<std::string> targets = NameShortener::ShortenAll(sources);
    for (size_t i = 0; i < sources.size(); ++i)
      if (targets[i] != sources[i]) summary_.Shortened("table", sources[i], targets[i]);
    keys_.Clear();
    done_.clear();
    converted_.clear();
    remade_.clear();
    dropped_.clear();
    completed_.clear();
    copyKeys_ = host_.CopyKeys();
    if (copyKeys_) {
      try {
        PlanKeys(sources, targets);
      } catch (const Stop&) {
        NameUnfinished(sources, targets, sources.size());
        throw;
      } catch (const Halted&) {
        NameUnfinished(sources, targets, sources.size(), true);
        throw;
      }
    }
    // Every table's rows are counted first, so that the whole run's progress is known from the start.
    counted_.clear();
    runDone_ = runTotal_ = 0;
    tableCount_ = static_cast<int>(sources.size());
    tableNumber_ = 0;
    for (const auto& t : sources) {
      if (host_.StopRequested()) break;
      host_.SetProgressText("Please wait.. Counting the rows of " + t);
      try {
        const long long n = MSSQL::CountRows(Mssql(), Ref(t));
        counted_[t] = n;
        runTotal_ += n;
      } catch (const ado::DbError& e) {
        // The table's own step says what is wrong with it; a lost connection is found there too.
        if (e.ConnectionLost()) break;
      }
    }
    // Tables are taken from the last entry to the first.
    for (size_t i = sources.size(); i-- > 0;) {
      ++tableNumber_;
      host_.RunProgress(tableNumber_, tableCount_, runDone_, runTotal_);
      current_ = sources[i];
      bool goOn = true;
      try {
        if (host_.StopRequested()) throw Halted{};
        goOn = ConvertTable(sources[i], targets[i]);
      } catch (const Stop&) {
        NameUnfinished(sources, targets, i);
        throw;
      } catch (const Halted&) {
        NameUnfinished(sources, targets, i + (table_ ? 0 : 1), true);
        throw;
      }
      table_ = nullptr;
      if (!goOn) break;
      host_.SetProgressText("");
    }
    // The last row is written: the file waits for the disk again from here on.
    if (const std::string failed = SyncedWritesAgain(); !failed.empty()) NoteForcedWritesOff(failed);
    // Foreign keys come once every table of the run holds its rows; a per-table preview has given
    // each with the later of its two tables, and the rest are named.
    if (copyKeys_) {
      GiveForeignKeys(true);
    } else {
      for (auto& [table, checks] : ReadChecks())
        if (std::find(sources.begin(), sources.end(), table) != sources.end())
          for (const auto& c : checks)
            summary_.NotCarried("CHECK", Display(c.table) + "." + c.name, "keys and rules are not copied: " + c.definition);
    }
    GiveSequences();
    NameObjects();
    if (host_.Verify() && !host_.PreviewOn()) VerifyTables(sources, targets);
    for (const auto& rule : casts_.Unused()) summary_.Note("The cast rule \"" + rule + "\" names no column of this run.");
    if (host_.PreviewOn() && host_.PreviewPerFile()) {
      PreviewOutcome outcome;
      BeforeWait();
      Step(146, [&] { outcome = host_.ShowPreviewModal(); });
      if (!outcome.SQLFormOK) {
        Step(148, [&] {
          Mssql().Close();
          Firebird().Close();
        });
        open = false;
        host_.SetProgressText("");
      }
    }
  } catch (const Stop&) {
    // A connection is gone: wind up as after the last table, and say so instead of "Done.".
    lost_ = true;
    summary_.Note(lastError_.empty() ? std::string("The run ended early: a connection was lost.")
                                     : "The run ended early: a connection was lost (" + Reason(lastError_) + ").");
  } catch (const Halted&) {
    // Stopped: what succeeded stays; the foreign keys between tables that are whole are still made.
    stopped_ = true;
    table_ = nullptr;
    summary_.SetStopped();
    try {
      if (copyKeys_ && !host_.PreviewOn()) GiveForeignKeys(false);
    } catch (const Stop&) {
    } catch (const Halted&) {
      // Stopped once more while they were made: those not made are named.
    }
  } catch (const Refused&) {
    // Nothing was written: the run ends with the message that names the rule.
    Step(152, [&] { Firebird().Close(); });
    host_.SetHourglass(false);
    return;
  } catch (const std::exception& e) {
    trap_.Report(e.what(), 144);
  }
  SettleDroppedKeys();
  if (open) {
    Step(150, [&] { Mssql().Close(); });
    Step(152, [&] { Firebird().Close(); });
  }
  if (const std::string failed = SyncedWritesAgain(); !failed.empty()) NoteForcedWritesOff(failed);
  host_.SetHourglass(false);
  host_.SetProgress(0);
  host_.SetProgressText("Progress Bar");
  table_ = nullptr;
  if (!lost_ && !stopped_ && !forcedWritesOff_) host_.ShowMessage("Done.");
  if (!summary_.LostNothing() || summary_.AnyVerified()) host_.ShowSummary(summary_.Text());
}

std::vector<std::string> ConversionRun::KeyColumns(const std::string& tbl, int line) {
  if (const TableKeys* keys = keys_.Find(tbl)) return keys->schema.primaryKey.columns;
  try {
    return MSSQL::ReadSchema(Mssql(), Ref(tbl)).primaryKey.columns;
  } catch (const ado::DbError& e) {
    // Without the catalogue the table has no key to go by; a lost connection ends the run.
    if (e.ConnectionLost()) SourceStep(line, [&] { throw e; });
  }
  return {};
}

ConversionRun::ResumePlan ConversionRun::PlanResume(const std::string& tbl, const std::string& target) {
  ResumePlan plan;
  const MSSQL::TableRef& ref = Ref(tbl);
  ado::Connection& fb = Firebird();
  const auto known = counted_.find(tbl);
  if (known == counted_.end()) return plan;
  const long long total = known->second;
  const std::vector<std::string> key = KeyColumns(tbl, 126);
  const TypeOptions types = TypesFor(rules_, &casts_, ref);
  const TableKeys* keys = copyKeys_ ? keys_.Find(tbl) : nullptr;
  // A table whose columns are not the ones this run creates (the user altered it, or the rules changed)
  // is no prefix of this run's copy: it is replaced.
  TableDdl planned;
  if (!SourceStep(126, [&] { planned = PlannedTable(Mssql(), ref, target, types); })) return plan;
  Step(126, [&] { plan.replaceWhy = ColumnDifference(fb, target, planned.columnNames); });
  if (!plan.replaceWhy.empty()) return plan;
  Step(126, [&] {
    plan.have = fb.Active().Scalar("SELECT COUNT(*) FROM " + QuoteIdentifier(target));
    plan.keysMissing = fb.Active().Scalar("SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$RELATION_NAME = " + ado::SqlString(target)) == 0;
    // The identity's largest value so far, for the sequence made after the rows.
    if (keys && keys->IdentityOrdinal() >= 0) {
      ado::Recordset cols(fb.Active().Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                                            ado::SqlString(target) + " AND RDB$FIELD_POSITION = " +
                                            std::to_string(keys->IdentityOrdinal())));
      if (!cols.Eof()) {
        ado::Recordset max(fb.Active().Query("SELECT MAX(" + QuoteIdentifier(cols.Fields(0).value.ToString()) + ") FROM " +
                                             QuoteIdentifier(target)));
        if (!max.Eof() && max.Fields(0).value.kind == ado::Kind::Integer) plan.identityMax = max.Fields(0).value.integer;
      }
    }
  });
  if (plan.have == total && total >= 0) {
    TableVerdict verdict;
    SourceStep(126, [&] { verdict = VerifyTable(Mssql(), fb, ref, tbl, target, key, types, 0); });
    plan.kind = verdict.Identical() ? ResumePlan::Skip : ResumePlan::Replace;
    plan.verdict = verdict.Text();
    return plan;
  }
  // Only the first rows by a one-column key, and exactly those: the rest follow the largest of them.
  if (key.size() != 1 || plan.have <= 0 || plan.have > total) return plan;
  std::vector<MSSQL::ColumnInfo> columns;
  if (keys) columns = keys->schema.columns;
  else SourceStep(126, [&] { columns = MSSQL::ReadColumns(Mssql(), ref); });
  const KeyOrder order = KeyOrderOf(key, columns);
  if (order.column.empty()) {
    plan.replaceWhy = "its first rows cannot be told: " + order.why;
    return plan;
  }
  std::string column;  // the key's Firebird name: the source name, as the table was created
  Step(126, [&] {
    ado::Recordset cols(fb.Active().Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                                          ado::SqlString(target)));
    for (; !cols.Eof(); cols.MoveNext())
      if (ado::ToLower(cols.Fields(0).value.ToString()) == ado::ToLower(key[0])) column = cols.Fields(0).value.ToString();
  });
  if (column.empty()) return plan;
  ado::Value largest;
  Step(126, [&] {
    ado::Recordset max(fb.Active().Query("SELECT MAX(" + QuoteIdentifier(column) + ") FROM " + QuoteIdentifier(target)));
    if (!max.Eof()) largest = max.Fields(0).value;
  });
  std::string literal;
  if (largest.kind == ado::Kind::Integer) literal = std::to_string(largest.integer);
  else if (largest.kind == ado::Kind::Decimal) literal = largest.text;
  else if (largest.kind == ado::Kind::Text) literal = "N" + ado::SqlString(largest.text);
  else return plan;
  const std::string& name = order.column;
  // The rows were copied in key order as both databases sort it (text by code point): Firebird holds
  // the first ones exactly when SQL Server has as many up to the largest.
  long long upTo = -1;
  if (!SourceStep(126, [&] {
        upTo = Mssql().Active().Scalar("SELECT COUNT(*) FROM " + MSSQL::SqlName(ref) + " WHERE " + name + " <= " + literal +
                                       order.collate);
      }))
    return plan;
  if (upTo != plan.have) {
    plan.replaceWhy = "Firebird's " + std::to_string(plan.have) + " rows are not the first ones by its key (SQL Server has " +
                      std::to_string(upTo) + " up to the largest)";
    return plan;
  }
  plan.kind = ResumePlan::Continue;
  plan.sourceRest = " WHERE " + name + " > " + literal + order.collate + " ORDER BY " + name + order.collate;
  plan.keyText = "the first row after " + key[0] + " = " + (largest.kind == ado::Kind::Text ? ado::SqlString(largest.text) : literal);
  return plan;
}

void ConversionRun::VerifyTables(const std::vector<std::string>& sources, const std::vector<std::string>& targets) {
  BeforeWait();
  FirebirdWork cancellable(*this);
  // Stopped during verification: the run is stopped, and every table not compared is named so.
  bool halted = false;
  for (size_t i = sources.size(); i-- > 0;) {
    if (!done_.count(ado::ToLower(sources[i])) || verified_.count(ado::ToLower(sources[i]))) continue;
    if (halted || host_.StopRequested()) {
      halted = true;
      summary_.Verified(sources[i], "not verified (stopped)", {}, false);
      continue;
    }
    host_.SetProgressText("Please wait.. Verifying table " + sources[i]);
    const MSSQL::TableRef& ref = Ref(sources[i]);
    const std::vector<std::string> key = KeyColumns(sources[i], 160);
    // The rejected rows whose keys the run kept are excused by key, the others by their count.
    long long rejected = 0;
    const std::set<std::string>* rejectedKeys = nullptr;
    for (const auto& t : summary_.Tables())
      if (t.source == sources[i]) {
        rejected = t.rejected - static_cast<long long>(t.rejectedKeys.size());
        rejectedKeys = &t.rejectedKeys;
      }
    const TypeOptions types = TypesFor(rules_, &casts_, ref);
    TableVerdict verdict;
    if (!SourceStep(160, [&] {
          verdict = VerifyTable(Mssql(), Firebird(), ref, sources[i], targets[i], key, types, rejected, rejectedKeys);
        }))
      continue;
    if (host_.StopRequested() && !verdict.Identical()) {
      // The compare was cancelled under it: what it found so far says nothing.
      halted = true;
      summary_.Verified(sources[i], "not verified (stopped)", {}, false);
      continue;
    }
    summary_.Verified(sources[i], verdict.Text(), verdict.examples, verdict.Identical());
  }
  if (halted) {
    stopped_ = true;
    summary_.SetStopped();
  }
  host_.SetProgressText("");
}

bool ConversionRun::ConvertTable(const std::string& tbl, const std::string& target) {
  int answer = 0;
  ResumePlan resume;
  if (ListContains(targetTables_, target)) {
    BeforeWait();
    if (!host_.PreviewOn() && !host_.Resume() && !askedOverwrite_) {
      askedOverwrite_ = true;
      answer = host_.AskOverwrite("Would you like to overwrite " + target + "?", true);
      resumeChosen_ = answer == kResume;
    } else if (!resumeChosen_ && !(host_.Resume() && !host_.PreviewOn())) {
      answer = host_.AskYesNo("Would you like to overwrite " + target + "?", "Overwrite?");
    }
    // Escape (or Stop) while the question was open: this table is named as not converted, nothing more
    // is made.
    if (host_.StopRequested()) throw Halted{};
    if ((host_.Resume() || resumeChosen_) && !host_.PreviewOn()) {
      // Taken up again: a complete table stays, a partial one goes on after its largest key or is replaced.
      resume = PlanResume(tbl, target);
      if (resume.kind == ResumePlan::Skip) {
        table_ = &summary_.Table(tbl, target);
        table_->notes.push_back("already complete: " + std::to_string(resume.have) +
                                " rows, verified identical; not copied again");
        done_.insert(ado::ToLower(tbl));
        converted_.push_back(target);
        if (host_.Verify()) {
          summary_.Verified(tbl, resume.verdict, {}, true);
          verified_.insert(ado::ToLower(tbl));
        }
        if (const auto known = counted_.find(tbl); known != counted_.end()) runTotal_ -= known->second;
        if (resume.keysMissing) {
          if (TableKeys* keys = copyKeys_ ? keys_.Find(tbl) : nullptr) {
            std::vector<std::string> leftOut;
            const auto statements = keys->AfterRows(resume.identityMax, leftOut);
            for (const auto& l : leftOut) summary_.KeyLeftOut(l);
            RouteKeys(statements, 137);
            GiveChecks(*keys);
          }
        }
        table_ = nullptr;
        return true;
      }
      answer = resume.kind == ResumePlan::Continue ? 0 : kYes;
    }
  }
  if (answer == kNo) {
    // A table left as it is has no rows to copy.
    if (const auto known = counted_.find(tbl); known != counted_.end()) runTotal_ -= known->second;
    host_.RunProgress(tableNumber_, tableCount_, runDone_, runTotal_);
    return true;
  }
  table_ = &summary_.Table(tbl, target);
  if (!resume.replaceWhy.empty()) table_->notes.push_back("replaced, not resumed: " + resume.replaceWhy);
  givenHere_.clear();
  const bool perTable = host_.PreviewPerTable();
  if (perTable) {
    Step(122, [&] {
      host_.ClearScript();
      host_.Datatypes().Clear();
    });
  }
  if (answer == kYes) {
    if (copyKeys_) DropForeignKeysTo(target);
    Route(DropTableText(target), 124);
    ListRemove(targetTables_, ado::ToLower(target));
  }
  host_.SetProgressText("Please wait.. Processing table " + tbl);
  const MSSQL::TableRef& ref = Ref(tbl);
  ado::Recordset rs;
  long long total = 0;
  // A table that cannot be read costs one message; its statements are not built.
  tableIncomplete_ = false;
  tableTotal_ = 0;
  // The catalogue names the types the driver leaves unnamed (CLR types) and tells computed columns; it
  // is read before the rows, which hold the source connection.
  TableKeys* keys = copyKeys_ ? keys_.Find(tbl) : nullptr;
  std::vector<MSSQL::ColumnInfo> catalogue;
  if (keys) catalogue = keys->schema.columns;
  else {
    try {
      catalogue = MSSQL::ReadColumns(Mssql(), ref);
    } catch (const ado::DbError& e) {
      // Without the catalogue the table converts by what its rows say; a lost connection ends the run.
      if (e.ConnectionLost()) SourceStep(129, [&] { throw e; });
    }
  }
  // In key order, as both databases sort it, so that a stopped copy can be taken up after its largest key.
  const std::vector<std::string> key = KeyColumns(tbl, 130);
  std::string read = SelectAllText(ref);
  if (resume.kind == ResumePlan::Continue) read += resume.sourceRest;
  else if (const KeyOrder order = KeyOrderOf(key, catalogue); !order.column.empty())
    read += " ORDER BY " + order.column + order.collate;
  if (SourceStep(130, [&] {
        const auto known = counted_.find(tbl);
        total = known != counted_.end() ? known->second : MSSQL::CountRows(Mssql(), ref);
        tableTotal_ = total;
        rs.Open(read, Mssql());
      })) {
    TableDdl ddl;
    for (const auto& c : catalogue) {
      for (int k = 0; k < rs.FieldCount(); ++k) {
        if (ado::ToLower(rs.Fields(k).Name) != ado::ToLower(c.name)) continue;
        if (rs.Fields(k).TypeName.empty()) rs.SetTypeName(k, c.typeName);
        if (c.computed) table_->notes.push_back("column \"" + c.name + "\" is computed in SQL Server: copied as values");
      }
    }
    const TypeOptions types = TypesFor(rules_, &casts_, ref);
    if (Step(132, [&] { ddl = BuildCreateTable(target, rs, &host_.Datatypes(), keys, types); })) {
      for (const auto& [from, to] : ddl.shortened) summary_.Shortened("column of \"" + target + "\"", from, to);
      // Rows for a table that could not be created would each fail with a message of their own.
      if (resume.kind == ResumePlan::Continue) {
        table_->notes.push_back("resumed: " + std::to_string(resume.have) + " rows were in Firebird already; copied from " +
                                resume.keyText + " on");
        table_->read = table_->written = resume.have;
        runDone_ += resume.have;
      }
      if (resume.kind == ResumePlan::Continue || Route(ddl.createTable, 134)) {
        std::optional<long long> identityMax = resume.identityMax;
        rowOffset_ = resume.have;
        // The keys of rejected rows are kept for verification, which excuses exactly those rows.
        keyOrdinals_.clear();
        if (host_.Verify() && !host_.PreviewOn())
          for (const auto& k : key)
            for (int f = 0; f < rs.FieldCount(); ++f)
              if (ado::ToLower(rs.Fields(f).Name) == ado::ToLower(k)) keyOrdinals_.push_back(static_cast<size_t>(f));
        if (!rs.Eof()) {
          const auto copied = ExportRows(target, rs, ddl, total, keys ? keys->IdentityOrdinal() : -1);
          if (copied && (!identityMax || *copied > *identityMax)) identityMax = copied;
        }
        rowOffset_ = 0;
        if (tableIncomplete_) {
          // Keys over part of the rows would make the table look complete.
          NoteIncomplete(incompleteWhy_);
        } else {
          done_.insert(ado::ToLower(tbl));
          completed_.insert(ado::ToLower(target));
        }
        converted_.push_back(target);
        // A table taken up again that holds its keys already keeps them.
        if (keys && !tableIncomplete_ && (resume.kind != ResumePlan::Continue || resume.keysMissing)) {
          // Keys and indexes are built once, over the rows.
          std::vector<std::string> leftOut;
          const auto statements = keys->AfterRows(identityMax, leftOut);
          for (const auto& l : leftOut) summary_.KeyLeftOut(l);
          RouteKeys(statements, 137);
          GiveChecks(*keys);
          // Foreign keys of other tables dropped to replace this one are made again over its new rows.
          RemakeDroppedKeys(target);
          if (perTable && host_.PreviewOn()) GiveForeignKeys(false);
        }
      } else if (total > 0) {
        table_->rejected += total;
        table_->notes.push_back("the table could not be created: its " + std::to_string(total) +
                                " rows were not copied");
      } else {
        table_->notes.push_back("the table could not be created");
      }
    }
    rs.Close();
  } else {
    table_->notes.push_back("the table could not be read: " + FirstLine(lastError_));
  }
  // A finished table is made durable before the next one starts.
  BeforeWait();
  if (host_.PreviewOn() && perTable) {
    PreviewOutcome outcome;
    Step(142, [&] { outcome = host_.ShowPreviewModal(); });
    // Only "Skip Table / Do Not Execute SQL" goes on with the next table.
    if (outcome.SQLTableOK) return false;
    if (!outcome.SQLFormOK) {
      // The skipped table was not made: no later preview gets a foreign key to it, and the ones its own
      // preview held are named.
      done_.erase(ado::ToLower(tbl));
      for (const auto& fk : givenHere_) summary_.KeyLeftOut("not made (the preview of \"" + target + "\" was skipped): " + fk);
    }
  }
  return true;
}

namespace {

// The identity column's value of a row, where it is a whole number.
std::optional<long long> IdentityOf(const std::vector<ado::Value>& row, int identity) {
  if (identity < 0 || static_cast<size_t>(identity) >= row.size()) return std::nullopt;
  const ado::Value& v = row[static_cast<size_t>(identity)];
  if (v.kind == ado::Kind::Integer) return v.integer;
  if (v.kind == ado::Kind::Decimal) {
    long long d = 0;
    const char* end = v.text.data() + v.text.size();
    if (std::from_chars(v.text.data(), end, d).ec == std::errc()) return d;
  }
  return std::nullopt;
}

// Rows read ahead of the writer: enough to keep both sides busy, few enough that memory stays flat.
constexpr size_t kReadAheadRows = 1024;
constexpr size_t kReadAheadBytes = 16 << 20;

}  // namespace

void ConversionRun::Written(const std::optional<long long>& identity, std::optional<long long>& identityMax) {
  ++table_->written;
  if (identity && (!identityMax || *identity > *identityMax)) identityMax = identity;
}

bool ConversionRun::SendBatch(RowBatch& batch, ado::PreparedStatement& single, std::optional<long long>& identityMax) {
  if (batch.Size() == 0) return false;
  try {
    if (batch.Size() == 1) single.Execute(batch.ParamsOf(0));
    else batch.Send();
    for (size_t i = 0; i < batch.Size(); ++i) Written(batch.RowAt(i).identity, identityMax);
    batch.Clear();
    return false;
  } catch (const ado::DbError& e) {
    if (e.LostStatements() > 0 || e.ConnectionLost() || batch.Size() == 1) {
      // The rows went with a commit that failed, or with the connection: each is rejected, none is
      // written again (the first carries the message and the count of what else was undone).
      const size_t n = batch.Size();
      std::vector<RowBatch::Row> rows(n);
      for (size_t i = 0; i < n; ++i) rows[i] = batch.RowAt(i);
      batch.Clear();
      if (e.LostStatements() > 0) CountLost(e, static_cast<long long>(n));
      ado::DbError first(e);
      first.SetLostStatements(0);
      if (RejectRow(rows[0].number, first, 138, rows[0].key)) return true;
      for (size_t i = 1; i < n; ++i) summary_.Reject(*table_, rows[i].number, e.what(), rows[i].key);
      return false;
    }
  }
  // Firebird refused the block as a whole, which undid all of it: the rows go one by one, so that exactly
  // the bad ones are rejected, each with its own number and message.
  for (size_t i = 0; i < batch.Size(); ++i) {
    try {
      single.Execute(batch.ParamsOf(i));
      Written(batch.RowAt(i).identity, identityMax);
    } catch (const std::exception& e) {
      // A commit that fails here undoes this row and what the transaction held before it: RejectRow counts
      // them; the rows after it go on in the next transaction.
      if (RejectRow(batch.RowAt(i).number, e, 138, batch.RowAt(i).key)) {
        batch.Clear();
        return true;
      }
    }
  }
  batch.Clear();
  return false;
}

std::optional<long long> ConversionRun::ExportRows(const std::string& target, ado::Recordset& rs, const TableDdl& ddl,
                                                  long long total, int identity) {
  std::optional<long long> identityMax;
  InsertBuilder builder(target, ddl);
  const bool preview = host_.PreviewOn();
  // Rows executed at once into a local file go without a disk wait for every page, from the first row
  // of the run to its last; the file is synced then.
  if (!preview && !unsynced_) unsynced_.emplace(FireBird::Target(host_.FirebirdLogin()));
  // Executed at once, the rows go through prepared statements with typed parameters, gathered into
  // batches of one EXECUTE BLOCK each; a row with a value that only the literal statement can carry
  // goes as that statement.
  std::unique_ptr<ado::PreparedStatement> prepared;
  std::unique_ptr<ParamBuilder> params;
  std::unique_ptr<RowBatch> batch;
  if (!preview && usePrepared_) {
    try {
      prepared = Firebird().Prepare(PlaceholderInsertText(target, ddl.columnNames));
      if (prepared) {
        params = std::make_unique<ParamBuilder>(ddl);
        batch = std::make_unique<RowBatch>(Firebird(), target, ddl, batchRows_ ? batchRows_
                                                                             : BatchRowsFor(ddl, localTarget_));
      }
    } catch (const ado::DbError&) {
      prepared.reset();  // the literal statements say what is wrong, row by row, as they always did
    }
  }
  // Rows gathered but not sent go before anything else happens: the table is written in source order.
  auto send = [&] { return batch && SendBatch(*batch, *prepared, identityMax); };
  long long counter = rowOffset_;
  int shown = -1;
  SourceRow row;
  RowReader reader(rs, kReadAheadRows, kReadAheadBytes);
  while (true) {
    bool more = false, read = false;
    try {
      read = SourceStep(140, [&] { more = reader.Next(row); });
    } catch (...) {
      // Stopped, or the source is gone: the rows read before it are written first.
      send();
      throw;
    }
    if (!read) {
      if (send()) {
        tableIncomplete_ = true;
        break;
      }
      tableIncomplete_ = true;
      incompleteWhy_ = "the read ended early: " + FirstLine(lastError_);
      break;
    }
    if (!more) break;
    if (host_.StopRequested()) {
      send();
      throw Halted{};
    }
    ++counter;
    ++table_->read;
    host_.RowProgress(target, counter, total);
    ++runDone_;
    host_.RunProgress(tableNumber_, tableCount_, runDone_, std::max(runTotal_, runDone_));
    int value = static_cast<int>((counter + 1) * 100 / (total + 1));
    if (value > 100) value = 100;
    if (value != shown) {
      host_.SetProgress(value);
      shown = value;
    }
    int line = 136;
    try {
      if (!row.readError.empty()) {
        const std::string& unread = row.readError;
        throw ValueError("The value of " + unread + " could not be read: " + FirstLine(unread.substr(unread.find(':') + 2)));
      }
      if (prepared && params->Build(row.values)) {
        batch->Add(params->Params(), {counter, IdentityOf(row.values, identity), RowKey(row.values)});
        if (batch->Full() && send()) {
          tableIncomplete_ = true;
          break;
        }
        continue;
      }
      const std::string& statement = builder.Build(row.values);
      if (send()) {
        tableIncomplete_ = true;
        break;
      }
      line = 138;
      if (preview) host_.AppendScript(statement);
      else Firebird().Execute(statement);
      Written(IdentityOf(row.values, identity), identityMax);
    } catch (const std::exception& e) {
      if (send() || RejectRow(counter, e, line, RowKey(row.values))) {
        tableIncomplete_ = true;
        break;
      }
    }
  }
  if (!tableIncomplete_ && send()) tableIncomplete_ = true;
  return identityMax;
}

void ConversionRun::PlanKeys(const std::vector<std::string>& sources, const std::vector<std::string>& targets) {
  ado::Connection& fb = Firebird();
  int pageSize = 8192;
  std::set<std::string> reserved;
  Step(118, [&] {
    pageSize = static_cast<int>(fb.Active().Scalar("SELECT MON$PAGE_SIZE FROM MON$DATABASE"));
    // Index and constraint names are unique in the whole database: those of tables outside the run stay.
    ado::Recordset rs(fb.Active().Query(
        "SELECT TRIM(RDB$INDEX_NAME) AS N, TRIM(RDB$RELATION_NAME) AS T FROM RDB$INDICES "
        "UNION SELECT TRIM(RDB$CONSTRAINT_NAME), TRIM(RDB$RELATION_NAME) FROM RDB$RELATION_CONSTRAINTS"));
    while (!rs.Eof()) {
      if (!ListContains(targets, rs.Fields(1).value.ToString())) reserved.insert(rs.Fields(0).value.ToString());
      rs.MoveNext();
    }
  });
  auto checks = ReadChecks();
  for (size_t i = 0; i < sources.size(); ++i) {
    if (host_.StopRequested()) throw Halted{};
    MSSQL::TableSchema schema;
    try {
      schema = MSSQL::ReadSchema(Mssql(), Ref(sources[i]));
      // A foreign key follows the table it refers to by schema and name, never by a name alone.
      for (auto& fk : schema.foreignKeys) fk.refTable = Display(fk.ref);
      schema.checks = std::move(checks[sources[i]]);
    } catch (const ado::DbError& e) {
      if (e.ConnectionLost()) {
        lastError_ = e.what();
        trap_.Report(e.what(), 118);
        throw Stop{};
      }
      summary_.KeyLeftOut("Table \"" + sources[i] + "\": its keys and column rules could not be read: " + FirstLine(e.what()));
      continue;
    }
    keys_.Add(sources[i], targets[i], std::move(schema), pageSize);
    // A table the run leaves out may refer to this one: when Firebird does not hold that table either,
    // its foreign key is not made, and is named (one Firebird holds has its keys made again).
    if (refs_.size() > sources.size()) {
      try {
        for (const auto& [ref, key] : MSSQL::ReadReferringKeys(Mssql(), Ref(sources[i])))
          if (const std::string table = Display(ref); refs_.count(table) && std::find(sources.begin(), sources.end(), table) == sources.end() &&
              !ListContains(targetTables_, table))
            summary_.KeyLeftOut("Table \"" + table + "\": foreign key \"" + key + "\" (it refers to \"" + sources[i] +
                                "\", but \"" + table + "\" is not in this run)");
      } catch (const ado::DbError& e) {
        if (e.ConnectionLost()) throw;
      }
    }
  }
  keys_.NameAll(reserved);
  for (const auto& [from, to] : keys_.NameChanges()) summary_.Shortened("key or index", from, to);
}

std::string ConversionRun::Display(const MSSQL::TableRef& table) const {
  const auto it = displayOf_.find({table.schema, table.name});
  return it == displayOf_.end() ? MSSQL::DisplayName(table) : it->second;
}

const MSSQL::TableRef& ConversionRun::Ref(const std::string& display) const {
  static const MSSQL::TableRef none;
  const auto it = refs_.find(display);
  return it == refs_.end() ? none : it->second;
}

std::map<std::string, std::vector<MSSQL::CheckInfo>> ConversionRun::ReadChecks() {
  std::map<std::string, std::vector<MSSQL::CheckInfo>> byTable;
  if (!MSSQL::IsSqlServerDriver()) return byTable;
  std::vector<MSSQL::CheckInfo> all;
  SourceStep(117, [&] { all = MSSQL::ReadChecks(Mssql()); });
  for (auto& c : all) byTable[Display(c.table)].push_back(std::move(c));
  return byTable;
}

std::string ConversionRun::CaseOnly(const std::string& target, const std::string& condition, long long breaking) {
  // The rows counted again with every UTF8 text column compared without regard to case, as SQL Server's
  // usual collations compare them.
  std::string select;
  bool text = false;
  long long blind = breaking;
  const bool counted = Step(137, [&] {
    ado::Recordset cols(Firebird().Active().Query(
        "SELECT TRIM(R.RDB$FIELD_NAME), IIF(F.RDB$FIELD_TYPE IN (14, 37) AND F.RDB$CHARACTER_SET_ID = 4, 1, 0) "
        "FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE WHERE R.RDB$RELATION_NAME = " +
        ado::SqlString(target) + " ORDER BY R.RDB$FIELD_POSITION"));
    for (; !cols.Eof(); cols.MoveNext()) {
      const std::string name = QuoteIdentifier(cols.Fields(0).value.ToString());
      const bool utf8 = cols.Fields(1).value.ToString() == "1";
      text = text || utf8;
      select += (select.empty() ? "" : ", ") + (utf8 ? name + " COLLATE UNICODE_CI AS " + name : name);
    }
    if (text)
      blind = Firebird().Active().Scalar("SELECT COUNT(*) FROM (SELECT " + select + " FROM " + QuoteIdentifier(target) +
                                         ") WHERE NOT (" + condition + ")");
  });
  if (!counted || !text || blind >= breaking) return {};
  const long long caseOnly = breaking - blind;
  return blind == 0 ? std::string(breaking == 1 ? " only in letter case (SQL Server's case-insensitive collations let it pass)"
                                                 : ", all only in letter case (SQL Server's case-insensitive collations let "
                                                   "them pass)")
                    : " (" + std::to_string(caseOnly) + " of them only in letter case, which SQL Server's case-insensitive "
                      "collations let pass)";
}

void ConversionRun::GiveChecks(const TableKeys& keys) {
  FirebirdWork cancellable(*this);
  std::vector<std::pair<std::string, std::string>> notCarried;
  for (const CheckStatement& c : keys.Checks(notCarried)) {
    if (!host_.PreviewOn()) {
      // Firebird checks only rows written after the constraint: rows already there that break it (SQL
      // Server let them in WITH NOCHECK, or compares differently) are counted first.
      long long breaking = 0;
      if (!Step(137, [&] {
            breaking = Firebird().Active().Scalar("SELECT COUNT(*) FROM " + QuoteIdentifier(keys.target) +
                                                             " WHERE NOT (" + c.condition + ")");
          })) {
        summary_.NotCarried("CHECK", keys.source + "." + c.sourceName, "refused by Firebird: " + Reason(lastError_));
        continue;
      }
      if (breaking > 0) {
        summary_.NotCarried("CHECK", keys.source + "." + c.sourceName,
                            "refused: " + std::to_string(breaking) + (breaking == 1 ? " row of the table breaks" : " rows of the table break") +
                                " it" + CaseOnly(keys.target, c.condition, breaking) + ": " + c.condition);
        continue;
      }
    }
    if (!Route(c.statement, 137))
      summary_.NotCarried("CHECK", keys.source + "." + c.sourceName, "refused by Firebird: " + Reason(lastError_));
  }
  for (const auto& [name, why] : notCarried) summary_.NotCarried("CHECK", name, why);
}

void ConversionRun::GiveSequences() {
  if (!MSSQL::IsSqlServerDriver()) return;
  std::vector<MSSQL::SequenceInfo> sequences;
  if (!SourceStep(143, [&] { sequences = MSSQL::ReadSequences(Mssql()); }) || sequences.empty()) return;
  std::set<std::string> existing;
  if (!host_.PreviewOn()) {
    Step(143, [&] {
      ado::Recordset rs(Firebird().Active().Query("SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS"));
      for (; !rs.Eof(); rs.MoveNext()) existing.insert(ado::ToLower(rs.Fields(0).value.ToString()));
    });
  }
  NameShortener names;
  for (const auto& q : sequences) {
    const std::string source = MSSQL::DisplayName({q.schema, q.name});
    const std::string target = names.Shorten(source);
    if (target != source) summary_.Shortened("sequence", source, target);
    long long current = 0, step = 0;
    auto number = [](const std::string& text, long long& n) {
      return std::from_chars(text.data(), text.data() + text.size(), n).ec == std::errc() && !text.empty();
    };
    if (!number(q.current, current) || !number(q.increment, step) || step == 0) {
      summary_.Note("Sequence \"" + source + "\" was not made: its values (" + q.current + ", step " + q.increment +
                    ") pass Firebird's 64-bit sequences");
      continue;
    }
    if (existing.count(ado::ToLower(target))) {
      summary_.Note("Sequence \"" + source + "\" was left as it is: Firebird has a sequence \"" + target + "\" already");
      continue;
    }
    // Firebird 3's INCREMENT BY is a 32-bit number, and its parser takes no literal below -2147483647.
    if (step > std::numeric_limits<int>::max() || step < -std::numeric_limits<int>::max()) {
      summary_.Note("Sequence \"" + source + "\" was not made: its step " + q.increment +
                    " passes Firebird's, which is at most 2147483647 either way");
      continue;
    }
    // Firebird 3 hands out START WITH plus the step first; SQL Server's next value is current plus the
    // step once the sequence has been used, and current itself before.
    long long start = current, next = 0;
    if (!q.used && __builtin_sub_overflow(current, step, &start)) {
      summary_.Note("Sequence \"" + source + "\" was not made: its first value " + q.current +
                    " cannot be given as Firebird's START WITH (start minus step passes 64 bits)");
      continue;
    }
    // SQL Server stops with an error past the last 64-bit value; Firebird's next value wraps around.
    const bool atEnd = q.used && __builtin_add_overflow(current, step, &next);
    const std::string statement = "CREATE SEQUENCE " + QuoteIdentifier(target) + " START WITH " + std::to_string(start) +
                                  " INCREMENT BY " + std::to_string(step) + ";";
    if (!Route(statement, 143)) summary_.Note("Sequence \"" + source + "\" was not made: " + Reason(lastError_));
    else if (atEnd)
      summary_.Note("Sequence \"" + source + "\" has handed out its last value (" + q.current +
                    "): SQL Server gives no more, but Firebird's next value wraps around to the other end of 64 bits");
  }
}

void ConversionRun::NameObjects() {
  if (!MSSQL::IsSqlServerDriver()) return;
  std::vector<MSSQL::SourceObject> objects;
  if (!SourceStep(143, [&] { objects = MSSQL::ReadObjects(Mssql()); })) return;
  for (const auto& o : objects) {
    // A full-text index goes by its table; a trigger names its table too.
    if (o.kind == "FULLTEXT_INDEX")
      summary_.NotCarried(o.kind, o.schema + "." + (o.table.empty() ? o.name : o.table));
    else
      summary_.NotCarried(o.kind, o.schema + "." + o.name,
                          o.kind == "TRIGGER" && !o.table.empty() ? "on table " + Display({o.schema, o.table}) : "");
  }
}

void ConversionRun::DropForeignKeysTo(const std::string& target) {
  struct Found {
    std::string table, name, ownIndex, refIndex, onUpdate, onDelete;
  };
  std::vector<Found> found;
  Step(126, [&] {
    ado::Backend& fb = Firebird().Active();
    ado::Recordset rs(fb.Query(
        "SELECT TRIM(FK.RDB$RELATION_NAME), TRIM(FK.RDB$CONSTRAINT_NAME), TRIM(FK.RDB$INDEX_NAME), TRIM(PK.RDB$INDEX_NAME), "
        "TRIM(R.RDB$UPDATE_RULE), TRIM(R.RDB$DELETE_RULE) FROM RDB$RELATION_CONSTRAINTS FK "
        "JOIN RDB$REF_CONSTRAINTS R ON R.RDB$CONSTRAINT_NAME = FK.RDB$CONSTRAINT_NAME "
        "JOIN RDB$RELATION_CONSTRAINTS PK ON PK.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ "
        "WHERE PK.RDB$RELATION_NAME = " + ado::SqlString(target) + " AND FK.RDB$RELATION_NAME <> PK.RDB$RELATION_NAME"));
    for (; !rs.Eof(); rs.MoveNext()) {
      auto text = [&](int i) { return rs.Fields(i).value.ToString(); };
      found.push_back({text(0), text(1), text(2), text(3), text(4), text(5)});
    }
    // What it takes to make each again once the table holds its new rows and keys.
    for (const auto& f : found) {
      auto columns = [&](const std::string& index) {
        std::string list;
        ado::Recordset seg(fb.Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$INDEX_SEGMENTS WHERE RDB$INDEX_NAME = " +
                                    ado::SqlString(index) + " ORDER BY RDB$FIELD_POSITION"));
        for (; !seg.Eof(); seg.MoveNext()) list += (list.empty() ? "" : ", ") + QuoteIdentifier(seg.Fields(0).value.ToString());
        return list;
      };
      // RESTRICT is what Firebird keeps when no rule is given.
      auto rule = [](const char* on, const std::string& r) { return r == "RESTRICT" || r.empty() ? std::string() : on + r; };
      dropped_.push_back({f.table, f.name, target,
                          "ALTER TABLE " + QuoteIdentifier(f.table) + " ADD CONSTRAINT " + QuoteIdentifier(f.name) +
                              " FOREIGN KEY (" + columns(f.ownIndex) + ") REFERENCES " + QuoteIdentifier(target) + " (" +
                              columns(f.refIndex) + ")" + rule(" ON UPDATE ", f.onUpdate) + rule(" ON DELETE ", f.onDelete) +
                              ";"});
      remade_.insert(ado::ToLower(f.name));
    }
  });
  for (const auto& f : found) Route(DropConstraintText(f.table, f.name), 126);
}

void ConversionRun::RemakeDroppedKeys(const std::string& target) {
  std::vector<DroppedKey> rest;
  for (auto& k : dropped_) {
    if (ado::ToLower(k.target) != ado::ToLower(target)) {
      rest.push_back(std::move(k));
      continue;
    }
    if (!Route(k.statement, 137)) summary_.KeyFailed(k.statement, lastError_);
  }
  dropped_ = std::move(rest);
}

void ConversionRun::SettleDroppedKeys() {
  // However the run ended: a key whose table was replaced and holds its rows is made again; any other
  // is named with the statement that makes it.
  std::vector<DroppedKey> left = std::move(dropped_);
  dropped_.clear();
  bool gone = lost_;
  for (const auto& k : left) {
    if (!gone && !host_.PreviewOn() && completed_.count(ado::ToLower(k.target))) {
      try {
        if (Route(k.statement, 137)) continue;
        summary_.KeyFailed(k.statement, lastError_);
        continue;
      } catch (const Stop&) {
        gone = true;
      } catch (const Halted&) {
        gone = true;  // cut short by a second Stop: named below like the rest
      }
    }
    if (host_.PreviewOn()) continue;  // the preview holds the statement; the user runs it with the rest
    summary_.KeyLeftOut("Table \"" + k.table + "\": foreign key \"" + k.name + "\" was dropped to replace \"" + k.target +
                        "\" and is not made again (\"" + k.target + "\" " +
                        (completed_.count(ado::ToLower(k.target)) ? "holds its rows, but the connection was lost"
                                                                  : "does not hold all its rows") +
                        "): " + k.statement);
  }
}

void ConversionRun::RouteKeys(const std::vector<std::string>& statements, int line) {
  FirebirdWork cancellable(*this);
  for (size_t i = 0; i < statements.size(); ++i) {
    try {
      if (!Route(statements[i], line)) summary_.KeyFailed(statements[i], lastError_);
    } catch (const Halted&) {
      // Stopped while keys were built: those not made are named with their statements.
      for (size_t j = i; j < statements.size(); ++j) summary_.KeyLeftOut("not made (stopped): " + statements[j]);
      throw;
    }
  }
}

void ConversionRun::GiveForeignKeys(bool everyRemaining) {
  givenHere_.clear();
  std::vector<std::string> leftOut;
  // A foreign key whose table was skipped is not missing while Firebird still holds it (or it was made again).
  std::set<std::string> existing = remade_;
  Step(145, [&] {
    ado::Recordset rs(Firebird().Active().Query(
        "SELECT TRIM(RDB$CONSTRAINT_NAME) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_TYPE = 'FOREIGN KEY'"));
    for (; !rs.Eof(); rs.MoveNext()) existing.insert(ado::ToLower(rs.Fields(0).value.ToString()));
  });
  const auto statements = keys_.ForeignKeys(done_, everyRemaining, leftOut, existing);
  for (const auto& l : leftOut) summary_.KeyLeftOut(l);
  // A per-table run gives each foreign key with the later of its tables, never after the last one.
  if (everyRemaining && host_.PreviewOn() && host_.PreviewPerTable()) return;
  RouteKeys(statements, 145);
  givenHere_ = statements;
}

}  // namespace conversion
