#include "conversion/TableSync.h"

#include <algorithm>

#include "connectivity/core/ConnString.h"
#include "connectivity/firebird/FireBird.h"
#include "conversion/RowBatch.h"
#include "conversion/RowExport.h"
#include "conversion/RowWriter.h"
#include "conversion/TableDdl.h"
#include "conversion/Verify.h"

namespace conversion {

namespace {

// A Firebird record named by its record key, as a statement's parameter.
ado::Param DbKeyParam(const std::string& dbKey) {
  ado::Param p;
  p.type = ado::Param::Type::Octets;
  p.bytes = dbKey;
  return p;
}

std::string DeleteByKeyText(const std::string& table) {
  return "DELETE FROM " + QuoteIdentifier(table) + " WHERE RDB$DB_KEY = ?";
}

// The table cannot go on: its database file cannot be written.
struct TableEnds {};

// Applies what comparing a table finds: new rows through the copy's write path, changed rows by an
// UPDATE of Firebird's record, the record keys of the rows only Firebird holds kept for later.
class Applier : public RowDifferences {
 public:
  Applier(Session& s, TablePlan& plan, const TableDdl& ddl, TableReport& report)
      : s_(s), plan_(plan), ddl_(ddl), report_(report), writer_(s, plan.target, ddl, report), params_(ddl) {}

  void Missing(long long number, const std::vector<ado::Value>& source) override {
    Check();
    if (writer_.Write(number, source, std::nullopt, {})) throw TableEnds{};
  }

  void Differs(long long number, const std::vector<ado::Value>& source, const std::string& dbKey) override {
    Check();
    try {
      if (!params_.Build(source)) {
        // A value only the literal statement carries: the record goes, and the row comes in again.
        Delete(dbKey);
        ++replaced_;
        if (writer_.Write(number, source, std::nullopt, {})) throw TableEnds{};
        return;
      }
      if (!updates_) updates_ = std::make_unique<RowWriter>(s_, plan_.target, ddl_, report_, BatchKind::UpdateByKey);
      std::vector<ado::Param> params = params_.Params();
      params.push_back(DbKeyParam(dbKey));
      writer_.CountCut(params_.CutInRow());
      if (updates_->WriteBuilt(number, params)) throw TableEnds{};
    } catch (const TableEnds&) {
      throw;
    } catch (const std::exception& e) {
      if (writer_.Refuse(number, e, line::kWriteRow, {})) throw TableEnds{};
    }
  }

  void Extra(const std::string& dbKey) override { plan_.synced.deletes.push_back(dbKey); }

  void Unstorable(long long number, const std::string& why) override {
    if (writer_.Refuse(number, ValueError(why), line::kBuildRow, {})) throw TableEnds{};
  }

  // Sends what is gathered; the rows written through it were inserted (or came in again for an update).
  // May be called more than once.
  bool Flush() {
    // Updates first: they were found before the inserts still gathered.
    const bool updatesEnded = updates_ && updates_->Flush();
    const bool ended = writer_.Flush() || updatesEnded;
    plan_.synced.inserted = report_.written - replaced_;
    plan_.synced.updated = (updates_ ? updates_->Written() : 0) + replaced_;
    return ended;
  }
  const std::string& Why() const { return updates_ && !updates_->Why().empty() ? updates_->Why() : writer_.Why(); }
  void NoteCut() { writer_.NoteCut(ddl_.columnNames); }

 private:
  // A stop asked for during the compare ends it, with the rows gathered so far sent.
  void Check() {
    if (!s_.StopRequested()) return;
    Flush();
    throw Halted{};
  }
  void Delete(const std::string& dbKey) {
    if (!delete_) delete_ = s_.Firebird().Prepare(DeleteByKeyText(plan_.target));
    delete_->Execute({DbKeyParam(dbKey)});
  }

