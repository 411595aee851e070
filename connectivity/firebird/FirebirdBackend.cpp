#include "connectivity/firebird/FirebirdBackend.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <ibase.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <chrono>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <utility>
#include <vector>

#include "connectivity/core/ConnString.h"

namespace ado {
namespace {

using Clock = std::chrono::steady_clock;
// Work that succeeded is made durable at least this often.
constexpr auto kCommitInterval = std::chrono::milliseconds(500);

bool IsLostConnection(const ISC_STATUS* status) {
  for (const ISC_STATUS* s = status; s[0] == isc_arg_gds || s[0] == isc_arg_string ||
                                     s[0] == isc_arg_number || s[0] == isc_arg_interpreted ||
                                     s[0] == isc_arg_sql_state || s[0] == isc_arg_cstring;) {
    if (s[0] == isc_arg_gds) {
      switch (s[1]) {
        case isc_network_error:
        case isc_net_read_err:
        case isc_net_write_err:
        case isc_lost_db_connection:
        case isc_conn_lost:
        case isc_shutdown:
        case isc_att_shutdown:
        case isc_bad_db_handle:
          return true;
        default:
          break;
      }
    }
    s += s[0] == isc_arg_cstring ? 3 : 2;
  }
  return false;
}

DbError ErrorOf(const ISC_STATUS* status) {
  std::string text;
  char buf[1024];
  const ISC_STATUS* p = status;
  while (fb_interpret(buf, sizeof buf, &p) > 0) {
    if (!text.empty()) text += '\n';
    text += buf;
  }
  if (text.empty()) text = "Unknown Firebird error";
  DbError e(text, IsLostConnection(status));
  long first = 0;
  bool statement = false;
  for (const ISC_STATUS* s = status; s[0] != isc_arg_end;) {
    if (s[0] == isc_arg_gds) {
      if (!first) first = static_cast<long>(s[1]);
      // Dynamic SQL errors (syntax, unknown names) and refused metadata changes.
      if (s[1] == isc_dsql_error || s[1] == isc_no_meta_update) statement = true;
    }
    s += s[0] == isc_arg_cstring ? 3 : 2;
  }
  e.SetCode(first, statement);
  return e;
}

[[noreturn]] void Throw(const ISC_STATUS* status) { throw ErrorOf(status); }

void Check(const ISC_STATUS* status) {
  if (status[0] == 1 && status[1] != 0) Throw(status);
}

void AddDpbString(std::vector<char>& dpb, char tag, const std::string& v) {
  if (v.size() > 255) throw DbError("Login value too long for the Firebird client");
  dpb.push_back(tag);
  dpb.push_back(static_cast<char>(v.size()));
  dpb.insert(dpb.end(), v.begin(), v.end());
}

// Move-only owners of the client's handles: each takes its handle before anything can throw and
// gives it back on every path.
class FbStatement {
 public:
  FbStatement() = default;
  FbStatement(const FbStatement&) = delete;
  FbStatement& operator=(const FbStatement&) = delete;
  FbStatement(FbStatement&& o) noexcept : h_(std::exchange(o.h_, 0)) {}
  FbStatement& operator=(FbStatement&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, 0);
    }
    return *this;
  }
  ~FbStatement() { Reset(); }
  void Allocate(isc_db_handle* db) {
    Reset();
    ISC_STATUS_ARRAY st;
    isc_dsql_allocate_statement(st, db, &h_);
    Check(st);
  }
  isc_stmt_handle* Handle() { return &h_; }
  explicit operator bool() const { return h_ != 0; }
  void Reset() {
    if (!h_) return;
    ISC_STATUS_ARRAY st;
    isc_dsql_free_statement(st, &h_, DSQL_drop);
    h_ = 0;
  }

 private:
  isc_stmt_handle h_ = 0;
};

struct FreeDeleter {
  void operator()(XSQLDA* p) const { std::free(p); }
};
using SqlDa = std::unique_ptr<XSQLDA, FreeDeleter>;

// An empty descriptor area for n columns or parameters.
SqlDa NewSqlDa(int n) {
  SqlDa d(static_cast<XSQLDA*>(std::calloc(1, XSQLDA_LENGTH(n > 0 ? n : 1))));
  if (!d) throw DbError("Out of memory for the statement's columns.");
  d->version = SQLDA_VERSION1;
  d->sqln = static_cast<short>(n > 0 ? n : 1);
  return d;
}

