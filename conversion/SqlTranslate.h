#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "conversion/ColumnTypes.h"

// One translator of SQL Server's expressions and queries into Firebird's, for CHECK constraints and for
// views. It parses the text (names, literals, operators, functions, CASE, subqueries, joins, UNION) and
// writes Firebird's: names resolved to the run's Firebird names and quoted, functions as Firebird names
// them, string + as ||, arithmetic with a real operand kept in 32 bits as SQL Server computes it.
// Whatever it does not know gives nothing, with the first construct that did not translate in `why`.

namespace conversion {

// What SQL Server would compute a value as, as far as the translation needs it (by SQL Server's
// precedence: an expression takes the kind of its operand that ranks highest).
enum class ValueKind { Unknown, Text, Integer, Exact, Real, Float, Date, Time, Timestamp };

// A column of a table or view as a query reads it: its name in the source, its Firebird name, its kind.
struct SourceColumn {
  std::string source, target;
  ValueKind kind = ValueKind::Unknown;
};

// A table or view as Firebird holds it.
struct SourceRelation {
  std::string target;                // Firebird's name
  std::vector<SourceColumn> columns;  // in order; empty when not known
};

// Finds what a view's FROM names: `schema` is the one written, or empty.
class RelationLookup {
 public:
  virtual ~RelationLookup() = default;
  virtual const SourceRelation* Find(const std::string& schema, const std::string& name) = 0;
};

// The kind of a column of the type the type rules gave it ("single" is a real, ...).
ValueKind KindOf(const ColumnType& type);

// Translates the text of a SQL Server CHECK constraint (as sys.check_constraints.definition gives it,
// "([Discount]>=(0) AND [Discount]<=(1))") into a Firebird condition ("\"Discount\" >= 0 AND \"Discount\" <= 1").
// `column` gives a column's Firebird name, or "" when the table has no such column. Parentheses around a
// single value and doubled ones are dropped.
std::optional<std::string> TranslateCheck(const std::string& definition,
                                          const std::function<std::string(const std::string&)>& column,
                                          std::string& why);

// A view's definition (sys.sql_modules.definition, "CREATE VIEW [dbo].[V] AS SELECT ...") in Firebird.
struct TranslatedView {
  std::vector<SourceColumn> columns;  // the view's columns: its names (source = target) and kinds
  std::string select;                 // the query, in Firebird's words
};
// `schema` is the view's own: names it does not qualify are looked for there first, then in dbo.
std::optional<TranslatedView> TranslateView(const std::string& definition, const std::string& schema,
                                            RelationLookup& lookup, TypeRules rules, std::string& why);

// A LIKE pattern of SQL Server (%, _, [a-z], [^a-z]) as a SIMILAR TO pattern with '\' as its escape.
std::string LikeToSimilar(const std::string& pattern);

}  // namespace conversion