  Session& s_;
  TablePlan& plan_;
  const TableDdl& ddl_;
  TableReport& report_;
  RowWriter writer_;                  // the rows inserted
  std::unique_ptr<RowWriter> updates_;  // the records updated in place, from the first
  ParamBuilder params_;
  std::unique_ptr<ado::PreparedStatement> delete_;
  long long replaced_ = 0;  // updates made as a delete and an insert (written through the writer)
};

}  // namespace

void TableSync::Sync(TablePlan& plan) {
  RunSummary& summary = s_.Summary();
  TableReport& report = summary.Table(plan.source, plan.target);
  plan.report = &report;
  s_.SetTable(&report, plan.rows.value_or(0));
  s_.Text("Please wait.. Bringing table " + plan.source + " up to date");
  TableDdl ddl;
  std::vector<std::string> sourceNames;
  // Firebird is read on a connection of its own, in one snapshot; the changes go on the run's.
  ado::Connection reader;
  if (!s_.SourceStep(line::kSync, [&] { ddl = PlannedTable(s_.Source(), plan.ref, plan.target, plan.types, &sourceNames); }) ||
      !s_.Step(line::kSync, [&] { reader.Open(FireBird::Target(s_.Options().target)); })) {
    report.notes.push_back("not brought up to date: " + FirstLine(s_.LastError()));
    summary.NotInSync();
    return;
  }
  // The table is as a conversion makes it: foreign keys of new tables may refer to it.
  if (plan.keys) {
    plan.keys->Created(ddl, sourceNames);
    plan.keys->kept = true;
  }
  const std::vector<std::string> key = planner_.KeyColumns(plan, line::kSync);
  Applier applier(s_, plan, ddl, report);
  TableVerdict v;
  bool ended = false;
  try {
    s_.SourceStep(line::kSync, [&] {
      v = VerifyTable(s_.Source(), reader, plan.ref, plan.source, plan.target, key, plan.types, 0, nullptr, &applier);
    });
  } catch (const TableEnds&) {
    ended = true;
  } catch (...) {
    // Stopped, or a connection is gone: what was gathered is written first, and counted.
    applier.Flush();
    report.read = v.rows;
    throw;
  }
  ended = applier.Flush() || ended;
  applier.NoteCut();
  report.read = plan.synced.rows = v.rows;
  if (s_.StopRequested()) throw Halted{};
  if (ended || !v.error.empty()) {
    report.notes.push_back("not brought up to date: " + (ended ? applier.Why() : v.error));
    summary.NotInSync();
    return;
  }
  plan.synced.compared = true;
}

namespace {

// Records deleted by one statement.
constexpr size_t kDeleteBlock = 100;

// EXECUTE BLOCK (K0 CHAR(8) CHARACTER SET OCTETS = ?, ...) AS BEGIN DELETE FROM "T" WHERE RDB$DB_KEY = :K0; ... END
std::string DeleteBlockText(const std::string& table, size_t count) {
  std::string params, body;
  for (size_t k = 0; k < count; ++k) {
    const std::string name = "K" + std::to_string(k);
    params += (k ? ", " : "") + name + " CHAR(8) CHARACTER SET OCTETS = ?";
    body += "DELETE FROM " + QuoteIdentifier(table) + " WHERE RDB$DB_KEY = :" + name + "; ";
  }
  return "EXECUTE BLOCK (" + params + ") AS BEGIN " + body + "END";
}

}  // namespace

void TableSync::DeleteRows(std::vector<TablePlan*> order) {
  RunSummary& summary = s_.Summary();
  for (TablePlan* plan : order) {
    if (plan->disposition != Disposition::Sync || !plan->synced.compared) continue;
    TableReport& report = *plan->report;
    s_.SetTable(&report);
    if (!plan->synced.deletes.empty()) {
      if (s_.StopRequested()) {
        report.notes.push_back("not brought up to date: stopped before its " + std::to_string(plan->synced.deletes.size()) +
                               " rows only Firebird holds were deleted");
        summary.NotInSync();
        continue;
      }
      s_.Text("Please wait.. Deleting the rows only Firebird holds from " + plan->source);
      std::unique_ptr<ado::PreparedStatement> remove;
      if (!s_.Step(line::kSync, [&] {
            remove = s_.Firebird().Prepare(DeleteByKeyText(plan->target));
          }))
        continue;
      // Up to kDeleteBlock records a statement (one round trip through a server); a block Firebird refuses
      // is undone whole and its records go one by one, so that exactly the refused ones are rejected.
      const std::vector<std::string>& keys = plan->synced.deletes;
      std::unique_ptr<ado::PreparedStatement> block, part;
      size_t partSize = 0;
      long long n = 0, refused = 0;
      bool ended = false;
      for (size_t at = 0; at < keys.size() && !ended; at += kDeleteBlock) {
        const size_t count = std::min(kDeleteBlock, keys.size() - at);
        if (count > 1) {
          try {
            std::unique_ptr<ado::PreparedStatement>& statement = count == kDeleteBlock ? block : part;
            if (!statement || (count != kDeleteBlock && partSize != count)) {
              statement = s_.Firebird().Prepare(DeleteBlockText(plan->target, count));
              if (count != kDeleteBlock) partSize = count;
            }
            std::vector<ado::Param> params;
            for (size_t k = 0; k < count; ++k) params.push_back(DbKeyParam(keys[at + k]));
            statement->Execute(params);
            plan->synced.deleted += static_cast<long long>(count);
            n += static_cast<long long>(count);
            continue;
          } catch (const ado::DbError& e) {
            if (e.ConnectionLost() || e.LostStatements() > 0) {
              std::string why;
              ++refused;
              s_.RejectRow(n + 1, e, line::kSync, {}, why);
              break;
            }
          }
        }
        for (size_t k = 0; k < count; ++k) {
          ++n;
          try {
            remove->Execute({DbKeyParam(keys[at + k])});
            ++plan->synced.deleted;
          } catch (const std::exception& e) {
            ++refused;
            std::string why;
            if (s_.RejectRow(n, e, line::kSync, {}, why)) {
              ended = true;
              break;
            }
          }
        }
      }
      if (refused > 0) {
        report.notes.push_back(std::to_string(refused) + " of its " + std::to_string(n) +
                               " rows only Firebird holds could not be deleted (the rows named here count among those)");
        summary.NotInSync();
      }
      plan->synced.deletes.clear();
      plan->synced.deletes.shrink_to_fit();
    }
    Finish(*plan);
  }
  // Committed while the file still goes without a disk wait for every page.
  s_.BeforeWait();
  s_.SetTable(nullptr);
}

void TableSync::Finish(TablePlan& plan) {
  TablePlan::Synced& r = plan.synced;
  TableReport& report = *plan.report;
  const bool changed = r.inserted + r.updated + r.deleted > 0;
  s_.Summary().Synced(report, changed ? "brought up to date: " + std::to_string(r.inserted) + " inserted, " +
                                            std::to_string(r.updated) + " updated, " + std::to_string(r.deleted) +
                                            " deleted of " + std::to_string(r.rows) + " rows"
                                      : "in sync (" + std::to_string(r.rows) + " rows)");
  if (!changed) return;
  // An identity goes on after the largest value Firebird now holds.
  const long long step = !plan.keys || plan.keys->schema.identityIncrement == 0 ? 1 : plan.keys->schema.identityIncrement;
  s_.Step(line::kSync, [&] {
    ado::Backend& fb = s_.Firebird().Active();
    s_.Firebird().Flush();
    ado::Recordset col(fb.Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$IDENTITY_TYPE IS NOT NULL AND "
                                "RDB$RELATION_NAME = " +
                                ado::SqlString(plan.target)));
    if (col.Eof()) return;
    const std::string column = QuoteIdentifier(col.Fields(0).value.ToString());
    ado::Recordset max(fb.Query("SELECT MAX(" + column + ") FROM " + QuoteIdentifier(plan.target)));
    if (max.Eof() || max.Fields(0).value.kind != ado::Kind::Integer) return;
    const long long restart = max.Fields(0).value.integer + (step < 0 ? 1 : step) - 1;
    s_.Firebird().Execute("ALTER TABLE " + QuoteIdentifier(plan.target) + " ALTER COLUMN " + column + " RESTART WITH " +
                          std::to_string(restart));
  });
}

}  // namespace conversion
