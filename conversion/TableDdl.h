#pragma once
#include <string>
#include <vector>

#include "connectivity/Ado.h"

namespace conversion {

// Receives one row per source column for the Datatypes Conversion list.
class DatatypeSink {
 public:
  virtual ~DatatypeSink() = default;
  virtual void AppendRow(const std::string& table, const std::string& column) = 0;
  virtual void SetLastRowTypes(const std::string& keyword, const std::string& firebirdType) = 0;
  virtual void Clear() = 0;
};

// What the type rules decide for one column.
struct ColumnType {
  std::string columnText;    // " INTEGER, " as appended after the quoted name
  std::string keyword;       // "int"
  std::string firebirdType;  // "INTEGER"
  bool numeric = false;
  bool blob = false;         // BLOB SUB_TYPE TEXT
};

struct TableDdl {
  std::string createTable;   // CREATE TABLE "T" ("A" INTEGER, ...);
  std::string numericList;   // "0, 3, "
  std::vector<bool> numeric; // per column ordinal
  std::vector<bool> blob;    // per column ordinal: the column is a text blob
};

// Character columns are capped at 32000 divided by the table's column count.
short CharacterLength(long definedSize, int fieldCount);

// The first of the eleven rules whose keyword occurs in the lower-cased ADO type name.
ColumnType ApplyTypeRules(const ado::Field& field, int fieldCount);

// The CREATE TABLE text, numeric column list and Datatype conversion rows of an open result set.
TableDdl BuildCreateTable(const std::string& table, const ado::Recordset& rs, DatatypeSink* sink);

// "name" with every '"' doubled.
std::string QuoteIdentifier(const std::string& name);
// SELECT * FROM [name] with every "]" doubled.
std::string SelectAllText(const std::string& table);
std::string DropTableText(const std::string& table);

}  // namespace conversion