// A blob being read or written; one not closed on purpose is cancelled.
class FbBlob {
 public:
  FbBlob() = default;
  FbBlob(const FbBlob&) = delete;
  FbBlob& operator=(const FbBlob&) = delete;
  ~FbBlob() {
    if (!h_) return;
    ISC_STATUS_ARRAY st;
    isc_cancel_blob(st, &h_);
  }
  void Open(isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD* id) {
    ISC_STATUS_ARRAY st;
    isc_open_blob2(st, db, tr, &h_, id, 0, nullptr);
    Check(st);
  }
  void Create(isc_db_handle* db, isc_tr_handle* tr, ISC_QUAD* id) {
    ISC_STATUS_ARRAY st;
    isc_create_blob2(st, db, tr, &h_, id, 0, nullptr);
    Check(st);
  }
  // Appends the whole value to `out`; a failed read is an error, never a shorter value.
  void ReadAll(std::string& out) {
    char chunk[32768];
    for (;;) {
      ISC_STATUS_ARRAY st;
      unsigned short got = 0;
      const ISC_STATUS rc = isc_get_segment(st, &h_, &got, sizeof chunk, chunk);
      if (rc == isc_segstr_eof) return;
      if (rc != 0 && rc != isc_segment) Throw(st);
      out.append(chunk, got);
    }
  }
  void Write(std::string_view bytes) {
    // Written in segments: no part of the value is copied whole.
    for (size_t at = 0; at < bytes.size();) {
      const size_t n = std::min<size_t>(bytes.size() - at, 32000);
      ISC_STATUS_ARRAY st;
      isc_put_segment(st, &h_, static_cast<unsigned short>(n), bytes.data() + at);
      Check(st);
      at += n;
    }
  }
  void Close() {
    ISC_STATUS_ARRAY st;
    isc_close_blob(st, &h_);
    Check(st);
    h_ = 0;
  }

 private:
  isc_blob_handle h_ = 0;
};

// A transaction that is rolled back unless it was committed.
class FbTransaction {
 public:
  FbTransaction() = default;
  FbTransaction(const FbTransaction&) = delete;
  FbTransaction& operator=(const FbTransaction&) = delete;
  ~FbTransaction() { Rollback(); }
  void Start(isc_db_handle* db, bool readOnly) {
    static const char write[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                 isc_tpb_nowait};
    // A cursor reads one snapshot: rows committed while it is read (by the run's own writes, say, when a
    // table is brought up to date while it is compared) never show up in it.
    static const char read[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_concurrency, isc_tpb_nowait};
    ISC_STATUS_ARRAY st;
    isc_start_transaction(st, &h_, 1, db, static_cast<unsigned short>(readOnly ? sizeof read : sizeof write),
                          readOnly ? read : write);
    Check(st);
  }
  // On failure the transaction is rolled back and the error is thrown.
  void Commit() {
    if (!h_) return;
    ISC_STATUS_ARRAY st;
    isc_commit_transaction(st, &h_);
    if (st[0] == 1 && st[1]) {
      DbError e = ErrorOf(st);
      Rollback();
      throw e;
    }
    h_ = 0;
  }
  void Rollback() noexcept {
    if (!h_) return;
    ISC_STATUS_ARRAY st;
    isc_rollback_transaction(st, &h_);
    h_ = 0;
  }
  isc_tr_handle* Handle() { return &h_; }
  explicit operator bool() const { return h_ != 0; }

 private:
  isc_tr_handle h_ = 0;
};

class FirebirdBackend;

// A query's rows, read in a read-only transaction of the cursor's own: the backend's grouped commits
// cannot end it under an open cursor. A cursor still open when its backend closes is released first.
class FbCursor : public Cursor {
 public:
  FbCursor(FirebirdBackend& owner, isc_db_handle* db, const std::string& sql);
  ~FbCursor() override;

  std::vector<Field>& Columns() override { return fields_; }

  bool Fetch() override {
    if (done_) return false;
    if (!stmt_) throw DbError(kClosedText);
    ISC_STATUS_ARRAY st;
    ISC_STATUS rc = isc_dsql_fetch(st, stmt_.Handle(), SQL_DIALECT_V6, sqlda_.get());
    if (rc == 100) {
      Finish();
      return false;
    }
    Check(st);
    for (int i = 0; i < sqlda_->sqld; ++i) Decode(sqlda_->sqlvar[i], fields_[static_cast<size_t>(i)].value);
    return true;
  }

  // The backend closes: the statement and the transaction are given back, further fetches fail.
  void Orphan() noexcept {
    owner_ = nullptr;
    stmt_.Reset();
    tr_.Rollback();
  }

