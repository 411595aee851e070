#pragma once
#include <optional>
#include <string>
#include <vector>

#include "conversion/Planner.h"
#include "conversion/ReplacedKeys.h"
#include "conversion/Session.h"

namespace conversion {

struct TableDdl;

// How one table's copy turned out.
struct TableOutcome {
  bool created = false;                  // the table is there to hold rows (created, or continued)
  bool complete = false;                 // every row the source holds is in Firebird (or in the preview)
  std::optional<long long> identityMax;  // the largest value written to the identity column
};

// Copies one table: drops what Firebird holds (with the foreign keys that point at it), creates it, and
// streams its rows reader -> parameters -> batches into Firebird (or as statements into the preview).
class TableCopier {
 public:
  TableCopier(Session& session, Planner& planner, ReplacedKeys& replaced)
      : s_(session), planner_(planner), replaced_(replaced) {}
  TableOutcome Copy(TablePlan& plan);

 private:
  // The rows from the open result set; false when the table could not go on (why in `why_`).
  bool ExportRows(const TablePlan& plan, ado::Recordset& rs, const TableDdl& ddl, TableOutcome& outcome);
  // The row's key as verification looks it up, when the run keeps the keys of its rejected rows.
  std::string RowKey(const std::vector<ado::Value>& values) const;

  Session& s_;
  Planner& planner_;
  ReplacedKeys& replaced_;
  TableReport* table_ = nullptr;
  std::vector<size_t> keyOrdinals_;  // the table's key columns among its source columns
  std::string why_;                  // why the table stopped short
};

}  // namespace conversion
