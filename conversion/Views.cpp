#include "conversion/Views.h"

#include <set>

#include "connectivity/core/ConnString.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/Keys.h"
#include "conversion/Names.h"
#include "conversion/TableDdl.h"

namespace conversion {

namespace {

std::string Key(const std::string& schema, const std::string& name) {
  return ado::ToLower((schema.empty() ? std::string("dbo") : schema) + "." + name);
}

}  // namespace

const SourceRelation* Views::Table(const std::string& key) {
  for (TablePlan& plan : planner_.Tables()) {
    if (Key(plan.ref.schema, plan.ref.name) != key) continue;
    SourceRelation& r = known_[key];
    r.target = plan.target;
    if (plan.keys && plan.keys->IsCreated()) {
      const TableKeys& k = *plan.keys;
      for (size_t i = 0; i < k.SourceColumns().size() && i < k.TargetColumns().size(); ++i)
        r.columns.push_back({k.SourceColumns()[i], k.TargetColumns()[i], KindOf(k.Types()[i])});
    } else if (s_.Executing()) {
      // Taken as it was (skipped, or the run copies no keys): Firebird's own columns, by their names.
      s_.Step(line::kViews, [&] {
        ado::Recordset rs(s_.Firebird().Active().Query(
            "SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " + ado::SqlString(plan.target) +
            " ORDER BY RDB$FIELD_POSITION"));
        for (; !rs.Eof(); rs.MoveNext()) {
          const std::string c = rs.Fields(0).value.ToString();
          r.columns.push_back({c, c, ValueKind::Unknown});
        }
      });
    }
    return &r;
  }
  return nullptr;
}

const SourceRelation* Views::Find(const std::string& schema, const std::string& name) {
  const std::string key = Key(schema, name);
  if (auto it = known_.find(key); it != known_.end()) return &it->second;
  if (pending_.count(key)) {
    waitsFor_ = key;
    return nullptr;
  }
  return Table(key);
}

void Views::Make() {
  MakeSourceViews();
  // Views dropped to replace a table come back after the source's (on any other ending, the run's
  // settling makes them or names them).
  replaced_.RemakeViews();
}

void Views::MakeSourceViews() {
  if (!MSSQL::IsSqlServerDriver()) return;
  std::vector<MSSQL::ViewDefinition> views;
  if (!s_.SourceStep(line::kViews, [&] { views = MSSQL::ReadViews(s_.Source()); }) || views.empty()) return;
  RunSummary& summary = s_.Summary();
  for (const auto& v : views) pending_[Key(v.schema, v.name)] = MSSQL::DisplayName({v.schema, v.name});
  // Views share Firebird's names with tables: a view's shortened name avoids every table's (a view of an
  // earlier run, which Firebird lists with its tables, is replaced).
  std::set<std::string> viewNames;
  for (const auto& [key, display] : pending_) viewNames.insert(ado::ToLower(display));
  NameShortener names;
  for (const TablePlan& plan : planner_.Tables()) names.Reserve(plan.target);
  for (const std::string& t : planner_.TargetTables())
    if (!viewNames.count(ado::ToLower(t))) names.Reserve(t);
  s_.Text("Please wait.. Making the views");
  Session::FirebirdWork cancellable(s_);
  // Each pass makes the views whose views are made; a view that waits for one that never comes is named.
  std::vector<const MSSQL::ViewDefinition*> left;
  for (const auto& v : views) left.push_back(&v);
  for (bool progress = true; progress && !left.empty();) {
    progress = false;
    std::vector<const MSSQL::ViewDefinition*> waiting;
    for (const MSSQL::ViewDefinition* v : left) {
      if (s_.StopRequested()) throw Halted{};
      const std::string key = Key(v->schema, v->name);
      const std::string display = pending_[key];
      if (v->definition.empty()) {
        summary.NotCarried("VIEW", display, "its definition is encrypted");
        pending_.erase(key);
        progress = true;
        continue;
      }
      std::string why;
      waitsFor_.clear();
      const auto translated = TranslateView(v->definition, v->schema, *this, s_.Options().rules, why);
      if (!translated && !waitsFor_.empty()) {
        waiting.push_back(v);
        continue;
      }
      progress = true;
      pending_.erase(key);
      if (!translated) {
        summary.NotCarried("VIEW", display, "not translated (" + why + ")");
        continue;
      }
      const std::string target = names.Shorten(display);
      if (target != display) summary.Shortened("view", display, target);
      std::string columns;
      for (const SourceColumn& c : translated->columns) columns += (columns.empty() ? "" : ", ") + QuoteIdentifier(c.target);
      const std::string statement =
          "CREATE OR ALTER VIEW " + QuoteIdentifier(target) + " (" + columns + ") AS " + translated->select + ";";
      if (!s_.Emit(statement, line::kViews)) {
        summary.NotCarried("VIEW", display, "Firebird refused it: " + FirstLine(s_.LastError()));
        continue;
      }
      known_[key] = {target, translated->columns};
      replaced_.ViewMade(target);
    }
    left = std::move(waiting);
  }
  for (const MSSQL::ViewDefinition* v : left)
    summary.NotCarried("VIEW", pending_[Key(v->schema, v->name)], "not translated (it reads a view that could not be made)");
}

}  // namespace conversion
