#pragma once
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "connectivity/core/Ado.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/TableDdl.h"

namespace conversion {

// What reading one table back from both databases found.
struct TableVerdict {
  std::string source, target;
  long long rows = 0;       // rows the source holds
  long long differing = 0;  // rows whose key both hold, with some value not equal
  long long missing = 0;    // source rows Firebird does not hold
  long long extra = 0;      // Firebird rows the source does not hold
  long long expected = 0;   // missing rows the run rejected (or could not store at all)
  std::vector<std::string> examples;  // the first differences, by key and column, both values shown
  std::string error;        // why the table could not be compared; empty when it was
  bool Identical() const { return error.empty() && differing == 0 && missing == 0 && extra == 0; }
  // "identical (N rows)", or the counts of what differs; the examples follow on lines of their own.
  std::string Text() const;
};

// Differences named one by one per table.
constexpr size_t kVerifyExamples = 5;

// What comparing a table finds, row by row, for a caller that brings Firebird up to date. Firebird's
// rows are named by their record key (RDB$DB_KEY), the source's by their values as read.
class RowDifferences {
 public:
  virtual ~RowDifferences() = default;
  // A source row Firebird lacks; `number` is its place in the source's order, from 1.
  virtual void Missing(long long number, const std::vector<ado::Value>& source) = 0;
  // A Firebird row the source lacks.
  virtual void Extra(const std::string& dbKey) = 0;
  // A row both hold by its key, with some value not equal.
  virtual void Differs(long long number, const std::vector<ado::Value>& source, const std::string& dbKey) = 0;
  // A source row the program cannot store, and why.
  virtual void Unstorable(long long number, const std::string& why) = 0;
};

// A source row's primary key as one text (its values at `ordinals`, NULL apart), as the run keeps the
// keys of the rows it rejected and verify finds them again.
std::string RowKeyText(const std::vector<ado::Value>& values, const std::vector<size_t>& ordinals);

// Reads the table's rows from SQL Server and from Firebird, both in the order of the primary key (or of
// every column that can be ordered, for a table without one), and compares them value by value as the
// type rules store them: text and bytes exact, numbers exact, times to 1/10000 s, blobs whole. Both
// reads stream side by side. A missing row whose key is one of `rejectedKeys` (the rows the run
// rejected) is expected, not a difference; so are as many more missing rows as `rejectedInRun` (the
// rejected rows whose key the run did not keep, or of a table without a key). `keyColumns` are the
// source's primary key columns (empty: none). With `differences`, each difference is told there as it
// is found. Throws only for a lost connection.
TableVerdict VerifyTable(ado::Connection& source, ado::Connection& target, const MSSQL::TableRef& ref,
                         const std::string& display, const std::string& targetName,
                         const std::vector<std::string>& keyColumns, const TypeOptions& types,
                         long long rejectedInRun, const std::set<std::string>* rejectedKeys = nullptr,
                         RowDifferences* differences = nullptr);

// Plain decimal text in its shortest form ("-0.50" -> "-0.5", "007" -> "7", "-0" -> "0"); anything
// else unchanged.
std::string NormalizeDecimal(const std::string& text);

}  // namespace conversion
