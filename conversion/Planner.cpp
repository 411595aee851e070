#include "conversion/Planner.h"

#include <algorithm>

#include "connectivity/core/ConnString.h"
#include "connectivity/firebird/FireBird.h"
#include "conversion/ConversionRun.h"
#include "conversion/Names.h"
#include "conversion/TableSync.h"
#include "conversion/Verify.h"

namespace conversion {

TakeUp DecideTakeUp(TakeUpFacts& facts) {
  TakeUp plan;
  // A table whose columns are not the ones this run creates (the user altered it, or the rules changed)
  // is no prefix of this run's copy: it is replaced.
  const std::optional<std::string> differs = facts.ColumnDifference();
  if (!differs) return plan;
  plan.replaceWhy = *differs;
  if (!plan.replaceWhy.empty()) return plan;
  plan.have = facts.FirebirdRows();
  const long long total = facts.SourceRows();
  // What Firebird holds of the keys, for those made after the rows.
  auto keep = [&](Disposition d) {
    plan.disposition = d;
    plan.keysMissing = facts.KeysMissing();
    plan.identityMax = facts.IdentityMax();
    return plan;
  };
  if (plan.have == total && total >= 0) {
    if (facts.Identical(plan.verdict)) return keep(Disposition::Skip);
    return plan;
  }
  // Only the first rows by a one-column key, and exactly those: the rest follow the largest of them.
  const std::vector<std::string> key = facts.KeyColumns();
  if (key.size() != 1 || plan.have <= 0 || plan.have > total) return plan;
  const KeyOrder order = facts.Order(key);
  if (order.column.empty()) {
    plan.replaceWhy = "its first rows cannot be told: " + order.why;
    return plan;
  }
  const ado::Value largest = facts.LargestKey(key[0], !order.collate.empty());
  std::string literal;
  if (largest.kind == ado::Kind::Integer) literal = std::to_string(largest.integer);
  else if (largest.kind == ado::Kind::Decimal) literal = largest.text;
  else if (largest.kind == ado::Kind::Text) literal = "N" + ado::SqlString(largest.text);
  else return plan;
  const std::string& name = order.column;
  // The rows were copied in key order as both databases sort it (text by code point): Firebird holds
  // the first ones exactly when SQL Server has as many up to the largest.
  const long long upTo = facts.SourceRowsUpTo(literal, order);
  if (upTo != plan.have) {
    plan.replaceWhy = "Firebird's " + std::to_string(plan.have) + " rows are not the first ones by its key (SQL Server has " +
                      std::to_string(upTo) + " up to the largest)";
    return plan;
  }
  keep(Disposition::Continue);
  plan.sourceRest = " WHERE " + name + " > " + literal + order.collate + " ORDER BY " + name + order.collate;
  plan.keyText = "the first row after " + key[0] + " = " + (largest.kind == ado::Kind::Text ? ado::SqlString(largest.text) : literal);
  return plan;
}

std::string SyncDifference(TakeUpFacts& facts, bool copyKeys) {
  const std::optional<std::string> columns = facts.ColumnDifference();
  if (!columns) return "its columns could not be read";
  if (!columns->empty()) return *columns;
  return facts.KeyDifference(copyKeys ? facts.KeyColumns() : std::vector<std::string>{});
}

namespace {

// The facts of a table taken up again, read from both databases through the run's steps. A step that
// fails gives the answer that replaces the table.
class DatabaseFacts : public TakeUpFacts {
 public:
  DatabaseFacts(Session& s, Planner& planner, const TablePlan& plan) : s_(s), planner_(planner), plan_(plan) {}