 private:
  void Finish() {
    done_ = true;
    stmt_.Reset();
    tr_.Commit();
  }

  static std::string Scaled(ISC_INT64 n, int scale) {
    if (scale >= 0) return std::to_string(n);
    bool neg = n < 0;
    std::string digits = std::to_string(neg ? -static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n));
    size_t s = static_cast<size_t>(-scale);
    if (digits.size() <= s) digits.insert(0, s + 1 - digits.size(), '0');
    digits.insert(digits.size() - s, ".");
    return neg ? "-" + digits : digits;
  }

  void Decode(XSQLVAR& v, Value& out) {
    if (*v.sqlind < 0) {
      out.SetNull();
      return;
    }
    const char* d = v.sqldata;
    switch (v.sqltype & ~1) {
      case SQL_TEXT:
        out.kind = Kind::Text;
        out.text.assign(d, static_cast<size_t>(v.sqllen));
        break;
      case SQL_VARYING: {
        short len;
        std::memcpy(&len, d, 2);
        out.kind = Kind::Text;
        out.text.assign(d + 2, static_cast<size_t>(len));
        break;
      }
      case SQL_SHORT:
      case SQL_LONG:
      case SQL_INT64: {
        ISC_INT64 n = 0;
        if ((v.sqltype & ~1) == SQL_SHORT) {
          short s;
          std::memcpy(&s, d, 2);
          n = s;
        } else if ((v.sqltype & ~1) == SQL_LONG) {
          ISC_LONG l;
          std::memcpy(&l, d, 4);
          n = l;
        } else {
          std::memcpy(&n, d, 8);
        }
        if (v.sqlscale < 0) {
          out.kind = Kind::Decimal;
          out.text = Scaled(n, v.sqlscale);
        } else {
          out.kind = Kind::Integer;
          out.integer = n;
        }
        break;
      }
      case SQL_FLOAT: {
        float f;
        std::memcpy(&f, d, 4);
        out.kind = Kind::Single;
        out.floating = f;
        break;
      }
      case SQL_DOUBLE:
        out.kind = Kind::Floating;
        std::memcpy(&out.floating, d, 8);
        break;
      case SQL_BOOLEAN:
        out.kind = Kind::Boolean;
        out.boolean = *d != 0;
        break;
      case SQL_TYPE_DATE: {
        struct tm t{};
        isc_decode_sql_date(reinterpret_cast<const ISC_DATE*>(d), &t);
        out.kind = Kind::Date;
        out.year = t.tm_year + 1900;
        out.month = t.tm_mon + 1;
        out.day = t.tm_mday;
        out.hour = out.minute = out.second = 0;
        out.nanos = 0;
        break;
      }
      case SQL_TYPE_TIME: {
        ISC_TIME tm;
        std::memcpy(&tm, d, 4);
        out.kind = Kind::Time;
        out.hour = static_cast<int>(tm / 36000000);
        out.minute = static_cast<int>(tm / 600000 % 60);
        out.second = static_cast<int>(tm / 10000 % 60);
        out.nanos = static_cast<std::uint32_t>(tm % 10000) * 100000;
        break;
      }
      case SQL_TIMESTAMP: {
        ISC_TIMESTAMP ts;
        std::memcpy(&ts, d, 8);
        struct tm t{};
        isc_decode_sql_date(&ts.timestamp_date, &t);
        out.kind = Kind::DateTime;
        out.year = t.tm_year + 1900;
        out.month = t.tm_mon + 1;
        out.day = t.tm_mday;
        ISC_TIME tm = ts.timestamp_time;
        out.hour = static_cast<int>(tm / 36000000);
        out.minute = static_cast<int>(tm / 600000 % 60);
        out.second = static_cast<int>(tm / 10000 % 60);
        out.nanos = static_cast<std::uint32_t>(tm % 10000) * 100000;
        break;
      }
      case SQL_BLOB: {
        ISC_QUAD id;
        std::memcpy(&id, d, sizeof id);
        out.kind = v.sqlsubtype == 1 ? Kind::Text : Kind::Binary;
        out.text.clear();
        FbBlob blob;
        blob.Open(db_, tr_.Handle(), &id);
        blob.ReadAll(out.text);
        blob.Close();
        break;
      }
      default:
        out.kind = Kind::Text;
        out.text = "<unsupported type>";
    }
  }

  FirebirdBackend* owner_;
  isc_db_handle* db_;
  FbTransaction tr_;
  FbStatement stmt_;
  SqlDa sqlda_;
  std::vector<std::vector<char>> buffers_;
  std::vector<short> nulls_;
  std::vector<Field> fields_;
  bool done_ = false;
};

