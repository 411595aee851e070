#pragma once
#include <stdexcept>
#include <string>
#include <vector>

#include "connectivity/core/Ado.h"
#include "conversion/ColumnTypes.h"

namespace conversion {

// A rule the user wrote that cannot be used; the message names the rule.
class CastError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One "SOURCE=TARGET" rule: every column of a SQL Server type, or one column, created as TARGET.
struct CastRule {
  std::string text;  // as the user wrote it
  // A column rule: the column's table (and schema, when given) and name; empty for a type rule.
  std::string schema, table, column;
  // A type rule: the lower-cased type name, and its length (or precision) and scale when given (-1 if not;
  // "max" is 0).
  std::string typeName;
  long length = -1;
  int scale = -1;
  ColumnType target;  // what the column becomes
};

// Parses "SOURCE=TARGET"; throws CastError for a malformed rule or a TARGET that is no Firebird type.
CastRule ParseCast(const std::string& text);

// The column type a Firebird type text stands for ("VARCHAR(60)", "DOUBLE PRECISION", "BLOB SUB_TYPE TEXT"),
// written as it is created; text types get CHARACTER SET UTF8 unless one is named. Throws CastError.
ColumnType ParseFirebirdType(const std::string& text);

// The rules of a saved list: separated by ";" or line breaks outside "quotes" and [brackets].
std::vector<std::string> SplitCastList(const std::string& text);

// The user's cast rules of one run; remembers which of them matched a column.
class CastRules {
 public:
  CastRules() = default;
  // Parses every rule; throws CastError for the first that cannot be used.
  explicit CastRules(const std::vector<std::string>& texts);
  bool Empty() const { return rules_.empty(); }
  const std::vector<CastRule>& Rules() const { return rules_; }
  // The rule for a column of the source table schema.table (a column rule beats a type rule); null when
  // none applies.
  const CastRule* Find(const std::string& schema, const std::string& table, const ado::Field& field) const;
  // The rules that matched no column so far.
  std::vector<std::string> Unused() const;

 private:
  std::vector<CastRule> rules_;
  mutable std::vector<bool> used_;
};

}  // namespace conversion
