#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "connectivity/core/ConnString.h"
#include "conversion/Planner.h"
#include "conversion/ReplacedKeys.h"
#include "conversion/Session.h"

namespace conversion {

// What the source holds besides rows: after each table its keys, indexes and CHECKs (and the foreign
// keys of other tables made again); at the end the foreign keys, the sequences and the names of what is
// not carried over.
class Constraints {
 public:
  Constraints(Session& session, Planner& planner, ReplacedKeys& replaced)
      : s_(session), planner_(planner), replaced_(replaced) {}

  // The table holds its rows: its keys and indexes, its CHECKs that its rows keep; with `settle`, the
  // foreign keys dropped to replace it are made again, and a per-table preview gets the foreign keys
  // whose tables are both done.
  void AfterTable(const TablePlan& plan, const std::optional<long long>& identityMax, bool settle);
  // The table's rows are all there (its foreign keys may be made), or a per-table preview skipped it.
  void Done(const std::string& source) { done_.insert(ado::ToLower(source)); }
  void Undone(const std::string& source) { done_.erase(ado::ToLower(source)); }
  bool IsDone(const std::string& source) const { return done_.count(ado::ToLower(source)) > 0; }
  // Foreign keys whose tables are both done (all remaining ones with `everyRemaining`).
  void ForeignKeys(bool everyRemaining);
  // The foreign keys the last per-table preview was given.
  const std::vector<std::string>& GivenHere() const { return givenHere_; }
  // The run copies no keys: the CHECKs of its tables are named as not carried over.
  void NameChecks();
  // Makes the source's sequences in Firebird, continuing where they stand.
  void Sequences();
  // A column whose default is the next value of a sequence gets a trigger that fills it when an INSERT
  // leaves it NULL (after Sequences, for the tables made in this run).
  void SequenceDefaults();
  // Names what the source holds besides tables: views, procedures, functions, triggers, ...
  void NameObjects();

 private:
  // Routes key statements; a refused one is named in the summary.
  void Route(const std::vector<std::string>& statements, int at);
  // Adds the table's CHECK constraints that translate and that its rows keep; names the others.
  void Checks(const TableKeys& keys);
  // How many of the `breaking` rows break the condition only in letter case: "" when none do (or the
  // table has no text to compare), else the words the summary adds.
  std::string CaseOnly(const std::string& target, const std::string& condition, long long breaking);

  Session& s_;
  Planner& planner_;
  ReplacedKeys& replaced_;
  std::set<std::string> done_;          // lower-cased source names of the tables created and filled
  std::vector<std::string> givenHere_;  // foreign keys put into the current table's own preview
  std::map<std::string, std::string> sequenceNames_;  // lower-cased "Schema.Name" of the source: Firebird's name
};

}  // namespace conversion