// "INSERT ... VALUES (?, ...)" (or an EXECUTE BLOCK of `rows` of them) prepared once; each execution
// binds its parameters as typed values.
class FbPrepared : public PreparedStatement {
 public:
  FbPrepared(FirebirdBackend& owner, isc_db_handle* db, const std::string& sql, int rows);
  void Execute(const std::vector<Param>& params) override;

 private:
  void Bind(const Param& p, XSQLVAR& v, std::vector<char>& buf, isc_tr_handle* tr);
  FirebirdBackend& owner_;
  isc_db_handle* db_;
  int rows_;
  FbStatement stmt_;
  SqlDa in_;
  std::vector<std::vector<char>> buffers_;
  std::vector<short> nulls_;
};

class FirebirdBackend : public Backend {
  friend class FbPrepared;
  friend class FbCursor;

 public:
  explicit FirebirdBackend(isc_db_handle db) : db_(db) {}
  ~FirebirdBackend() override {
    try {
      Close();
    } catch (...) {
    }
  }

  // The request under way on this attachment (an index build, a sort) fails with "operation was
  // cancelled"; Firebird allows the call from any thread.
  void Cancel() override {
    ISC_STATUS_ARRAY st;
    if (db_) fb_cancel_operation(st, &db_, fb_cancel_raise);
  }
  // A cancel raised while no request ran waits for the next one: disabling and enabling forgets it.
  void ClearCancel() override {
    ISC_STATUS_ARRAY st;
    if (!db_) return;
    fb_cancel_operation(st, &db_, fb_cancel_disable);
    fb_cancel_operation(st, &db_, fb_cancel_enable);
  }

  void Execute(const std::string& sql) override {
    ISC_STATUS_ARRAY st;
    if (IsDdlStatement(sql)) {
      // Metadata changes are committed at once, on a transaction of their own.
      Commit();
      Start();
      isc_dsql_execute_immediate(st, &db_, tr_.Handle(), static_cast<unsigned short>(0), sql.c_str(), SQL_DIALECT_V6,
                                 nullptr);
      if (st[0] == 1 && st[1]) {
        tr_.Rollback();
        Throw(st);
      }
      Commit();
      return;
    }
    Start();
    // Long texts go through the length-carrying call; a failed statement undoes only itself.
    isc_dsql_execute_immediate(st, &db_, tr_.Handle(), 0, sql.c_str(), SQL_DIALECT_V6, nullptr);
    if (st[0] == 1 && st[1]) Throw(st);
    Done();
  }

  // A statement (of `rows` rows) succeeded in the current transaction; committed at least every
  // kCommitInterval.
  void Done(int rows = 1) {
    dirty_ = true;
    pending_ += rows;
    if (Clock::now() - lastCommit_ >= kCommitInterval) Commit();
  }

  std::unique_ptr<Cursor> Query(const std::string& sql) override {
    if (!db_) throw DbError(kClosedText, true);
    // What this connection wrote is committed first, so that the query's own transaction sees it.
    Commit();
    return std::make_unique<FbCursor>(*this, &db_, sql);
  }

  std::unique_ptr<Cursor> Tables() override {
    return Query(
        "SELECT TRIM(TRAILING FROM RDB$RELATION_NAME) AS TABLE_NAME, "
        "CAST(CASE WHEN RDB$SYSTEM_FLAG = 1 THEN 'SYSTEM TABLE' WHEN RDB$VIEW_BLR IS NOT NULL THEN 'VIEW' "
        "ELSE 'TABLE' END AS VARCHAR(12)) AS TABLE_TYPE FROM RDB$RELATIONS ORDER BY 1");
  }

  void Flush() override { Commit(); }

  std::unique_ptr<PreparedStatement> Prepare(const std::string& sql, int rows) override {
    Start();
    return std::make_unique<FbPrepared>(*this, &db_, sql, rows);
  }

  void Close() override {
    if (!db_) return;
    // A commit that fails here is told after the detach, never swallowed.
    std::optional<DbError> failed;
    try {
      Commit();
    } catch (const DbError& e) {
      failed = e;
    }
    // Cursors still open give back their statements and transactions before the detach.
    for (FbCursor* c : cursors_) c->Orphan();
    cursors_.clear();
    ISC_STATUS_ARRAY st;
    isc_detach_database(st, &db_);
    db_ = 0;
    if (failed) throw *failed;
  }

 private:
  void Start() {
    if (!db_) throw DbError(kClosedText, true);
    if (tr_) return;
    tr_.Start(&db_, false);
    if (!dirty_) lastCommit_ = Clock::now();
  }

