#include "conversion/ReplacedKeys.h"

#include "connectivity/core/ConnString.h"

#include "conversion/Keys.h"
#include "conversion/TableDdl.h"

namespace conversion {

void ReplacedKeys::DropViewsOf(const std::string& target) {
  std::vector<View> found;  // views that read the table, then those that read them, ...
  s_.Step(line::kDropTable, [&] {
    ado::Backend& fb = s_.Firebird().Active();
    std::set<std::string> seen;
    std::vector<std::string> reads{target};
    for (size_t at = 0; at < reads.size(); ++at) {
      ado::Recordset rs(fb.Query("SELECT DISTINCT TRIM(RDB$DEPENDENT_NAME) FROM RDB$DEPENDENCIES WHERE RDB$DEPENDENT_TYPE = 1 "
                                 "AND RDB$DEPENDED_ON_TYPE IN (0, 1) AND RDB$DEPENDED_ON_NAME = " +
                                 ado::SqlString(reads[at])));
      std::vector<std::string> names;
      for (; !rs.Eof(); rs.MoveNext()) names.push_back(rs.Fields(0).value.ToString());
      for (const auto& name : names) {
        // A view met again is made after the last view it reads.
        if (!seen.insert(name).second)
          for (auto it = found.begin(); it != found.end(); ++it)
            if (it->name == name) {
              found.erase(it);
              break;
            }
        ado::Recordset src(fb.Query("SELECT RDB$VIEW_SOURCE FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = " + ado::SqlString(name)));
        ado::Recordset cols(fb.Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                                     ado::SqlString(name) + " ORDER BY RDB$FIELD_POSITION"));
        std::string list;
        for (; !cols.Eof(); cols.MoveNext()) list += (list.empty() ? "" : ", ") + QuoteIdentifier(cols.Fields(0).value.ToString());
        found.push_back({name, "CREATE OR ALTER VIEW " + QuoteIdentifier(name) + " (" + list + ") AS " +
                                   (src.Eof() ? std::string() : src.Fields(0).value.ToString()) + ";"});
        reads.push_back(name);
      }
    }
  });
  for (auto it = found.rbegin(); it != found.rend(); ++it)
    if (s_.Emit("DROP VIEW " + QuoteIdentifier(it->name) + ";", line::kDropTable)) views_.push_back(*it);
}

void ReplacedKeys::RemakeViews() {
  // Dropped last-read first: made again in the opposite order. A view stays listed until its statement
  // has gone, so that an ending in between names it.
  while (!views_.empty()) {
    const View v = views_.back();
    if (!madeViews_.count(ado::ToLower(v.name)) && !s_.Emit(v.statement, line::kViews))
      s_.Summary().NotCarried("VIEW", v.name, "dropped to replace a table it reads, and refused by Firebird again: " +
                                                  FirstLine(s_.LastError()) + ": " + v.statement);
    views_.pop_back();
  }
}

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
  // Views not made again yet (the run ended before its views): made now where they can be, else named.
  if (!lost && s_.Executing()) {
    try {
      RemakeViews();
    } catch (const Lost&) {
      lost = true;
    } catch (const Halted&) {
    }
  }
  for (auto it = views_.rbegin(); it != views_.rend(); ++it)
    s_.Summary().NotCarried("VIEW", it->name, "dropped to replace a table it reads, and not made again: " + it->statement);
  views_.clear();
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
