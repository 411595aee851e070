#pragma once
// Reading back from Firebird's system tables what a conversion made of keys, indexes, identities,
// NOT NULL columns and defaults.
#include <string>
#include <vector>

#include "connectivity/core/Ado.h"
#include "connectivity/core/ConnString.h"
#include "support/TestSupport.h"

namespace testsupport {

// "1" when the column is NOT NULL, "0" otherwise.
inline std::string NotNull(ado::Connection& c, const std::string& table, const std::string& column) {
  return Rows(c, "SELECT COALESCE(RDB$NULL_FLAG, 0) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                     ado::SqlString(table) + " AND RDB$FIELD_NAME = " + ado::SqlString(column))
      .at(0)
      .at(0);
}

// The column's default clause as Firebird keeps it ("DEFAULT 0"), "<null>" for none.
inline std::string DefaultOf(ado::Connection& c, const std::string& table, const std::string& column) {
  return Rows(c, "SELECT CAST(RDB$DEFAULT_SOURCE AS VARCHAR(200)) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                     ado::SqlString(table) + " AND RDB$FIELD_NAME = " + ado::SqlString(column))
      .at(0)
      .at(0);
}

// A subquery: the columns of the index named by `index`, in key order, comma-separated.
inline std::string Segments(const std::string& index) {
  return "(SELECT LIST(TRIM(S.RDB$FIELD_NAME), ',') FROM (SELECT RDB$FIELD_NAME FROM RDB$INDEX_SEGMENTS "
         "WHERE RDB$INDEX_NAME = " + index + " ORDER BY RDB$FIELD_POSITION) S)";
}

// The constraints of a table, "TYPE name(col,col)" each, sorted.
inline std::vector<std::string> Constraints(ado::Connection& c, const std::string& table) {
  std::vector<std::string> out;
  for (const auto& r : Rows(c,
                            "SELECT TRIM(RC.RDB$CONSTRAINT_TYPE), TRIM(RC.RDB$CONSTRAINT_NAME), " +
                                Segments("RC.RDB$INDEX_NAME") +
                                " FROM RDB$RELATION_CONSTRAINTS RC WHERE RC.RDB$RELATION_NAME = " +
                                ado::SqlString(table) + " AND RC.RDB$CONSTRAINT_TYPE <> 'NOT NULL' ORDER BY 1, 2"))
    out.push_back(r[0] + " " + r[1] + "(" + r[2] + ")");
  return out;
}

// The indexes of a table that no constraint made: "name(col,col) unique desc", sorted.
inline std::vector<std::string> PlainIndexes(ado::Connection& c, const std::string& table) {
  std::vector<std::string> out;
  for (const auto& r : Rows(c,
                            "SELECT TRIM(I.RDB$INDEX_NAME), COALESCE(I.RDB$UNIQUE_FLAG, 0), COALESCE(I.RDB$INDEX_TYPE, 0), " +
                                Segments("I.RDB$INDEX_NAME") +
                                " FROM RDB$INDICES I WHERE I.RDB$RELATION_NAME = " +
                                ado::SqlString(table) +
                                " AND NOT EXISTS (SELECT 1 FROM RDB$RELATION_CONSTRAINTS RC WHERE RC.RDB$INDEX_NAME = "
                                "I.RDB$INDEX_NAME) ORDER BY 1"))
    out.push_back(r[0] + "(" + r[3] + ")" + (r[1] == "1" ? " unique" : "") + (r[2] == "1" ? " desc" : ""));
  return out;
}

// The foreign key's referential rules as Firebird keeps them: "CASCADE/RESTRICT" (delete/update).
inline std::string KeyRules(ado::Connection& c, const std::string& constraint) {
  const auto r = Rows(c, "SELECT TRIM(RDB$DELETE_RULE) || '/' || TRIM(RDB$UPDATE_RULE) FROM RDB$REF_CONSTRAINTS WHERE "
                         "RDB$CONSTRAINT_NAME = " + ado::SqlString(constraint));
  return r.empty() ? std::string() : r[0][0];
}

// 1 for an identity column (by default), "<null>" for none.
inline std::string IdentityType(ado::Connection& c, const std::string& table, const std::string& column) {
  return Rows(c, "SELECT RDB$IDENTITY_TYPE FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " + ado::SqlString(table) +
                     " AND RDB$FIELD_NAME = " + ado::SqlString(column))
      .at(0)
      .at(0);
}

}  // namespace testsupport