  void Commit() {
    if (!tr_) return;
    try {
      tr_.Commit();
    } catch (DbError& e) {
      dirty_ = false;
      e.SetLostStatements(pending_);
      pending_ = 0;
      throw;
    }
    dirty_ = false;
    pending_ = 0;
    lastCommit_ = Clock::now();
  }

  isc_db_handle db_;
  FbTransaction tr_;
  bool dirty_ = false;
  long long pending_ = 0;  // statements done since the last commit
  Clock::time_point lastCommit_ = Clock::now();
  std::set<FbCursor*> cursors_;  // open cursors, released before the detach
};

FbCursor::FbCursor(FirebirdBackend& owner, isc_db_handle* db, const std::string& sql) : owner_(&owner), db_(db) {
  tr_.Start(db_, true);
  stmt_.Allocate(db_);
  sqlda_ = NewSqlDa(1);
  ISC_STATUS_ARRAY st;
  isc_dsql_prepare(st, tr_.Handle(), stmt_.Handle(), 0, sql.c_str(), SQL_DIALECT_V6, sqlda_.get());
  Check(st);
  if (sqlda_->sqld > sqlda_->sqln) {
    sqlda_ = NewSqlDa(sqlda_->sqld);
    isc_dsql_describe(st, stmt_.Handle(), SQL_DIALECT_V6, sqlda_.get());
    Check(st);
  }
  buffers_.resize(static_cast<size_t>(sqlda_->sqld));
  nulls_.resize(static_cast<size_t>(sqlda_->sqld));
  for (int i = 0; i < sqlda_->sqld; ++i) {
    XSQLVAR& v = sqlda_->sqlvar[i];
    buffers_[static_cast<size_t>(i)].resize(static_cast<size_t>(v.sqllen) + 2 + 8);
    v.sqldata = buffers_[static_cast<size_t>(i)].data();
    v.sqlind = &nulls_[static_cast<size_t>(i)];
    v.sqltype |= 1;
    Field f;
    f.Name.assign(v.aliasname, static_cast<size_t>(v.aliasname_length));
    f.DefinedSize = v.sqllen;
    f.NumericScale = -v.sqlscale;
    fields_.push_back(f);
  }
  isc_dsql_execute(st, tr_.Handle(), stmt_.Handle(), SQL_DIALECT_V6, nullptr);
  Check(st);
  owner_->cursors_.insert(this);
}

FbCursor::~FbCursor() {
  if (owner_) owner_->cursors_.erase(this);
}

FbPrepared::FbPrepared(FirebirdBackend& owner, isc_db_handle* db, const std::string& sql, int rows)
    : owner_(owner), db_(db), rows_(rows) {
  stmt_.Allocate(db_);
  ISC_STATUS_ARRAY st;
  isc_dsql_prepare(st, owner_.tr_.Handle(), stmt_.Handle(), 0, sql.c_str(), SQL_DIALECT_V6, nullptr);
  Check(st);
}

void FbPrepared::Bind(const Param& p, XSQLVAR& v, std::vector<char>& buf, isc_tr_handle* tr) {
  auto put = [&](const void* data, size_t n) {
    buf.resize(n);
    std::memcpy(buf.data(), data, n);
    v.sqllen = static_cast<short>(n);
  };
  v.sqlscale = 0;
  v.sqlsubtype = 0;
  switch (p.type) {
    case Param::Type::Null:
      v.sqltype = SQL_TEXT | 1;
      *v.sqlind = -1;
      buf.assign(1, 0);
      v.sqllen = 0;
      break;
    case Param::Type::Int64:
      v.sqltype = SQL_INT64 | 1;
      v.sqlscale = static_cast<short>(p.scale);
      put(&p.integer, 8);
      break;
    case Param::Type::Double:
      v.sqltype = SQL_DOUBLE | 1;
      put(&p.floating, 8);
      break;
    case Param::Type::Text:
    case Param::Type::Octets: {
      // Length word and bytes: text in the connection's character set (UTF8), or raw bytes.
      v.sqltype = SQL_VARYING | 1;
      if (p.type == Param::Type::Octets) v.sqlsubtype = 1;  // CS_BINARY: no character set check
      const auto n = static_cast<unsigned short>(p.bytes.size());
      buf.resize(2 + p.bytes.size());
      std::memcpy(buf.data(), &n, 2);
      std::memcpy(buf.data() + 2, p.bytes.data(), p.bytes.size());
      v.sqllen = static_cast<short>(p.bytes.size());
      break;
    }
    case Param::Type::TextBlob:
    case Param::Type::BinaryBlob: {
      ISC_QUAD id{};
      FbBlob blob;
      blob.Create(db_, tr, &id);
      blob.Write(p.bytes);
      blob.Close();
      v.sqltype = SQL_BLOB | 1;
      v.sqlsubtype = p.type == Param::Type::TextBlob ? 1 : 0;
      put(&id, sizeof id);
      break;
    }
    case Param::Type::Date:
    case Param::Type::Timestamp: {
      struct tm t {};
      t.tm_year = p.year - 1900;
      t.tm_mon = p.month - 1;
      t.tm_mday = p.day;
      ISC_DATE date;
      isc_encode_sql_date(&t, &date);
      if (p.type == Param::Type::Date) {
        v.sqltype = SQL_TYPE_DATE | 1;
        put(&date, sizeof date);
      } else {
        ISC_TIMESTAMP ts;
        ts.timestamp_date = date;
        ts.timestamp_time =
            static_cast<ISC_TIME>(((p.hour * 60 + p.minute) * 60 + p.second) * 10000 + static_cast<int>(p.tenThousandths));
        v.sqltype = SQL_TIMESTAMP | 1;
        put(&ts, sizeof ts);
      }
      break;
    }
  }
  v.sqldata = buf.data();
}

