#pragma once
#include <string>
#include <vector>

#include "connectivity/Ado.h"

namespace MSSQL {

// The fields of the "MS SQL Server Login" panel, as typed.
struct Login {
  std::string server, port, database, user, password;
  bool local = false;  // "Local Connection": no port
};

// Login time-out of the login tests; the run's working connection sets its own.
constexpr int kLoginTestTimeout = 15;

// "Driver={SQL Server};Server=..." in the local form or with ",port". Values that would break the
// string are braced the way the registered driver reads them; throws ado::DbError when a value
// cannot be sent to that driver at all.
std::string ConnectionString(const Login& login);

// Opens and releases a connection; false on any failure, without a message.
bool CanOpenSqlServer(const Login& login, std::string* why = nullptr);

// Empties `list` and fills it with the user tables: what the driver reports as TABLE, less SQL Server's
// own diagram tables ("sysdiagrams", "dtproperties"), which go to `leftOut` when it is given.
// Throws ado::DbError on failure (the list keeps what was added).
void ListSqlServerTables(const Login& login, std::vector<std::string>& list,
                         std::vector<std::string>* leftOut = nullptr);

// "[name]", with "]" doubled.
std::string QuotedName(const std::string& name);

// The number of rows of a table. SQL Server's COUNT(*) stops at 2^31 - 1 rows, COUNT_BIG goes on;
// sources without it are counted plainly.
long long CountRows(ado::Connection& conn, const std::string& table);

// What the source's catalogue says about a table's columns, keys and indexes.
struct ColumnInfo {
  std::string name;
  bool notNull = false;
  bool identity = false;
  std::string defaultText;  // as the catalogue gives it ("((0))", "(getdate())"), "" for none
};
struct IndexInfo {
  std::string name;
  bool unique = false;
  bool descending = false;           // every column descending
  bool mixedOrder = false;           // some columns ascending, some descending
  std::vector<std::string> columns;  // in index order
  std::string leftOutWhy;            // a kind of index Firebird cannot hold ("filtered", ...)
};
// Referential actions, as the foreign key's clauses name them.
enum class KeyRule { NoAction, Cascade, SetNull, SetDefault };
struct ForeignKeyInfo {
  std::string name, refTable, refKeyName;
  std::vector<std::string> columns, refColumns;  // in key order
  KeyRule onDelete = KeyRule::NoAction, onUpdate = KeyRule::NoAction;
};
struct TableSchema {
  std::vector<ColumnInfo> columns;
  IndexInfo primaryKey;  // no columns: none
  std::vector<IndexInfo> indexes;  // unique and not, the primary key's own index left out
  std::vector<ForeignKeyInfo> foreignKeys;
  long long identitySeed = 1, identityIncrement = 1;
  const ColumnInfo* Column(const std::string& name) const;
};

// Reads a table's columns (SQLColumns), primary key (SQLPrimaryKeys), indexes (SQLStatistics) and
// foreign keys (SQLForeignKeys). Where the source can tell (SQL Server's catalogue views), filtered, XML
// and spatial indexes and indexes with included columns are marked; so are the identity's seed and step.
TableSchema ReadSchema(ado::Connection& conn, const std::string& table);

// True for the tables SQL Server keeps for its database diagrams.
bool IsDiagramTable(const std::string& name);

}  // namespace MSSQL
