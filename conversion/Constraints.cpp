#include "conversion/Constraints.h"

#include "connectivity/core/ConnString.h"

#include <charconv>
#include <limits>

#include "conversion/Names.h"
#include "conversion/TableDdl.h"

namespace conversion {

void Constraints::AfterTable(const TablePlan& plan, const std::optional<long long>& identityMax, bool settle) {
  if (!plan.keys) return;
  // Keys and indexes are built once, over the rows.
  std::vector<std::string> leftOut;
  const auto statements = plan.keys->AfterRows(identityMax, leftOut);
  for (const auto& l : leftOut) s_.Summary().KeyLeftOut(l);
  Route(statements, line::kKeys);
  Checks(*plan.keys);
  if (!settle) return;
  // Foreign keys of other tables dropped to replace this one are made again over its new rows.
  replaced_.RemakeFor(plan.target);
  if (s_.Options().PreviewPerTable()) ForeignKeys(false);
}

void Constraints::Route(const std::vector<std::string>& statements, int at) {
  Session::FirebirdWork cancellable(s_);
  for (size_t i = 0; i < statements.size(); ++i) {
    try {
      if (!s_.Emit(statements[i], at)) s_.Summary().KeyFailed(statements[i], s_.LastError());
    } catch (const Halted&) {
      // Stopped while keys were built: those not made are named with their statements.
      for (size_t j = i; j < statements.size(); ++j) s_.Summary().KeyLeftOut("not made (stopped): " + statements[j]);
      throw;
    }
  }
}

void Constraints::ForeignKeys(bool everyRemaining) {
  givenHere_.clear();
  std::vector<std::string> leftOut;
  // A foreign key whose table was skipped is not missing while Firebird still holds it (or it was made again).
  std::set<std::string> existing = replaced_.Names();
  s_.Step(line::kForeignKeys, [&] {
    ado::Recordset rs(s_.Firebird().Active().Query(
        "SELECT TRIM(RDB$CONSTRAINT_NAME) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_TYPE = 'FOREIGN KEY'"));
    for (; !rs.Eof(); rs.MoveNext()) existing.insert(ado::ToLower(rs.Fields(0).value.ToString()));
  });
  const auto statements = planner_.Keys().ForeignKeys(done_, everyRemaining, leftOut, existing);
  for (const auto& l : leftOut) s_.Summary().KeyLeftOut(l);
  // A per-table run gives each foreign key with the later of its tables, never after the last one.
  if (everyRemaining && s_.Options().PreviewPerTable()) return;
  Route(statements, line::kForeignKeys);
  givenHere_ = statements;
}

void Constraints::NameChecks() {
  const std::vector<std::string> sources = planner_.SourceNames();
  for (auto& [table, checks] : planner_.ReadChecks())
    if (std::find(sources.begin(), sources.end(), table) != sources.end())
      for (const auto& c : checks)
        s_.Summary().NotCarried("CHECK", planner_.Display(c.table) + "." + c.name,
                                "keys and rules are not copied: " + c.definition);
}

std::string Constraints::CaseOnly(const std::string& target, const std::string& condition, long long breaking) {
  // The rows counted again with every UTF8 text column compared without regard to case, as SQL Server's
  // usual collations compare them.
  std::string select;
  bool text = false;
  long long blind = breaking;
  const bool counted = s_.Step(line::kKeys, [&] {
    ado::Recordset cols(s_.Firebird().Active().Query(
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
      blind = s_.Firebird().Active().Scalar("SELECT COUNT(*) FROM (SELECT " + select + " FROM " + QuoteIdentifier(target) +
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

void Constraints::Checks(const TableKeys& keys) {
  Session::FirebirdWork cancellable(s_);
  RunSummary& summary = s_.Summary();
  std::vector<std::pair<std::string, std::string>> notCarried;
  for (const CheckStatement& c : keys.Checks(notCarried)) {
    const std::string name = keys.source + "." + c.sourceName;
    if (s_.Executing()) {
      // Firebird checks only rows written after the constraint: rows already there that break it (SQL
      // Server let them in WITH NOCHECK, or compares differently) are counted first.
      long long breaking = 0;
      if (!s_.Step(line::kKeys, [&] {
            breaking = s_.Firebird().Active().Scalar("SELECT COUNT(*) FROM " + QuoteIdentifier(keys.target) + " WHERE NOT (" +
                                                     c.condition + ")");
          })) {
        summary.NotCarried("CHECK", name, "refused by Firebird: " + Reason(s_.LastError()));
        continue;
      }
      if (breaking > 0) {
        summary.NotCarried("CHECK", name,
                           "refused: " + std::to_string(breaking) +
                               (breaking == 1 ? " row of the table breaks" : " rows of the table break") + " it" +
                               CaseOnly(keys.target, c.condition, breaking) + ": " + c.condition);
        continue;
      }
    }
    if (!s_.Emit(c.statement, line::kKeys)) summary.NotCarried("CHECK", name, "refused by Firebird: " + Reason(s_.LastError()));
  }
  for (const auto& [n, why] : notCarried) summary.NotCarried("CHECK", n, why);
}

void Constraints::Sequences() {
  if (!MSSQL::IsSqlServerDriver()) return;
  RunSummary& summary = s_.Summary();
  std::vector<MSSQL::SequenceInfo> sequences;
  if (!s_.SourceStep(line::kSequences, [&] { sequences = MSSQL::ReadSequences(s_.Source()); }) || sequences.empty()) return;
  std::set<std::string> existing;
  if (s_.Executing()) {
    s_.Step(line::kSequences, [&] {
      ado::Recordset rs(s_.Firebird().Active().Query("SELECT TRIM(RDB$GENERATOR_NAME) FROM RDB$GENERATORS"));
      for (; !rs.Eof(); rs.MoveNext()) existing.insert(ado::ToLower(rs.Fields(0).value.ToString()));
    });
  }
  NameShortener names;
  for (const auto& q : sequences) {
    const std::string source = MSSQL::DisplayName({q.schema, q.name});
    const std::string target = names.Shorten(source);
    if (target != source) summary.Shortened("sequence", source, target);
    long long current = 0, step = 0;
    auto number = [](const std::string& text, long long& n) {
      return std::from_chars(text.data(), text.data() + text.size(), n).ec == std::errc() && !text.empty();
    };
    if (!number(q.current, current) || !number(q.increment, step) || step == 0) {
      summary.Note("Sequence \"" + source + "\" was not made: its values (" + q.current + ", step " + q.increment +
                   ") pass Firebird's 64-bit sequences");
      continue;
    }
    const bool there = existing.count(ado::ToLower(target)) > 0;
    if (there && !s_.Options().Syncing()) {
      summary.Note("Sequence \"" + source + "\" was left as it is: Firebird has a sequence \"" + target + "\" already");
      sequenceNames_[ado::ToLower(source)] = target;
      continue;
    }
    // Firebird 3's INCREMENT BY is a 32-bit number, and its parser takes no literal below -2147483647.
    if (step > std::numeric_limits<int>::max() || step < -std::numeric_limits<int>::max()) {
      summary.Note("Sequence \"" + source + "\" was not made: its step " + q.increment +
                   " passes Firebird's, which is at most 2147483647 either way");
      continue;
    }
    // Firebird 3 hands out START WITH plus the step first; SQL Server's next value is current plus the
    // step once the sequence has been used, and current itself before.
    long long start = current, next = 0;
    if (!q.used && __builtin_sub_overflow(current, step, &start)) {
      summary.Note("Sequence \"" + source + "\" was not made: its first value " + q.current +
                   " cannot be given as Firebird's START WITH (start minus step passes 64 bits)");
      continue;
    }
    // SQL Server stops with an error past the last 64-bit value; Firebird's next value wraps around.
    const bool atEnd = q.used && __builtin_add_overflow(current, step, &next);
    // Brought up to date, a sequence Firebird holds goes on where the source's stands.
    const std::string statement = there ? "ALTER SEQUENCE " + QuoteIdentifier(target) + " RESTART WITH " + std::to_string(start) +
                                              " INCREMENT BY " + std::to_string(step) + ";"
                                        : "CREATE SEQUENCE " + QuoteIdentifier(target) + " START WITH " + std::to_string(start) +
                                              " INCREMENT BY " + std::to_string(step) + ";";
    if (!s_.Emit(statement, line::kSequences)) {
      summary.Note("Sequence \"" + source + "\" was not made: " + Reason(s_.LastError()));
      continue;
    }
    sequenceNames_[ado::ToLower(source)] = target;
    if (atEnd)
      summary.Note("Sequence \"" + source + "\" has handed out its last value (" + q.current +
                   "): SQL Server gives no more, but Firebird's next value wraps around to the other end of 64 bits");
  }
}

void Constraints::SequenceDefaults() {
  RunSummary& summary = s_.Summary();
  NameShortener names;
  if (s_.Executing()) {
    s_.Step(line::kSequences, [&] {
      ado::Recordset rs(s_.Firebird().Active().Query("SELECT TRIM(RDB$TRIGGER_NAME) FROM RDB$TRIGGERS"));
      for (; !rs.Eof(); rs.MoveNext()) names.Reserve(rs.Fields(0).value.ToString());
    });
  }
  for (const TablePlan& plan : planner_.Tables()) {
    const TableKeys* keys = plan.keys;
    if (!keys || !keys->IsCreated() || keys->kept || !IsDone(plan.source)) continue;
    for (const auto& c : keys->schema.columns) {
      std::string schema, name;
      if (c.identity || !SequenceOfDefault(c.defaultText, schema, name)) continue;
      const std::string column = keys->TargetColumn(c.name);
      const auto sequence = sequenceNames_.find(ado::ToLower(MSSQL::DisplayName({schema, name})));
      auto leftOut = [&](const std::string& why) {
        summary.KeyLeftOut("Table \"" + plan.source + "\": the default " + c.defaultText + " of column \"" + c.name + "\" (" +
                           why + ")");
      };
      if (column.empty()) continue;
      if (sequence == sequenceNames_.end()) {
        leftOut("its sequence is not in Firebird");
        continue;
      }
      const std::string trigger = names.Shorten(plan.target + "_" + column + "_NEXT");
      if (!s_.Emit(SequenceTriggerText(trigger, plan.target, column, sequence->second), line::kSequences))
        leftOut("its trigger was refused: " + Reason(s_.LastError()));
    }
  }
}

void Constraints::NameObjects() {
  if (!MSSQL::IsSqlServerDriver()) return;
  std::vector<MSSQL::SourceObject> objects;
  if (!s_.SourceStep(line::kObjects, [&] { objects = MSSQL::ReadObjects(s_.Source()); })) return;
  for (const auto& o : objects) {
    if (o.kind == "VIEW") continue;  // made, or named, by the views' own phase
    // A full-text index goes by its table; a trigger names its table too.
    if (o.kind == "FULLTEXT_INDEX")
      s_.Summary().NotCarried(o.kind, o.schema + "." + (o.table.empty() ? o.name : o.table));
    else if (o.schema.empty())  // a database trigger belongs to no schema
      s_.Summary().NotCarried(o.kind, o.name);
    else
      s_.Summary().NotCarried(o.kind, o.schema + "." + o.name,
                              o.kind == "TRIGGER" && !o.table.empty() ? "on table " + planner_.Display({o.schema, o.table}) : "");
  }
}

}  // namespace conversion