void FbPrepared::Execute(const std::vector<Param>& params) {
  const int n = static_cast<int>(params.size());
  if (!in_ || in_->sqld != n) {
    in_ = NewSqlDa(n);
    in_->sqld = static_cast<short>(n);
    buffers_.assign(static_cast<size_t>(n), {});
    nulls_.assign(static_cast<size_t>(n), 0);
  }
  owner_.Start();
  for (int i = 0; i < n; ++i) {
    XSQLVAR& v = in_->sqlvar[i];
    nulls_[static_cast<size_t>(i)] = 0;
    v.sqlind = &nulls_[static_cast<size_t>(i)];
    Bind(params[static_cast<size_t>(i)], v, buffers_[static_cast<size_t>(i)], owner_.tr_.Handle());
  }
  ISC_STATUS_ARRAY st;
  isc_dsql_execute(st, owner_.tr_.Handle(), stmt_.Handle(), SQL_DIALECT_V6, in_.get());
  if (st[0] == 1 && st[1]) Throw(st);
  owner_.Done(rows_);
}

}  // namespace

bool IsDdlStatement(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && std::isspace(static_cast<unsigned char>(sql[i]))) ++i;
  size_t j = i;
  while (j < sql.size() && std::isalpha(static_cast<unsigned char>(sql[j]))) ++j;
  std::string word = ToUpper(sql.substr(i, j - i));
  return word == "CREATE" || word == "DROP" || word == "ALTER" || word == "RECREATE" || word == "COMMENT" ||
         word == "GRANT" || word == "REVOKE";
}

std::unique_ptr<Backend> OpenFirebird(const std::string& connectionString, int connectTimeoutSeconds) {
  auto all = ParseConnString(connectionString);
  // The driver's own settings sit inside Extended Properties.
  std::map<std::string, std::string> inner;
  if (auto it = all.find("extended properties"); it != all.end()) inner = ParseConnString(it->second);
  auto pick = [&](std::initializer_list<const char*> keys) -> std::string {
    for (const char* k : keys) {
      if (auto it = inner.find(k); it != inner.end()) return it->second;
      if (auto it = all.find(k); it != all.end()) return it->second;
    }
    return {};
  };
  FirebirdTarget t;
  t.database = pick({"dbname", "database"});
  // The login string puts a blank after the database name.
  if (!t.database.empty() && t.database.back() == ' ') t.database.pop_back();
  t.user = pick({"uid", "user id", "user"});
  t.password = pick({"password", "pwd"});
  t.charset = pick({"charset"});
  t.role = pick({"role"});
  return OpenFirebird(t, connectTimeoutSeconds);
}

