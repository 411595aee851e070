#pragma once
#include <string>
#include <vector>

#include "conversion/Planner.h"
#include "conversion/Session.h"

namespace conversion {

// Brings tables Firebird holds up to date with the source: both are read side by side in key order, as
// verification reads them; the rows Firebird lacks are inserted and the rows that differ updated at
// once (parents' tables before their children's), the rows only Firebird holds deleted at the end
// (children's before their parents'). Rows that did not change are not written.
class TableSync {
 public:
  TableSync(Session& session, Planner& planner) : s_(session), planner_(planner) {}
  // Inserts and updates one table's rows; its deletes wait for DeleteRows.
  void Sync(TablePlan& plan);
  // The rows only Firebird holds, deleted table by table in `order`; then each synced table's identity
  // restarts after its largest value and its summary line is written.
  void DeleteRows(std::vector<TablePlan*> order);

 private:
  void Finish(TablePlan& plan);

  Session& s_;
  Planner& planner_;
};

// The tables in an order their foreign keys in Firebird allow for inserts: each table after the tables
// it refers to (a cycle keeps the order it was given).
std::vector<size_t> ParentsFirst(const std::vector<std::string>& targets,
                                 const std::vector<std::pair<std::string, std::string>>& childParent);

}  // namespace conversion
