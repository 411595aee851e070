#pragma once
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "connectivity/core/Ado.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/Casts.h"
#include "conversion/Keys.h"
#include "conversion/Session.h"
#include "conversion/TableDdl.h"

namespace conversion {

// What the run does with one table.
enum class Disposition {
  Create,    // Firebird does not hold it: created and filled
  Replace,   // Firebird holds it: dropped, created again and filled
  Continue,  // Firebird holds its first rows by its key: the rest follow the largest
  Skip,      // Firebird holds it whole (verified identical): not copied again
  Leave,     // Firebird holds it and the user keeps it as it is
  Sync,      // Firebird holds it as a conversion makes it: brought up to date with the source
};

// How a table Firebird holds is taken up again, and what was found on the way.
struct TakeUp {
  Disposition disposition = Disposition::Replace;
  long long have = 0;                    // rows Firebird holds
  bool keysMissing = false;              // the table has no index yet (its keys were never made)
  std::optional<long long> identityMax;  // the identity's largest value in Firebird
  std::string sourceRest;                // Continue: " WHERE [k] > ... ORDER BY [k]"
  std::string keyText;                   // Continue: where the copy goes on, for the summary
  std::string verdict;                   // Skip: what comparing it found ("identical (N rows)")
  std::string replaceWhy;                // Replace: why the table could not be taken up, where it is told
};

// What both databases say about a table Firebird holds, asked only as far as the decision needs.
class TakeUpFacts {
 public:
  virtual ~TakeUpFacts() = default;
  // Why Firebird's columns are not the ones the run creates; empty when they are; none when the source's
  // columns could not be read (the table is replaced, and the failed step said why).
  virtual std::optional<std::string> ColumnDifference() = 0;
  virtual long long FirebirdRows() = 0;
  // Rows the source holds; -1 when they could not be counted.
  virtual long long SourceRows() = 0;
  // Both read whole and compared; `verdict` says what was found.
  virtual bool Identical(std::string& verdict) = 0;
  // The source's primary key columns, and how both sides order the key.
  virtual std::vector<std::string> KeyColumns() = 0;
  virtual KeyOrder Order(const std::vector<std::string>& key) = 0;
  // The largest key value Firebird holds (Null: none), text in UTF8's binary order; and the source's rows
  // up to it.
  virtual ado::Value LargestKey(const std::string& column, bool text) = 0;
  virtual long long SourceRowsUpTo(const std::string& literal, const KeyOrder& order) = 0;
  // Firebird's table has no index yet (its keys were never made); its identity's largest value.
  virtual bool KeysMissing() = 0;
  virtual std::optional<long long> IdentityMax() = 0;
  // Why Firebird's primary key is not the one a conversion makes now (`expected`); empty when it is.
  virtual std::string KeyDifference(const std::vector<std::string>& expected) = 0;
};

// The decision for a table Firebird holds that is to be taken up again: Skip when it is whole,
// Continue when it holds exactly the first rows by a one-column key, else Replace (with the reason
// where one is worth telling).
TakeUp DecideTakeUp(TakeUpFacts& facts);

// Whether a table Firebird holds can be brought up to date: its columns and primary key (`copyKeys`:
// the source's, else none) are what a conversion makes now. Empty when they are, else why not.
std::string SyncDifference(TakeUpFacts& facts, bool copyKeys);

// One table of the run, as planned and as it turned out.
struct TablePlan {
  std::string source;  // display name ("Sales.Customer")
  std::string target;  // Firebird name
  MSSQL::TableRef ref;
  std::optional<long long> rows;  // counted before the first table
  TableKeys* keys = nullptr;      // its keys, indexes and rules, when they are copied
  TypeOptions types;
  Disposition disposition = Disposition::Create;
  TakeUp takeUp;  // Continue, Skip and Replace-after-resume
  // Sync: why the table is not as a conversion makes it now (it is left, or replaced).
  std::string differs;
  // As it turned out: every row is in Firebird (and its keys were due), or it was skipped as whole.
  bool complete = false;
  TableReport* report = nullptr;  // its entry in the summary, once it has one
  // Brought up to date: what comparing it found and what was written.
  struct Synced {
    bool compared = false;
    long long rows = 0, inserted = 0, updated = 0, deleted = 0;
    std::vector<std::string> deletes;  // Firebird's record keys of the rows only it holds
  } synced;
};

// Lists, chooses and names the run's tables, reads their keys and counts their rows; decides, table by
// table, what is done with each that Firebird holds (the "Overwrite?" questions and taking up again).
class Planner {
 public:
  Planner(Session& session, const CastRules& casts);