namespace {

void AddDpbInt(std::vector<char>& dpb, char tag, int v) {
  dpb.push_back(tag);
  dpb.push_back(4);
  for (int k = 0; k < 4; ++k) dpb.push_back(static_cast<char>((v >> (8 * k)) & 0xFF));
}

std::vector<char> LoginDpb(const FirebirdTarget& target, int connectTimeoutSeconds) {
  if (target.database.empty()) throw DbError("No database file was given.");
  std::vector<char> dpb{isc_dpb_version1};
  if (!target.user.empty()) AddDpbString(dpb, isc_dpb_user_name, target.user);
  if (!target.password.empty()) AddDpbString(dpb, isc_dpb_password, target.password);
  if (!target.charset.empty()) AddDpbString(dpb, isc_dpb_lc_ctype, target.charset);
  if (!target.role.empty()) AddDpbString(dpb, isc_dpb_sql_role_name, target.role);
  if (connectTimeoutSeconds > 0) AddDpbInt(dpb, isc_dpb_connect_timeout, std::min(connectTimeoutSeconds, 32767));
  return dpb;
}

isc_db_handle Attach(const std::string& path, const std::vector<char>& dpb) {
  ISC_STATUS_ARRAY st;
  isc_db_handle db = 0;
  isc_attach_database(st, static_cast<short>(path.size()), path.c_str(), &db, static_cast<short>(dpb.size()),
                      dpb.data());
  Check(st);
  return db;
}

// An attachment of its own, for a moment: detached on every path.
struct ShortAttachment {
  isc_db_handle h = 0;
  ShortAttachment(const FirebirdTarget& target, std::optional<bool> forcedWrites) {
    std::vector<char> dpb = LoginDpb(target, 0);
    if (forcedWrites) AddDpbInt(dpb, isc_dpb_force_write, *forcedWrites ? 1 : 0);
    h = Attach(target.database, dpb);
  }
  ~ShortAttachment() {
    ISC_STATUS_ARRAY st;
    if (h) isc_detach_database(st, &h);
  }
  ShortAttachment(const ShortAttachment&) = delete;
  ShortAttachment& operator=(const ShortAttachment&) = delete;
};

}  // namespace

std::unique_ptr<Backend> OpenFirebird(const FirebirdTarget& target, int connectTimeoutSeconds) {
  return std::make_unique<FirebirdBackend>(Attach(target.database, LoginDpb(target, connectTimeoutSeconds)));
}

bool IsLocalDatabase(const std::string& database) {
  // "host:path" and "host/port:path" name a server; a colon in an absolute path belongs to the path.
  return database.find(':') == std::string::npos || database.front() == '/';
}

std::string ForcedWritesJournal() {
  std::string base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') base = state;
  else if (const char* home = std::getenv("HOME"); home && *home == '/') base = std::string(home) + "/.local/state";
  else return {};
  return base + "/Tarnwick/forced-writes-off";
}

