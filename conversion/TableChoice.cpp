#include "conversion/TableChoice.h"

#include <fnmatch.h>

#include <set>

#include "connectivity/core/ConnString.h"

namespace conversion {

bool IsTablePattern(const std::string& text) { return text.find_first_of("*?[") != std::string::npos; }

bool TableMatches(const std::string& pattern, const MSSQL::TableRef& table) {
  const std::string p = ado::ToLower(pattern);
  // The display name, the name alone, or the schema and name written out ("dbo.Order*" for dbo's tables,
  // whose display names carry no schema).
  return fnmatch(p.c_str(), ado::ToLower(MSSQL::DisplayName(table)).c_str(), 0) == 0 ||
         fnmatch(p.c_str(), ado::ToLower(table.name).c_str(), 0) == 0 ||
         (!table.schema.empty() && fnmatch(p.c_str(), ado::ToLower(table.schema + "." + table.name).c_str(), 0) == 0);
}

TableChoice ChooseTables(const std::vector<MSSQL::TableRef>& listed, const std::vector<std::string>& include,
                         const std::vector<std::string>& exclude) {
  TableChoice out;
  // The display names each list names; false (with the error set) on an unknown plain name.
  const std::vector<std::string> display = MSSQL::DisplayNames(listed);
  auto named = [&](const std::vector<std::string>& entries, std::set<std::string>& names) {
    for (const auto& e : entries) {
      if (IsTablePattern(e)) {
        bool any = false;
        for (size_t i = 0; i < listed.size(); ++i) {
          if (!TableMatches(e, listed[i])) continue;
          names.insert(display[i]);
          any = true;
        }
        if (!any) out.notes.push_back("The pattern " + e + " matches no table.");
        continue;
      }
      std::string why;
      const std::string found = MSSQL::FindTable(listed, e, why);
      if (found.empty()) {
        out.error = why;
        return false;
      }
      names.insert(found);
    }
    return true;
  };
  std::set<std::string> in, out_;
  if (!named(include, in) || !named(exclude, out_)) return out;
  for (const auto& name : display)
    if ((include.empty() || in.count(name)) && !out_.count(name)) out.chosen.push_back(name);
  return out;
}

}  // namespace conversion
