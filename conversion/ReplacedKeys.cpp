#include "conversion/ReplacedKeys.h"

#include "connectivity/core/ConnString.h"

#include "conversion/Keys.h"
#include "conversion/TableDdl.h"

namespace conversion {

void ReplacedKeys::DropTo(const std::string& target) {
  struct Found {
    std::string table, name, ownIndex, refIndex, onUpdate, onDelete;
  };
  std::vector<Found> found;
  s_.Step(line::kDropForeignKeys, [&] {
    ado::Backend& fb = s_.Firebird().Active();
    ado::Recordset rs(fb.Query(
        "SELECT TRIM(FK.RDB$RELATION_NAME), TRIM(FK.RDB$CONSTRAINT_NAME), TRIM(FK.RDB$INDEX_NAME), TRIM(PK.RDB$INDEX_NAME), "
        "TRIM(R.RDB$UPDATE_RULE), TRIM(R.RDB$DELETE_RULE) FROM RDB$RELATION_CONSTRAINTS FK "
        "JOIN RDB$REF_CONSTRAINTS R ON R.RDB$CONSTRAINT_NAME = FK.RDB$CONSTRAINT_NAME "
        "JOIN RDB$RELATION_CONSTRAINTS PK ON PK.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ "
        "WHERE PK.RDB$RELATION_NAME = " +
        ado::SqlString(target) + " AND FK.RDB$RELATION_NAME <> PK.RDB$RELATION_NAME"));
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
      names_.insert(ado::ToLower(f.name));
    }
  });
  for (const auto& f : found) s_.Emit(DropConstraintText(f.table, f.name), line::kDropForeignKeys);
}

void ReplacedKeys::Completed(const std::string& target) { completed_.insert(ado::ToLower(target)); }

void ReplacedKeys::RemakeFor(const std::string& target) {
  std::vector<Dropped> rest;
  for (auto& k : dropped_) {
    if (ado::ToLower(k.target) != ado::ToLower(target)) {
      rest.push_back(std::move(k));
      continue;
    }
    if (!s_.Emit(k.statement, line::kKeys)) s_.Summary().KeyFailed(k.statement, s_.LastError());
  }
  dropped_ = std::move(rest);
}

void ReplacedKeys::Settle(bool lost) {
  std::vector<Dropped> left = std::move(dropped_);
  dropped_.clear();
  bool gone = lost;
  for (const auto& k : left) {
    const bool complete = completed_.count(ado::ToLower(k.target)) > 0;
    if (!gone && s_.Executing() && complete) {
      try {
        if (!s_.Emit(k.statement, line::kKeys)) s_.Summary().KeyFailed(k.statement, s_.LastError());
        continue;
      } catch (const Lost&) {
        gone = true;
      } catch (const Halted&) {
        gone = true;  // cut short by a second Stop: named below like the rest
      }
    }
    if (!s_.Executing()) continue;  // the preview holds the statement; the user runs it with the rest
    s_.Summary().KeyLeftOut("Table \"" + k.table + "\": foreign key \"" + k.name + "\" was dropped to replace \"" + k.target +
                            "\" and is not made again (\"" + k.target + "\" " +
                            (complete ? "holds its rows, but the connection was lost" : "does not hold all its rows") +
                            "): " + k.statement);
  }
}

}  // namespace conversion
