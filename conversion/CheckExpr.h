#pragma once
#include <functional>
#include <optional>
#include <string>

namespace conversion {

// Translates the text of a SQL Server CHECK constraint (as sys.check_constraints.definition gives it,
// "([Discount]>=(0) AND [Discount]<=(1))") into a Firebird condition ("\"Discount\" >= 0 AND \"Discount\" <= 1").
// Carried: column names (through `column`, which gives a column's Firebird name or "" when the table has no
// such column), numbers, string literals, comparisons, AND/OR/NOT, IN, BETWEEN, IS [NOT] NULL, arithmetic,
// CASE, LIKE (with [...] classes as SIMILAR TO), getdate()/sysdatetime() as CURRENT_TIMESTAMP, len() as the
// length without trailing spaces, upper(), lower(), abs(), isnull() and coalesce(). Parentheses around a
// single value and doubled ones are dropped. Anything else gives nothing, with the reason in `why`.
std::optional<std::string> TranslateCheck(const std::string& definition,
                                          const std::function<std::string(const std::string&)>& column,
                                          std::string& why);

// A LIKE pattern of SQL Server (%, _, [a-z], [^a-z]) as a SIMILAR TO pattern with '\' as its escape.
std::string LikeToSimilar(const std::string& pattern);

}  // namespace conversion
