#pragma once
#include <string>
#include <utility>
#include <vector>

#include "connectivity/core/Ado.h"
#include "connectivity/sqlserver/MSSQL.h"

namespace conversion {

// Receives one row per source column for the Datatypes Conversion list.
class DatatypeSink {
 public:
  virtual ~DatatypeSink() = default;
  virtual void AppendRow(const std::string& table, const std::string& column) = 0;
  virtual void SetLastRowTypes(const std::string& keyword, const std::string& firebirdType) = 0;
  virtual void Clear() = 0;
};

// How a column's values are written.
enum class Storage {
  Number,      // bare numerals
  Text,        // quoted text in a VARCHAR ... CHARACTER SET UTF8
  TextBlob,    // BLOB SUB_TYPE TEXT CHARACTER SET UTF8
  Binary,      // X'..' in a VARCHAR ... CHARACTER SET OCTETS
  BinaryBlob,  // BLOB SUB_TYPE BINARY
  Other,       // quoted (dates, times)
};

// What the type rules decide for one column.
struct ColumnType {
  std::string columnText;    // " INTEGER, " as appended after the quoted name
  std::string keyword;       // "int"
  std::string firebirdType;  // "INTEGER"
  bool numeric = false;
  bool blob = false;         // a blob column, text or binary
  Storage storage = Storage::Other;
  long length = 0;           // VARCHAR length: characters (text) or bytes (binary)
  int scale = -1;            // exact numerics (NUMERIC, DECIMAL): the scale a value must fit
  int fraction = -1;         // a timestamp kept as text: the digits of a second it is written with
};

// Which rules choose the Firebird types: Firebird's own types (text as VARCHAR, real as FLOAT, time as
// TIME), or the classic rules (national text as blobs, real and time as text).
enum class TypeRules { Firebird, Classic };
// "firebird" or "classic", any case; false for anything else.
bool ParseTypeRules(const std::string& text, TypeRules& rules);
const char* TypeRulesName(TypeRules rules);

class CastRules;
// How one table's columns get their types.
struct TypeOptions {
  TypeRules rules = TypeRules::Firebird;
  const CastRules* casts = nullptr;  // the user's own rules, which beat the type rules
  std::string schema = "dbo";        // the source table's schema and name, as the cast rules name it
  std::string sourceTable;           // (empty: the table's Firebird name)
};

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

}  // namespace conversion