  std::optional<std::string> ColumnDifference() override {
    TableDdl planned;
    if (!s_.SourceStep(line::kTakeUp, [&] { planned = PlannedTable(s_.Source(), plan_.ref, plan_.target, plan_.types); }))
      return std::nullopt;
    std::string why;
    s_.Step(line::kTakeUp, [&] { why = conversion::ColumnDifference(s_.Firebird(), plan_.target, planned.columnNames); });
    return why;
  }
  long long FirebirdRows() override {
    long long have = 0;
    s_.Step(line::kTakeUp, [&] { have = s_.Firebird().Active().Scalar("SELECT COUNT(*) FROM " + QuoteIdentifier(plan_.target)); });
    return have;
  }
  long long SourceRows() override { return plan_.rows ? *plan_.rows : -1; }
  bool Identical(std::string& verdict) override {
    TableVerdict v;
    s_.SourceStep(line::kTakeUp, [&] {
      v = VerifyTable(s_.Source(), s_.Firebird(), plan_.ref, plan_.source, plan_.target, KeyColumns(), plan_.types, 0);
    });
    verdict = v.Text();
    return v.Identical();
  }
  std::vector<std::string> KeyColumns() override {
    if (!key_) key_ = planner_.KeyColumns(plan_, line::kTakeUp);
    return *key_;
  }
  KeyOrder Order(const std::vector<std::string>& key) override {
    std::vector<MSSQL::ColumnInfo> columns;
    if (plan_.keys) columns = plan_.keys->schema.columns;
    else s_.SourceStep(line::kTakeUp, [&] { columns = MSSQL::ReadColumns(s_.Source(), plan_.ref); });
    return KeyOrderOf(key, columns);
  }
  ado::Value LargestKey(const std::string& key, bool text) override {
    // The key's Firebird name: the source name, as the table was created.
    std::string column;
    ado::Value largest;
    s_.Step(line::kTakeUp, [&] {
      ado::Backend& fb = s_.Firebird().Active();
      ado::Recordset cols(fb.Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                                   ado::SqlString(plan_.target)));
      for (; !cols.Eof(); cols.MoveNext())
        if (ado::ToLower(cols.Fields(0).value.ToString()) == ado::ToLower(key)) column = cols.Fields(0).value.ToString();
      if (column.empty()) return;
      // Text by code point, as the copy read it, whatever the column's collation.
      const std::string max = "SELECT MAX(" + QuoteIdentifier(column) + ") FROM " + QuoteIdentifier(plan_.target);
      const std::string binary = "SELECT MAX(" + QuoteIdentifier(column) + " COLLATE UTF8) FROM " + QuoteIdentifier(plan_.target);
      std::unique_ptr<ado::Recordset> rs;
      try {
        rs = std::make_unique<ado::Recordset>(fb.Query(text ? binary : max));
      } catch (const ado::DbError& e) {
        if (!text || e.ConnectionLost()) throw;
        rs = std::make_unique<ado::Recordset>(fb.Query(max));  // a column that is not UTF8 text (a cast)
      }
      if (!rs->Eof()) largest = rs->Fields(0).value;
    });
    return largest;
  }
  long long SourceRowsUpTo(const std::string& literal, const KeyOrder& order) override {
    long long upTo = -1;
    s_.SourceStep(line::kTakeUp, [&] {
      upTo = s_.Source().Active().Scalar("SELECT COUNT(*) FROM " + MSSQL::SqlName(plan_.ref) + " WHERE " + order.column +
                                         " <= " + literal + order.collate);
    });
    return upTo;
  }
  std::string KeyDifference(const std::vector<std::string>& expected) override {
    std::vector<std::string> have;
    s_.Step(line::kTakeUp, [&] {
      ado::Recordset rs(s_.Firebird().Active().Query(
          "SELECT TRIM(S.RDB$FIELD_NAME) FROM RDB$RELATION_CONSTRAINTS C JOIN RDB$INDEX_SEGMENTS S ON S.RDB$INDEX_NAME = "
          "C.RDB$INDEX_NAME WHERE C.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' AND C.RDB$RELATION_NAME = " +
          ado::SqlString(plan_.target) + " ORDER BY S.RDB$FIELD_POSITION"));
      for (; !rs.Eof(); rs.MoveNext()) have.push_back(rs.Fields(0).value.ToString());
    });
    auto text = [](const std::vector<std::string>& columns) {
      std::string t;
      for (const auto& c : columns) t += (t.empty() ? "" : ", ") + c;
      return t.empty() ? std::string("none") : "(" + t + ")";
    };
    bool same = have.size() == expected.size();
    for (size_t i = 0; same && i < have.size(); ++i) same = ado::ToLower(have[i]) == ado::ToLower(expected[i]);
    if (same) return {};
    return "its primary key is " + text(have) + " in Firebird, " + text(expected) + " in a conversion now";
  }
  bool KeysMissing() override {
    bool missing = false;
    s_.Step(line::kTakeUp, [&] {
      missing = s_.Firebird().Active().Scalar("SELECT COUNT(*) FROM RDB$INDICES WHERE RDB$RELATION_NAME = " +
                                              ado::SqlString(plan_.target)) == 0;
    });
    return missing;
  }
  std::optional<long long> IdentityMax() override {
    std::optional<long long> max;
    if (!plan_.keys || plan_.keys->IdentityOrdinal() < 0) return max;
    s_.Step(line::kTakeUp, [&] {
      ado::Backend& fb = s_.Firebird().Active();
      ado::Recordset cols(fb.Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                                   ado::SqlString(plan_.target) +
                                   " AND RDB$FIELD_POSITION = " + std::to_string(plan_.keys->IdentityOrdinal())));
      if (cols.Eof()) return;
      ado::Recordset largest(fb.Query("SELECT MAX(" + QuoteIdentifier(cols.Fields(0).value.ToString()) + ") FROM " +
                                      QuoteIdentifier(plan_.target)));
      if (!largest.Eof() && largest.Fields(0).value.kind == ado::Kind::Integer) max = largest.Fields(0).value.integer;
    });
    return max;
  }