namespace {

// One line a file: the process, the login's user and the database as attached, tab apart.
struct JournalEntry {
  long pid = 0;
  std::string user, database;
};

// The journal, locked for as long as the object lives (every process of the program takes the lock).
class Journal {
 public:
  Journal() {
    const std::string path = ForcedWritesJournal();
    if (path.empty()) return;
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Journal() {
    if (fd_ >= 0) ::close(fd_);  // and the lock with it
  }
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;
  bool Usable() const { return fd_ >= 0; }

  std::vector<JournalEntry> Read() const {
    std::vector<JournalEntry> out;
    std::string text;
    char buf[4096];
    ::lseek(fd_, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(fd_, buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    size_t start = 0;
    while (start < text.size()) {
      size_t nl = text.find('\n', start);
      if (nl == std::string::npos) nl = text.size();
      const std::string line = text.substr(start, nl - start);
      start = nl + 1;
      const size_t a = line.find('\t'), b = a == std::string::npos ? a : line.find('\t', a + 1);
      if (b == std::string::npos) continue;
      JournalEntry e;
      e.pid = std::atol(line.substr(0, a).c_str());
      e.user = line.substr(a + 1, b - a - 1);
      e.database = line.substr(b + 1);
      out.push_back(std::move(e));
    }
    return out;
  }

  bool Write(const std::vector<JournalEntry>& entries) {
    std::string text;
    for (const auto& e : entries) text += std::to_string(e.pid) + "\t" + e.user + "\t" + e.database + "\n";
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0) return false;
    if (::write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) return false;
    return ::fsync(fd_) == 0;
  }

 private:
  int fd_ = -1;
};

bool Journaled(const FirebirdTarget& target, bool add) {
  for (const std::string* s : {&target.user, &target.database})
    if (s->find_first_of("\t\n") != std::string::npos) return false;
  Journal j;
  if (!j.Usable()) return false;
  std::vector<JournalEntry> entries = j.Read();
  const long self = static_cast<long>(::getpid());
  std::erase_if(entries, [&](const JournalEntry& e) { return e.pid == self && e.database == target.database; });
  if (add) entries.push_back({self, target.user, target.database});
  return j.Write(entries);
}

// Forced writes on for the file (a short attachment that asks for them) and its pages synced.
std::string ForcedWritesOn(const FirebirdTarget& target, const std::string& file) {
  std::string failed;
  try {
    ShortAttachment on(target, true);
  } catch (const DbError& e) {
    failed = e.what();
  }
  if (file.empty()) return failed;
  // The pages committed meanwhile went to the file without waiting for the disk: they reach it now.
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    const std::string why = std::strerror(errno);
    if (failed.empty()) failed = "the file " + file + " could not be synced: " + why;
  }
  if (fd >= 0) ::close(fd);
  return failed;
}

}  // namespace

std::vector<LeftOverFile> RestoreLeftOverForcedWrites(bool own) {
  std::vector<LeftOverFile> out;
  if (const std::string path = ForcedWritesJournal(); path.empty() || ::access(path.c_str(), F_OK) != 0) return out;
  Journal j;
  if (!j.Usable()) return out;
  std::vector<JournalEntry> entries = j.Read(), kept;
  const long self = static_cast<long>(::getpid());
  for (auto& e : entries) {
    const bool gone = e.pid != self && ::kill(static_cast<pid_t>(e.pid), 0) != 0 && errno == ESRCH;
    if (!gone && !(own && e.pid == self)) {
      kept.push_back(e);
      continue;
    }
    if (::access(e.database.c_str(), F_OK) != 0) continue;  // the file is gone: nothing to mend
    LeftOverFile f{e.database, ForcedWritesOn({e.database, e.user, "", "", ""}, e.database)};
    if (!f.error.empty() && !own) kept.push_back(e);  // tried again at the next start
    out.push_back(std::move(f));
  }
  j.Write(kept);
  return out;
}

UnsyncedWrites::UnsyncedWrites(const FirebirdTarget& target) : target_(target) {
  if (!IsLocalDatabase(target.database)) return;
  try {
    bool forced = false;
    {
      ShortAttachment look(target_, std::nullopt);
      const char items[] = {isc_info_forced_writes, isc_info_db_id, isc_info_end};
      char info[1024];
      ISC_STATUS_ARRAY st;
      isc_database_info(st, &look.h, sizeof items, items, sizeof info, info);
      Check(st);
      for (const char* p = info; p < info + sizeof info && *p != isc_info_end;) {
        const char item = *p++;
        if (p + 2 > info + sizeof info) break;
        const auto len = static_cast<short>(isc_vax_integer(p, 2));
        p += 2;
        if (len < 0 || p + len > info + sizeof info) break;
        if (item == isc_info_forced_writes) forced = isc_vax_integer(p, len) != 0;
        // The attachment's file name: a count, then the file's name as a counted string.
        if (item == isc_info_db_id && len >= 2) {
          const auto n = static_cast<unsigned char>(p[1]);
          if (2 + n <= len) file_.assign(p + 2, n);
        }
        p += len;
      }
    }
    if (!forced || file_.empty()) return;
    // Written down first: if this process ends without its own code running, the next start mends the
    // file. A file that cannot be written down keeps its forced writes.
    if (!Journaled(ByFile(), true)) return;
    // Only the database's owner or SYSDBA may change the setting: for anyone else the attachment fails,
    // and the file is written as it always is.
    ShortAttachment change(target_, false);
    active_ = true;
  } catch (const DbError&) {
    active_ = false;
    if (!file_.empty()) Journaled(ByFile(), false);
  }
}

FirebirdTarget UnsyncedWrites::ByFile() const {
  FirebirdTarget t = target_;
  t.database = file_;
  return t;
}

UnsyncedWrites::~UnsyncedWrites() {
  if (active_) Restore();
}

std::string UnsyncedWrites::Restore() {
  if (!active_) return {};
  active_ = false;
  const std::string failed = ForcedWritesOn(target_, file_);
  // What could not be mended stays in the journal, for the next start.
  if (failed.empty()) Journaled(ByFile(), false);
  return failed;
}

void CreateFirebirdDatabase(const std::string& path, const std::string& user, const std::string& password) {
  const std::string sql = "CREATE DATABASE " + SqlString(path) + " USER " + SqlString(user) + " PASSWORD " + SqlString(password) +
                    " PAGE_SIZE 8192 DEFAULT CHARACTER SET NONE";
  ISC_STATUS_ARRAY st;
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  isc_dsql_execute_immediate(st, &db, &tr, 0, sql.c_str(), SQL_DIALECT_V6, nullptr);
  Check(st);
  isc_detach_database(st, &db);
}

}  // namespace ado
