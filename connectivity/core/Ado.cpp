#include "connectivity/core/Ado.h"

#include "connectivity/core/ConnString.h"
#include "connectivity/firebird/FirebirdBackend.h"
#include "connectivity/sqlserver/OdbcBackend.h"

namespace ado {

long long Backend::Scalar(const std::string& sql) {
  auto c = Query(sql);
  if (!c->Fetch() || c->Columns().empty()) throw DbError("The query returned no value: " + sql);
  const Value& v = c->Columns()[0].value;
  if (v.kind == Kind::Integer) return v.integer;
  if (v.kind == Kind::Null) return 0;
  return std::stoll(v.ToString());
}

std::unique_ptr<Cursor> Backend::Catalog(CatalogQuery, const std::string&, const std::string&) {
  throw DbError("This connection has no catalogue functions.");
}

bool IsFirebirdConnectionString(std::string_view s) {
  return ToLower(s).find("driver=firebird/interbase(r) driver") != std::string::npos;
}

bool CanOpen(const std::function<void(Connection&)>& open, int loginTimeoutSeconds, std::string* why) {
  try {
    Connection conn;
    conn.ConnectionTimeout = loginTimeoutSeconds;
    open(conn);
    return true;
  } catch (const std::exception& e) {
    if (why) *why = e.what();
    return false;
  }
}

Connection::~Connection() {
  try {
    Close();
  } catch (...) {
  }
}

void Connection::Open(const std::string& connectionString) {
  if (backend_) throw DbError(kOpenText);
  auto b = IsFirebirdConnectionString(connectionString) ? OpenFirebird(connectionString, ConnectionTimeout)
                                                        : OpenOdbc(connectionString, ConnectionTimeout, CommandTimeout);
  std::lock_guard<std::mutex> lock(swap_);
  backend_ = std::move(b);
}

void Connection::Open(const FirebirdTarget& target) {
  if (backend_) throw DbError(kOpenText);
  auto b = OpenFirebird(target, ConnectionTimeout);
  std::lock_guard<std::mutex> lock(swap_);
  backend_ = std::move(b);
}

void Connection::Cancel() {
  std::lock_guard<std::mutex> lock(swap_);
  if (backend_) backend_->Cancel();
}

void Connection::ClearCancel() {
  std::lock_guard<std::mutex> lock(swap_);
  if (backend_) backend_->ClearCancel();
}

Backend& Connection::Active() {
  // A connection that is not open is as good as lost: nothing sent on it can succeed.
  if (!backend_) throw DbError(kClosedText, true);
  return *backend_;
}

void Connection::Execute(const std::string& sql) { Active().Execute(sql); }

std::unique_ptr<Cursor> Connection::OpenSchemaTables() { return Active().Tables(); }

void Connection::Flush() {
  if (backend_) backend_->Flush();
}

void Connection::Close() {
  if (!backend_) return;
  std::unique_ptr<Backend> b;
  {
    std::lock_guard<std::mutex> lock(swap_);
    b = std::move(backend_);
  }
  b->Close();
}

void Recordset::Attach(std::unique_ptr<Cursor> cursor) {
  cursor_ = std::move(cursor);
  eof_ = !cursor_->Fetch();
}

void Recordset::Open(const std::string& source, Connection& conn) {
  Close();
  Attach(conn.Active().Query(source));
}

std::string Recordset::RowError() const {
  if (!cursor_ || eof_) return {};
  for (const Field& f : cursor_->Columns())
    if (!f.ReadError.empty()) return "column \"" + f.Name + "\": " + f.ReadError;
  return {};
}

void Recordset::TakeValues(std::vector<Value>& values) {
  if (!cursor_ || eof_) {
    values.clear();
    return;
  }
  // The values given in go to the fields (as NULL): the next row is read into their buffers.
  auto& fields = cursor_->Columns();
  values.resize(fields.size());
  for (size_t k = 0; k < fields.size(); ++k) {
    std::swap(values[k], fields[k].value);
    fields[k].value.SetNull();
  }
}

void Recordset::MoveNext() {
  if (!cursor_ || eof_) throw DbError("Either BOF or EOF is True, or the current record has been deleted.");
  eof_ = !cursor_->Fetch();
}

const Field& Recordset::Fields(std::string_view name) const {
  if (cursor_) {
    std::string want = ToLower(name);
    for (const Field& f : cursor_->Columns())
      if (ToLower(f.Name) == want) return f;
  }
  throw DbError("Item cannot be found in the collection corresponding to the requested name or ordinal.");
}

void Recordset::Close() {
  cursor_.reset();
  eof_ = true;
}

}  // namespace ado