 private:
  Session& s_;
  Planner& planner_;
  const TablePlan& plan_;
  std::optional<std::vector<std::string>> key_;
};

}  // namespace

Planner::Planner(Session& session, const CastRules& casts) : s_(session), casts_(casts) {}

void Planner::ListTables() {
  const RunOptions& o = s_.Options();
  std::vector<std::string> leftOut;
  std::vector<MSSQL::TableRef> listed;
  s_.Step(line::kListSource, [&] { MSSQL::ListSqlServerTables(o.source, listed, &leftOut); });
  for (const auto& name : leftOut) s_.Summary().LeftOut(name, "SQL Server's own diagram table, not user data");
  Name(listed);
  s_.Step(line::kListTarget, [&] { FireBird::ListFirebirdTables(o.target, targetTables_); });
}

void Planner::Name(const std::vector<MSSQL::TableRef>& listed) {
  const RunOptions& o = s_.Options();
  RunSummary& summary = s_.Summary();
  // Tables go by their display names ("Sales.Customer"); each stands for one source table.
  std::vector<std::string> sources;
  const std::vector<std::string> display = MSSQL::DisplayNames(listed);
  for (size_t i = 0; i < listed.size(); ++i) {
    const MSSQL::TableRef& t = listed[i];
    if (!refs_.emplace(display[i], t).second) {
      summary.LeftOut(MSSQL::SqlName(t), "its Firebird name " + display[i] + " is another table's already");
      continue;
    }
    displayOf_[{t.schema, t.name}] = display[i];
    sources.push_back(display[i]);
  }
  // The table choice.
  if (o.only)
    std::erase_if(sources, [&](const std::string& t) { return std::find(o.only->begin(), o.only->end(), t) == o.only->end(); });
  for (const auto& t : o.leftOut) {
    const auto at = std::find(sources.begin(), sources.end(), t);
    if (at != sources.end()) sources.erase(at);
    else if (!o.leftOutWhy.empty()) summary.Note("The table " + t + o.leftOutWhy);
  }
  // Names too long for Firebird are shortened once for the whole run, so that they stay unique.
  const std::vector<std::string> targets = NameShortener::ShortenAll(sources);
  for (size_t i = 0; i < sources.size(); ++i) {
    if (targets[i] != sources[i]) summary.Shortened("table", sources[i], targets[i]);
    TablePlan plan;
    plan.source = sources[i];
    plan.target = targets[i];
    plan.ref = Ref(sources[i]);
    plan.types = TypesFor(o.rules, &casts_, plan.ref);
    plan.types.collations = !o.binaryCollations;
    plans_.push_back(std::move(plan));
  }
}

std::vector<std::string> Planner::SourceNames() const {
  std::vector<std::string> names;
  for (const auto& p : plans_) names.push_back(p.source);
  return names;
}

bool Planner::InFirebird(const std::string& target) const { return ListContains(targetTables_, target); }

void Planner::Dropped(const std::string& target) { ListRemove(targetTables_, target); }

std::string Planner::Display(const MSSQL::TableRef& table) const {
  const auto it = displayOf_.find({table.schema, table.name});
  return it == displayOf_.end() ? MSSQL::DisplayName(table) : it->second;
}

const MSSQL::TableRef& Planner::Ref(const std::string& display) const {
  static const MSSQL::TableRef none;
  const auto it = refs_.find(display);
  return it == refs_.end() ? none : it->second;
}

std::map<std::string, std::vector<MSSQL::CheckInfo>> Planner::ReadChecks() {
  std::map<std::string, std::vector<MSSQL::CheckInfo>> byTable;
  if (!MSSQL::IsSqlServerDriver()) return byTable;
  std::vector<MSSQL::CheckInfo> all;
  s_.SourceStep(line::kReadChecks, [&] { all = MSSQL::ReadChecks(s_.Source()); });
  for (auto& c : all) byTable[Display(c.table)].push_back(std::move(c));
  return byTable;
}

