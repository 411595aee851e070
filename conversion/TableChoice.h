#pragma once
#include <string>
#include <vector>

#include "connectivity/sqlserver/MSSQL.h"

namespace conversion {

// True when `text` holds a shell-style wildcard (*, ?, [...]).
bool IsTablePattern(const std::string& text);
// A shell-style pattern against a table, without regard to case: its display name ("Sales.Customer") or
// its name alone ("Customer") may match.
bool TableMatches(const std::string& pattern, const MSSQL::TableRef& table);

// Which tables of `listed` a run takes: those `include` names (all when it is empty) less those `exclude`
// names. Each entry is a table (Schema.Table, or a name one schema alone has) or a pattern.
struct TableChoice {
  std::vector<std::string> chosen;  // display names, in the order of `listed`
  std::vector<std::string> notes;   // patterns that matched nothing
  std::string error;                // an unknown or ambiguous plain name: nothing is to be done
};
TableChoice ChooseTables(const std::vector<MSSQL::TableRef>& listed, const std::vector<std::string>& include,
                         const std::vector<std::string>& exclude);

}  // namespace conversion