  // The source's tables, chosen as the options say and named for Firebird; Firebird's tables.
  void ListTables();
  // The listed source tables chosen and named, one plan each.
  void Name(const std::vector<MSSQL::TableRef>& listed);
  void ReadKeys();
  void CountRows();
  // Bringing tables up to date: the first `count` tables, in the order the loop takes them (last first),
  // become parents' before their children's, as Firebird's foreign keys between them say.
  void OrderParentsFirst(size_t count = static_cast<size_t>(-1));
  // Every table, children's before their parents', for deleting.
  std::vector<TablePlan*> ChildrenFirst();
  // The first "Overwrite?" was just answered kSync: the tables not taken yet are to be ordered for it.
  bool SyncChosenNow();
  std::vector<TablePlan>& Tables() { return plans_; }
  // Display names of the tables listed, and of those Firebird holds; the source table of a display name.
  std::vector<std::string> SourceNames() const;
  const std::vector<std::string>& TargetTables() const { return targetTables_; }
  bool InFirebird(const std::string& target) const;
  void Dropped(const std::string& target);
  const MSSQL::TableRef& Ref(const std::string& display) const;
  std::string Display(const MSSQL::TableRef& table) const;
  // The source's CHECK constraints, by display name of their table.
  std::map<std::string, std::vector<MSSQL::CheckInfo>> ReadChecks();
  // The source table's primary key columns (empty: none), from the keys read for the run or the catalogue.
  std::vector<std::string> KeyColumns(const TablePlan& plan, int at);
  // What is done with the table: asks "Overwrite?" and takes it up again as the options and the answers
  // say. Throws Halted when the run was stopped while a question was open.
  void Decide(TablePlan& plan);
  // Where the facts of a table taken up again come from: both databases, unless replaced (a test's
  // recorded facts).
  using FactsSource = std::function<std::unique_ptr<TakeUpFacts>(Planner&, const TablePlan&)>;
  void SetFacts(FactsSource facts) { facts_ = std::move(facts); }
  // The tables Firebird holds (ListTables reads them).
  void SetFirebirdTables(std::vector<std::string> tables) { targetTables_ = std::move(tables); }
  const KeyPlan& Keys() const { return keys_; }
  KeyPlan& Keys() { return keys_; }

 private:
  TakeUp PlanTakeUp(TablePlan& plan);
  std::unique_ptr<TakeUpFacts> FactsFor(const TablePlan& plan);
  // Firebird's foreign keys: referring table, referred table.
  std::vector<std::pair<std::string, std::string>> FirebirdForeignKeys();

  Session& s_;
  std::vector<TablePlan> plans_;
  std::vector<std::string> targetTables_;
  std::map<std::string, MSSQL::TableRef> refs_;                            // display name: the source table
  std::map<std::pair<std::string, std::string>, std::string> displayOf_;  // schema and name: display name
  KeyPlan keys_;
  const CastRules& casts_;
  FactsSource facts_;
  bool askedOverwrite_ = false;  // the run asked its first Overwrite?
  bool resumeChosen_ = false;    // ... and it was answered kResume
  bool syncChosen_ = false;      // ... or kSync
  bool syncChosenNow_ = false;
};

}  // namespace conversion