void Planner::ReadKeys() {
  ado::Connection& fb = s_.Firebird();
  RunSummary& summary = s_.Summary();
  int pageSize = 8192;
  std::set<std::string> reserved;
  std::vector<std::string> targets;
  for (const auto& p : plans_) targets.push_back(p.target);
  s_.Step(line::kReadKeys, [&] {
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
  for (auto& plan : plans_) {
    if (s_.StopRequested()) throw Halted{};
    MSSQL::TableSchema schema;
    try {
      schema = MSSQL::ReadSchema(s_.Source(), plan.ref);
      // A foreign key follows the table it refers to by schema and name, never by a name alone.
      for (auto& fk : schema.foreignKeys) fk.refTable = Display(fk.ref);
      schema.checks = std::move(checks[plan.source]);
    } catch (const ado::DbError& e) {
      if (e.ConnectionLost()) {
        s_.SetLastError(e.what());
        s_.Report(e.what(), line::kReadKeys);
        throw Lost{};
      }
      summary.KeyLeftOut("Table \"" + plan.source + "\": its keys and column rules could not be read: " + FirstLine(e.what()));
      continue;
    }
    keys_.Add(plan.source, plan.target, std::move(schema), pageSize);
    // A table the run leaves out may refer to this one: when Firebird does not hold that table either,
    // its foreign key is not made, and is named (one Firebird holds has its keys made again).
    if (refs_.size() > plans_.size()) {
      try {
        for (const auto& [ref, key] : MSSQL::ReadReferringKeys(s_.Source(), plan.ref)) {
          const std::string table = Display(ref);
          const bool inRun = std::any_of(plans_.begin(), plans_.end(), [&](const TablePlan& p) { return p.source == table; });
          if (refs_.count(table) && !inRun && !InFirebird(table))
            summary.KeyLeftOut("Table \"" + table + "\": foreign key \"" + key + "\" (it refers to \"" + plan.source +
                               "\", but \"" + table + "\" is not in this run)");
        }
      } catch (const ado::DbError& e) {
        if (e.ConnectionLost()) throw;
      }
    }
  }
  keys_.NameAll(reserved);
  for (const auto& [from, to] : keys_.NameChanges()) summary.Shortened("key or index", from, to);
  // Keys are found by the plan once every table's are named.
  for (auto& plan : plans_) plan.keys = keys_.Find(plan.source);
}

void Planner::CountRows() {
  // Every table's rows are counted first, so that the whole run's progress is known from the start.
  for (auto& plan : plans_) {
    if (s_.StopRequested()) break;
    s_.Text("Please wait.. Counting the rows of " + plan.source);
    try {
      plan.rows = MSSQL::CountRows(s_.Source(), plan.ref);
      s_.CountRows(*plan.rows);
    } catch (const ado::DbError& e) {
      // The table's own step says what is wrong with it; a lost connection is found there too.
      if (e.ConnectionLost()) break;
    }
  }
}

std::vector<std::string> Planner::KeyColumns(const TablePlan& plan, int at) {
  if (plan.keys) return plan.keys->schema.primaryKey.columns;
  try {
    return MSSQL::ReadSchema(s_.Source(), plan.ref).primaryKey.columns;
  } catch (const ado::DbError& e) {
    // Without the catalogue the table has no key to go by; a lost connection ends the run.
    if (e.ConnectionLost()) s_.SourceStep(at, [&] { throw e; });
  }
  return {};
}

std::unique_ptr<TakeUpFacts> Planner::FactsFor(const TablePlan& plan) {
  if (facts_) return facts_(*this, plan);
  return std::make_unique<DatabaseFacts>(s_, *this, plan);
}

TakeUp Planner::PlanTakeUp(TablePlan& plan) {
  if (!plan.rows) return {};
  return DecideTakeUp(*FactsFor(plan));
}

std::vector<std::pair<std::string, std::string>> Planner::FirebirdForeignKeys() {
  std::vector<std::pair<std::string, std::string>> edges;
  s_.Step(line::kTakeUp, [&] {
    ado::Recordset rs(s_.Firebird().Active().Query(
        "SELECT TRIM(FK.RDB$RELATION_NAME), TRIM(PK.RDB$RELATION_NAME) FROM RDB$RELATION_CONSTRAINTS FK "
        "JOIN RDB$REF_CONSTRAINTS R ON R.RDB$CONSTRAINT_NAME = FK.RDB$CONSTRAINT_NAME "
        "JOIN RDB$RELATION_CONSTRAINTS PK ON PK.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ"));
    for (; !rs.Eof(); rs.MoveNext()) edges.emplace_back(rs.Fields(0).value.ToString(), rs.Fields(1).value.ToString());
  });
  return edges;
}

void Planner::OrderParentsFirst(size_t count) {
  count = std::min(count, plans_.size());
  // The loop takes the last table first: the order is worked out in the loop's order, then turned back.
  std::vector<TablePlan> taken(std::make_move_iterator(plans_.begin()), std::make_move_iterator(plans_.begin() + count));
  std::reverse(taken.begin(), taken.end());
  std::vector<std::string> targets;
  for (const auto& p : taken) targets.push_back(p.target);
  const std::vector<size_t> order = ParentsFirst(targets, FirebirdForeignKeys());
  for (size_t k = 0; k < count; ++k) plans_[count - 1 - k] = std::move(taken[order[k]]);
}

std::vector<TablePlan*> Planner::ChildrenFirst() {
  std::vector<std::string> targets;
  for (const auto& p : plans_) targets.push_back(p.target);
  const std::vector<size_t> order = ParentsFirst(targets, FirebirdForeignKeys());
  std::vector<TablePlan*> out;
  for (auto k = order.rbegin(); k != order.rend(); ++k) out.push_back(&plans_[*k]);
  return out;
}

bool Planner::SyncChosenNow() {
  const bool now = syncChosenNow_;
  syncChosenNow_ = false;
  return now;
}

std::vector<size_t> ParentsFirst(const std::vector<std::string>& targets,
                                 const std::vector<std::pair<std::string, std::string>>& childParent) {
  const size_t n = targets.size();
  std::map<std::string, size_t> at;
  for (size_t i = 0; i < n; ++i) at[ado::ToLower(targets[i])] = i;
  std::vector<std::set<size_t>> parents(n);
  for (const auto& [child, parent] : childParent) {
    const auto c = at.find(ado::ToLower(child)), p = at.find(ado::ToLower(parent));
    if (c != at.end() && p != at.end() && c->second != p->second) parents[c->second].insert(p->second);
  }
  std::vector<size_t> order;
  std::vector<bool> placed(n, false);
  while (order.size() < n) {
    // The first table in the given order whose parents are all placed; in a cycle, the first left.
    size_t next = n;
    for (size_t i = 0; i < n && next == n; ++i) {
      if (placed[i]) continue;
      bool ready = true;
      for (size_t p : parents[i]) ready = ready && placed[p];
      if (ready) next = i;
    }
    // In a cycle: the first table left that leads back to itself through tables not placed yet.
    auto onCycle = [&](size_t start) {
      std::vector<size_t> stack(parents[start].begin(), parents[start].end());
      std::vector<bool> seen(n, false);
      while (!stack.empty()) {
        const size_t t = stack.back();
        stack.pop_back();
        if (t == start) return true;
        if (placed[t] || seen[t]) continue;
        seen[t] = true;
        stack.insert(stack.end(), parents[t].begin(), parents[t].end());
      }
      return false;
    };
    for (size_t i = 0; i < n && next == n; ++i)
      if (!placed[i] && onCycle(i)) next = i;
    placed[next] = true;
    order.push_back(next);
  }
  return order;
}

void Planner::Decide(TablePlan& plan) {
  plan.disposition = Disposition::Create;
  if (!InFirebird(plan.target)) return;
  const RunOptions& o = s_.Options();
  s_.BeforeWait();
  int answer = 0;
  const std::string question = "Would you like to overwrite " + plan.target + "?";
  if (!o.PreviewOn() && !o.resume && !o.sync && !askedOverwrite_) {
    askedOverwrite_ = true;
    answer = s_.Events().AskOverwrite(question, true);
    resumeChosen_ = answer == kResume;
    syncChosen_ = syncChosenNow_ = answer == kSync;
  } else if (!resumeChosen_ && !syncChosen_ && !o.Resuming() && !o.Syncing()) {
    answer = s_.Events().AskOverwrite(question, false);
  }
  // Escape (or Stop) while the question was open: this table is named as not converted, nothing more
  // is made.
  if (s_.StopRequested()) throw Halted{};
  if ((o.sync || syncChosen_) && !o.PreviewOn()) {
    // Brought up to date where it is as a conversion makes it; else left as it is, or replaced.
    std::unique_ptr<TakeUpFacts> facts = FactsFor(plan);
    plan.differs = SyncDifference(*facts, o.copyKeys);
    plan.disposition = plan.differs.empty() ? Disposition::Sync
                       : o.replaceDiffering ? Disposition::Replace
                                            : Disposition::Leave;
    return;
  }
  if ((o.resume || resumeChosen_) && !o.PreviewOn()) {
    // Taken up again: a complete table stays, a partial one goes on after its largest key or is replaced.
    plan.takeUp = PlanTakeUp(plan);
    plan.disposition = plan.takeUp.disposition;
    return;
  }
  plan.disposition = answer == kNo ? Disposition::Leave : Disposition::Replace;
}

}  // namespace conversion
