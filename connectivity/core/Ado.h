#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "connectivity/core/DbError.h"
#include "connectivity/core/Value.h"

namespace ado {

// What an operation on a closed (or an open) connection or statement says, as the database classes put it.
constexpr const char* kClosedText = "Operation is not allowed when the object is closed.";
constexpr const char* kOpenText = "Operation is not allowed when the object is open.";

// Column description as the result set reports it (ADO type codes, see conversion/Datatype.h).
struct Field {
  std::string Name;
  int Type = 0;
  long DefinedSize = 0;
  int Precision = 0;
  int NumericScale = 0;
  bool AutoIncrement = false;  // the driver reports the column as filled by the database (an identity)
  std::string TypeName;        // the source's own name of the type ("nvarchar", "decimal"), where known
  int Fraction = -1;           // digits of a second that times and timestamps keep; -1 where unknown
  std::string Collation;       // the source's collation of a text column ("Latin1_General_CI_AS"), from its catalogue
  Value value;
  // Why the current row's value of this column could not be read (empty when it was).
  std::string ReadError;
};

// One parameter of a prepared statement, typed as the engine receives it.
struct Param {
  enum class Type { Null, Int64, Double, Text, Octets, TextBlob, BinaryBlob, Date, Timestamp };
  Type type = Type::Null;
  std::int64_t integer = 0;  // Int64: the value times 10^-scale
  int scale = 0;             // Int64: 0 or negative
  double floating = 0;
  std::string_view bytes;    // Text and blobs: borrowed from the row's values
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  unsigned tenThousandths = 0;
};

// A statement prepared once and executed with parameters many times.
class PreparedStatement {
 public:
  virtual ~PreparedStatement() = default;
  virtual void Execute(const std::vector<Param>& params) = 0;
};

// A forward cursor of one backend.
class Cursor {
 public:
  virtual ~Cursor() = default;
  virtual std::vector<Field>& Columns() = 0;
  // Reads the next row into the columns' values; false past the last row.
  virtual bool Fetch() = 0;
};

// The ODBC catalogue functions, asked for one table.
enum class CatalogQuery {
  Columns,      // SQLColumns
  PrimaryKeys,  // SQLPrimaryKeys
  Statistics,   // SQLStatistics, every index
  ForeignKeys,  // SQLForeignKeys: the keys the table holds
  ReferencedBy, // SQLForeignKeys: the keys of other tables that refer to it
};

class Backend {
 public:
  virtual ~Backend() = default;
  virtual void Execute(const std::string& sql) = 0;
  virtual std::unique_ptr<Cursor> Query(const std::string& sql) = 0;
  virtual std::unique_ptr<Cursor> Tables() = 0;
  // The number a single-value query yields (SELECT COUNT(*) ...).
  virtual long long Scalar(const std::string& sql);
  // Makes pending work durable (a no-op where every statement commits by itself).
  virtual void Flush() {}
  // A statement with "?" parameters, executed in the same grouped transactions as Execute; null where
  // the backend has no such path. `rows` is how many rows one execution writes (an EXECUTE BLOCK of
  // several INSERTs), as the count of undone statements tells them when a commit fails.
  virtual std::unique_ptr<PreparedStatement> Prepare(const std::string& /*sql*/, int /*rows*/ = 1) { return nullptr; }
  // Asks the statement under way to end early; called from another thread. Does nothing where the
  // backend cannot, or when no statement is under way.
  virtual void Cancel() {}
  // Forgets a Cancel that found nothing under way, so that it cannot end the next statement.
  virtual void ClearCancel() {}
  // What the driver's catalogue says about one table (of schema `owner`, any when empty); throws DbError
  // where there is no catalogue.
  virtual std::unique_ptr<Cursor> Catalog(CatalogQuery what, const std::string& table, const std::string& owner = {});
  virtual void Close() = 0;
};

// What the Firebird client attaches with: a file (or "host:path") and the login values, as typed.
struct FirebirdTarget {
  std::string database, user, password, charset, role;
};

// A database connection. Settings are stored before Open and applied where the client allows.
class Connection {
 public:
  int CommandTimeout = 30;
  int ConnectionTimeout = 15;

  Connection() = default;
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Chooses the client by the string: the Firebird driver named in it goes to the Firebird client,
  // everything else to ODBC as it stands. Throws DbError when the login fails.
  void Open(const std::string& connectionString);
  void Open(const FirebirdTarget& target);
  void Execute(const std::string& sql);
  std::unique_ptr<PreparedStatement> Prepare(const std::string& sql, int rows = 1) { return Active().Prepare(sql, rows); }
  std::unique_ptr<Cursor> Catalog(CatalogQuery what, const std::string& table, const std::string& owner = {}) {
    return Active().Catalog(what, table, owner);
  }
  // The table catalogue: fields TABLE_NAME and TABLE_TYPE (and the schema, where the source has one).
  std::unique_ptr<Cursor> OpenSchemaTables();
  void Close();
  bool IsOpen() const { return backend_ != nullptr; }
  // Asks the statement under way on this connection to end early (it then fails); safe from any thread.
  void Cancel();
  // Forgets a Cancel that found nothing under way.
  void ClearCancel();
  void Flush();
  Backend& Active();

 private:
  std::unique_ptr<Backend> backend_;
  std::mutex swap_;  // held while backend_ is set or taken, and while Cancel reaches it
};

// A result set positioned on its first row after Open.
class Recordset {
 public:
  Recordset() = default;
  explicit Recordset(std::unique_ptr<Cursor> cursor) { Attach(std::move(cursor)); }
  void Open(const std::string& source, Connection& conn);
  bool Eof() const { return eof_; }
  void MoveNext();
  int FieldCount() const { return cursor_ ? static_cast<int>(cursor_->Columns().size()) : 0; }
  const Field& Fields(int i) const { return cursor_->Columns().at(static_cast<size_t>(i)); }
  // Names a column's type where the driver gives no name (a CLR type, known from the catalogue).
  void SetTypeName(int i, std::string name) { cursor_->Columns().at(static_cast<size_t>(i)).TypeName = std::move(name); }
  void SetCollation(int i, std::string name) { cursor_->Columns().at(static_cast<size_t>(i)).Collation = std::move(name); }
  // "column "X": reason" for the first column of the current row that could not be read; empty when all were.
  std::string RowError() const;
  // Moves the current row's values into `values` (one per column); the fields are NULL until the next
  // MoveNext, which reads into the buffers of the values `values` held before.
  void TakeValues(std::vector<Value>& values);
  // Field by name, compared without regard to case; throws DbError when absent.
  const Field& Fields(std::string_view name) const;
  void Close();
  bool IsOpen() const { return cursor_ != nullptr; }

 private:
  void Attach(std::unique_ptr<Cursor> cursor);
  std::unique_ptr<Cursor> cursor_;
  bool eof_ = true;
};

// Opens a fresh connection with `open` and releases it again: false on any failure, with the
// driver's reason in `why` when it is given.
bool CanOpen(const std::function<void(Connection&)>& open, int loginTimeoutSeconds, std::string* why = nullptr);

// True when the connection string names the Firebird driver.
bool IsFirebirdConnectionString(std::string_view s);

}  // namespace ado
