#pragma once
#include <string>
#include <utility>
#include <vector>

#include "connectivity/core/Ado.h"

namespace MSSQL {

// Whether the session with SQL Server is encrypted: Request encrypts when the server asks for it
// (the driver's own default), Require refuses a server that cannot encrypt before any login is sent,
// Off never encrypts (a server that demands encryption then refuses the login).
enum class Encrypt { Off, Request, Require };

// The fields of the "MS SQL Server Login" panel, as typed, and how the session is protected.
struct Login {
  Login() = default;
  Login(std::string serverName, std::string serverPort, std::string databaseName, std::string userName,
        std::string userPassword, bool localConnection = false)
      : server(std::move(serverName)), port(std::move(serverPort)), database(std::move(databaseName)),
        user(std::move(userName)), password(std::move(userPassword)), local(localConnection) {}
  std::string server, port, database, user, password;
  bool local = false;  // "Local Connection": no port
  Encrypt encrypt = Encrypt::Request;
  // A PEM bundle of trusted certificates: the server's certificate must chain to it and name the host
  // typed in `server`, else the login is refused. Empty: the certificate is not checked.
  std::string caFile;
};

// Login time-out of the login tests; the run's working connection sets its own.
constexpr int kLoginTestTimeout = 15;

// "Driver={SQL Server};Server=..." in the local form or with ",port". Values that would break the
// string are braced the way the registered driver reads them; throws ado::DbError when a value
// cannot be sent to that driver at all.
std::string ConnectionString(const Login& login);

// How a login refused for encryption or the certificate begins its message (the reason follows, then
// the driver's own words on the next line).
constexpr const char* kRefusedForEncryption = "The login was refused for encryption: ";

// Opens the connection with the login. A refusal that encryption or the certificate explains says so
// (see Encryption.h); every other failure is the driver's own.
void Open(ado::Connection& conn, const Login& login);

// Opens and releases a connection; false on any failure, without a message.
bool CanOpenSqlServer(const Login& login, std::string* why = nullptr);

// A table of the source: its schema (owner; empty where the source has none) and name.
struct TableRef {
  std::string schema, name;
  TableRef() = default;
  TableRef(std::string tableName) : name(std::move(tableName)) {}  // NOLINT: a table of no schema
  TableRef(const char* tableName) : name(tableName) {}              // NOLINT
  TableRef(std::string schemaName, std::string tableName) : schema(std::move(schemaName)), name(std::move(tableName)) {}
};
// The name a table goes by in this program and in Firebird: a table of dbo (or of no schema) keeps its
// name, any other is "Schema.Name".
std::string DisplayName(const TableRef& table);
// The display names of a listing, one a table. Where two tables would go by one name (dbo's table
// "Sales.Cust" beside schema Sales's "Cust", or "a.b"."c" beside "a"."b.c"), each of them whose schema
// or name holds a dot gets "~" and six hexadecimal digits taken from its schema and name, so that the
// two stay two, the same every run.
std::vector<std::string> DisplayNames(const std::vector<TableRef>& tables);
// How SQL Server statements name it: "[Schema].[Name]", or "[Name]" without a schema.
std::string SqlName(const TableRef& table);

// Empties `list` and fills it with the user tables: what the driver reports as TABLE, less SQL Server's
// own diagram tables ("sysdiagrams", "dtproperties"), which go to `leftOut` when it is given.
// Throws ado::DbError on failure (the list keeps what was added).
void ListSqlServerTables(const Login& login, std::vector<TableRef>& list, std::vector<std::string>* leftOut = nullptr);

// The table of `list` that `wanted` names, without regard to case: its display name ("Sales.Customer"),
// or a table name alone when only one schema has a table of that name. Empty, with the reason in `why`,
// when none or several do.
std::string FindTable(const std::vector<TableRef>& list, const std::string& wanted, std::string& why);

// "[name]", with "]" doubled.
std::string QuotedName(const std::string& name);

// The number of rows of a table. SQL Server's COUNT(*) stops at 2^31 - 1 rows, COUNT_BIG goes on;
// sources without it are counted plainly.
long long CountRows(ado::Connection& conn, const TableRef& table);

// True when the registered "SQL Server" driver is FreeTDS, which talks to SQL Server itself (and its
// catalogue views); false for a stand-in source.
bool IsSqlServerDriver();

// What the source's catalogue says about a table's columns, keys and indexes.
struct ColumnInfo {
  std::string name;
  std::string typeName;  // the catalogue's (an alias type's own name, "hierarchyid"), " identity" left off
  bool notNull = false;
  bool identity = false;
  bool computed = false;  // a computed column: SQL Server works its values out
  std::string defaultText;  // as the catalogue gives it ("((0))", "(getdate())"), "" for none
  std::string collation;    // a text column's collation ("SQL_Latin1_General_CP1_CI_AS"), "" for others
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
  std::string name, refKeyName;
  std::string refTable;  // the display name of the table it refers to (DisplayName; a run maps `ref`)
  TableRef ref;          // the table it refers to
  std::vector<std::string> columns, refColumns;  // in key order
  KeyRule onDelete = KeyRule::NoAction, onUpdate = KeyRule::NoAction;
};
// A CHECK constraint, as sys.check_constraints gives it.
struct CheckInfo {
  TableRef table;
  std::string name, definition;
  bool notTrusted = false;  // made or enabled WITH NOCHECK: rows may break it
  bool disabled = false;
};
struct TableSchema {
  std::vector<ColumnInfo> columns;
  IndexInfo primaryKey;  // no columns: none
  std::vector<IndexInfo> indexes;  // unique and not, the primary key's own index left out
  std::vector<ForeignKeyInfo> foreignKeys;
  std::vector<CheckInfo> checks;  // not read by ReadSchema: ReadChecks gives them for the whole database
  long long identitySeed = 1, identityIncrement = 1;
  const ColumnInfo* Column(const std::string& name) const;
};

// Reads a table's columns (SQLColumns), primary key (SQLPrimaryKeys), indexes (SQLStatistics) and
// foreign keys (SQLForeignKeys). Where the source can tell (SQL Server's catalogue views), filtered, XML
// and spatial indexes and indexes with included columns are marked; so are the identity's seed and step.
TableSchema ReadSchema(ado::Connection& conn, const TableRef& table);
// The foreign keys of other tables that refer to this one: the referring table and the key's name, one
// entry per key.
std::vector<std::pair<TableRef, std::string>> ReadReferringKeys(ado::Connection& conn, const TableRef& table);
// Only the columns: names, catalogue type names, NOT NULL, identity and computed.
std::vector<ColumnInfo> ReadColumns(ado::Connection& conn, const TableRef& table);

// Every CHECK constraint of the database; throws ado::DbError where the source has no such view.
std::vector<CheckInfo> ReadChecks(ado::Connection& conn);

// What the database holds besides tables: kind is VIEW, PROCEDURE, FUNCTION, TRIGGER, SYNONYM,
// XML_SCHEMA_COLLECTION or FULLTEXT_INDEX; `table` is a trigger's or full-text index's table.
struct SourceObject {
  std::string schema, name, kind, table;
};
std::vector<SourceObject> ReadObjects(ado::Connection& conn);

// A view and its definition (empty when SQL Server keeps it encrypted).
struct ViewDefinition {
  std::string schema, name, definition;
};
std::vector<ViewDefinition> ReadViews(ado::Connection& conn);

// A sequence; the values are decimal text (a sequence may be of a decimal type).
struct SequenceInfo {
  std::string schema, name, type, start, increment, current;
  bool used = true;  // it has handed out a value: the next is current + increment, else current
};
std::vector<SequenceInfo> ReadSequences(ado::Connection& conn);

// True for the tables SQL Server keeps for its database diagrams.
bool IsDiagramTable(const std::string& name);

}  // namespace MSSQL
