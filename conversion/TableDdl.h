#pragma once
#include <string>
#include <utility>
#include <vector>

#include "connectivity/core/Ado.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/ColumnTypes.h"

namespace conversion {

struct TableDdl {
  std::string createTable;   // CREATE TABLE "T" ("A" INTEGER, ...);
  std::string numericList;   // "0, 3, "
  std::vector<bool> numeric; // per column ordinal
  std::vector<bool> blob;    // per column ordinal: the column is a blob
  std::vector<ColumnType> columns;
  std::vector<std::string> columnNames;  // as created in Firebird
  // Columns whose names were too long for Firebird: source name, Firebird name.
  std::vector<std::pair<std::string, std::string>> shortened;
  // Character columns made blobs so that the row fits: column name as created.
  std::vector<std::string> madeBlob;
};

// Longest VARCHAR Firebird keeps, in bytes; a UTF8 character takes up to four.
constexpr long kMaxVarcharBytes = 32765;
constexpr long kMaxUtf8Chars = kMaxVarcharBytes / 4;
// Firebird's record limit, in bytes.
constexpr long kMaxRowBytes = 65535;

// The first of the type rules whose keyword occurs in the lower-cased ADO type name.
ColumnType ApplyTypeRules(const ado::Field& field, TypeRules rules = TypeRules::Firebird);
// Makes `c` a VARCHAR of `length` characters (text) or bytes (binary), or a blob where VARCHAR cannot
// hold it.
void SetCharacter(ColumnType& c, bool binary, long length);

// The Firebird collation of UTF8 text that compares as a SQL Server collation does: case-insensitive
// (..._CI_AS) UNICODE_CI, case- and accent-insensitive (..._CI_AI) UNICODE_CI_AI, case-sensitive
// (..._CS_AS) UNICODE; empty (UTF8's binary order) for binary collations (_BIN, _BIN2) and the rest.
std::string FirebirdCollation(const std::string& sqlServerCollation);

// Bytes the column takes in a Firebird record (with its alignment).
long RowBytes(const ColumnType& c);
// Turns the widest character columns into blobs until the table's record fits Firebird's limit;
// returns the ordinals it changed.
// Columns marked in `pinned` stay as they are.
std::vector<size_t> FitRow(std::vector<ColumnType>& columns, const std::vector<bool>& pinned = {});

class TableKeys;

// The CREATE TABLE text, numeric column list and Datatype conversion rows of an open result set; with
// `keys`, its columns carry NOT NULL, defaults and identity, and key columns stay indexable.
TableDdl BuildCreateTable(const std::string& table, const ado::Recordset& rs, DatatypeSink* sink,
                          TableKeys* keys = nullptr, const TypeOptions& options = {});

// "name" with every '"' doubled.
std::string QuoteIdentifier(const std::string& name);
// SELECT * FROM [schema].[name] with every "]" doubled.
std::string SelectAllText(const MSSQL::TableRef& table);

// How the columns of `table` get their types under these rules and casts.
TypeOptions TypesFor(TypeRules rules, const CastRules* casts, const MSSQL::TableRef& table);
std::string DropTableText(const std::string& table);

// The table the run creates for a source table: its columns and their Firebird types, as the run names
// them; the source's own column names go to `sourceNames`.
TableDdl PlannedTable(ado::Connection& source, const MSSQL::TableRef& ref, const std::string& targetName,
                      const TypeOptions& types, std::vector<std::string>* sourceNames = nullptr);

// Why Firebird's table does not have exactly the columns the run creates (by name, in order); empty
// when it does.
std::string ColumnDifference(ado::Connection& target, const std::string& table, const std::vector<std::string>& columns);

}  // namespace conversion
