#include "connectivity/sqlserver/OdbcBackend.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <langinfo.h>

#include <chrono>
#include <clocale>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "connectivity/core/AdoTypes.h"
#include "connectivity/core/ConnString.h"

namespace ado {
namespace {

// Owns one ODBC handle of the given type and frees it on every path; move-only.
template <SQLSMALLINT HandleType>
class Handle {
 public:
  Handle() = default;
  explicit Handle(SQLHANDLE h) : h_(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  Handle& operator=(Handle&& o) noexcept {
    if (this != &o) {
      Reset();
      h_ = std::exchange(o.h_, nullptr);
    }
    return *this;
  }
  ~Handle() { Reset(); }
  SQLHANDLE Get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }
  void Reset() {
    if (h_) SQLFreeHandle(HandleType, h_);
    h_ = nullptr;
  }

 private:
  SQLHANDLE h_ = nullptr;
};
using EnvHandle = Handle<SQL_HANDLE_ENV>;
using DbcHandle = Handle<SQL_HANDLE_DBC>;
using StmtHandle = Handle<SQL_HANDLE_STMT>;

// SQL Server types that the driver reports with codes of its own.
constexpr int kSsTime2 = -154;
constexpr int kSsXml = -152;
constexpr int kSsVariant = -150;

std::u16string ToUtf16(const std::string& s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    char32_t cp;
    int extra;
    if (c < 0x80) { cp = c; extra = 0; }
    else if ((c & 0xE0) == 0xC0) { cp = c & 0x1F; extra = 1; }
    else if ((c & 0xF0) == 0xE0) { cp = c & 0x0F; extra = 2; }
    else if ((c & 0xF8) == 0xF0) { cp = c & 0x07; extra = 3; }
    else { cp = 0xFFFD; extra = 0; }
    ++i;
    for (int k = 0; k < extra && i < s.size(); ++k, ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

void AppendUtf8(std::string& out, const SQLWCHAR* w, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    char32_t cp = w[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && w[i + 1] >= 0xDC00 && w[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (w[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
}

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE h) {
  std::string text;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLWCHAR state[6], msg[2048];
    SQLINTEGER native = 0;
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, h, i, state, &native, msg, 2048, &len);
    if (!SQL_SUCCEEDED(rc)) break;
    if (!text.empty()) text += '\n';
    text += '[';
    AppendUtf8(text, state, 5);
    text += "] ";
    AppendUtf8(text, msg, static_cast<size_t>(len < 2047 ? len : 2047));
  }
  return text.empty() ? "ODBC call failed" : text;
}

bool LostState(SQLSMALLINT type, SQLHANDLE h) {
  SQLWCHAR state[6];
  SQLINTEGER native;
  SQLSMALLINT len;
  if (!SQL_SUCCEEDED(SQLGetDiagRecW(type, h, 1, state, &native, nullptr, 0, &len))) return false;
  // 08S01 communication link failure, 08003 connection not open.
  if (state[0] == '0' && state[1] == '8') return true;
  // FreeTDS reports a server gone in the middle of a result as 01000 with its own numbers: 20017
  // unexpected EOF, 20004 read failed, 20006 write failed.
  return native == 20017 || native == 20004 || native == 20006;
}

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  throw DbError(Diagnostics(type, h), LostState(type, h));
}

enum class ReadAs { Integer, Double, Single, Decimal, Bit, WText, Binary, Date, Time, Timestamp };

class OdbcCursor : public Cursor {
 public:
  explicit OdbcCursor(StmtHandle stmt) : owned_(std::move(stmt)), stmt_(owned_.Get()) {
    SQLSMALLINT n = 0;
    Check(SQLNumResultCols(stmt_, &n), SQL_HANDLE_STMT, stmt_);
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(n); ++i) {
      SQLWCHAR name[512];
      SQLSMALLINT nameLen = 0, sqlType = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      Check(SQLDescribeColW(stmt_, i, name, 512, &nameLen, &sqlType, &size, &digits, &nullable), SQL_HANDLE_STMT,
            stmt_);
      SQLLEN isUnsigned = SQL_FALSE, autoIncrement = SQL_FALSE;
      SQLColAttributeW(stmt_, i, SQL_DESC_UNSIGNED, nullptr, 0, nullptr, &isUnsigned);
      SQLColAttributeW(stmt_, i, SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &autoIncrement);
      SQLWCHAR typeName[128];
      SQLSMALLINT typeBytes = 0;
      Field f;
      if (SQL_SUCCEEDED(SQLColAttributeW(stmt_, i, SQL_DESC_TYPE_NAME, typeName, sizeof typeName, &typeBytes, nullptr))) {
        const auto units = static_cast<size_t>(typeBytes > 0 ? typeBytes : 0) / sizeof(SQLWCHAR);
        AppendUtf8(f.TypeName, typeName, units < 127 ? units : 127);
        // SQL Server names an identity column's type "int identity".
        const auto blank = f.TypeName.find(" identity");
        if (blank != std::string::npos) f.TypeName.erase(blank);
      }
      f.AutoIncrement = autoIncrement == SQL_TRUE;
      AppendUtf8(f.Name, name, static_cast<size_t>(nameLen < 511 ? nameLen : 511));
      long defined = 0;
      MapOdbcType(sqlType, isUnsigned == SQL_TRUE, static_cast<long>(size), f.Type, defined);
      f.DefinedSize = defined;
      if (sqlType == SQL_DECIMAL || sqlType == SQL_NUMERIC) {
        f.Precision = static_cast<int>(size);
        f.NumericScale = digits;
      } else {
        f.Precision = static_cast<int>(size > 255 ? 255 : size);
        f.NumericScale = 255;
      }
      if (sqlType == SQL_TYPE_TIMESTAMP || sqlType == SQL_TIMESTAMP || sqlType == SQL_TYPE_TIME ||
          sqlType == SQL_TIME || sqlType == kSsTime2)
        f.Fraction = digits;
      fields_.push_back(f);
      fetch_.push_back(FetchKind(sqlType));
    }
  }

  std::vector<Field>& Columns() override { return fields_; }

  bool Fetch() override {
    SQLRETURN rc = SQLFetch(stmt_);
    if (rc == SQL_NO_DATA) return false;
    Check(rc, SQL_HANDLE_STMT, stmt_);
    for (size_t i = 0; i < fields_.size(); ++i) {
      fields_[i].ReadError.clear();
      try {
        Read(static_cast<SQLUSMALLINT>(i + 1), fetch_[i], fields_[i].value);
      } catch (const DbError& e) {
        // A lost connection ends the read; a value the driver cannot give costs this row only.
        if (e.ConnectionLost()) throw;
        fields_[i].ReadError = e.what();
        fields_[i].value.SetNull();
      }
    }
    return true;
  }

 private:
  static ReadAs FetchKind(int sqlType) {
    switch (sqlType) {
      case SQL_TINYINT: case SQL_SMALLINT: case SQL_INTEGER: case SQL_BIGINT: return ReadAs::Integer;
      case SQL_REAL: return ReadAs::Single;
      case SQL_FLOAT: case SQL_DOUBLE: return ReadAs::Double;
      case SQL_DECIMAL: case SQL_NUMERIC: return ReadAs::Decimal;
      case SQL_BIT: return ReadAs::Bit;
      case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return ReadAs::Binary;
      case SQL_TYPE_DATE: case SQL_DATE: return ReadAs::Date;
      case SQL_TYPE_TIME: case SQL_TIME: return ReadAs::Time;
      case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return ReadAs::Timestamp;
      default: return ReadAs::WText;
    }
  }

  void Read(SQLUSMALLINT col, ReadAs kind, Value& v) {
    SQLLEN ind = 0;
    SQLRETURN rc;
    switch (kind) {
      case ReadAs::Integer: {
        SQLBIGINT n = 0;
        rc = SQLGetData(stmt_, col, SQL_C_SBIGINT, &n, 0, &ind);
        Check(rc, SQL_HANDLE_STMT, stmt_);
        if (ind == SQL_NULL_DATA) return v.SetNull();
        v.kind = Kind::Integer;
        v.integer = n;
        return;
      }
      case ReadAs::Double:
      case ReadAs::Single: {
        double d = 0;
        float f = 0;
        if (kind == ReadAs::Single)
          rc = SQLGetData(stmt_, col, SQL_C_FLOAT, &f, 0, &ind);
        else
          rc = SQLGetData(stmt_, col, SQL_C_DOUBLE, &d, 0, &ind);
        Check(rc, SQL_HANDLE_STMT, stmt_);
        if (ind == SQL_NULL_DATA) return v.SetNull();
        v.kind = kind == ReadAs::Single ? Kind::Single : Kind::Floating;
        v.floating = kind == ReadAs::Single ? static_cast<double>(f) : d;
        return;
      }
      case ReadAs::Bit: {
        unsigned char b = 0;
        rc = SQLGetData(stmt_, col, SQL_C_BIT, &b, 0, &ind);
        Check(rc, SQL_HANDLE_STMT, stmt_);
        if (ind == SQL_NULL_DATA) return v.SetNull();
        v.kind = Kind::Boolean;
        v.boolean = b != 0;
        return;
      }
      case ReadAs::Date:
      case ReadAs::Timestamp: {
        SQL_TIMESTAMP_STRUCT ts{};
        rc = SQLGetData(stmt_, col, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &ind);
        Check(rc, SQL_HANDLE_STMT, stmt_);
        if (ind == SQL_NULL_DATA) return v.SetNull();
        v.kind = kind == ReadAs::Date ? Kind::Date : Kind::DateTime;
        v.year = ts.year; v.month = ts.month; v.day = ts.day;
        v.hour = ts.hour; v.minute = ts.minute; v.second = ts.second;
        v.nanos = ts.fraction;
        return;
      }
      case ReadAs::Time: {
        SQL_TIME_STRUCT t{};
        rc = SQLGetData(stmt_, col, SQL_C_TYPE_TIME, &t, sizeof t, &ind);
        Check(rc, SQL_HANDLE_STMT, stmt_);
        if (ind == SQL_NULL_DATA) return v.SetNull();
        v.kind = Kind::Time;
        v.hour = t.hour; v.minute = t.minute; v.second = t.second; v.nanos = 0;
        return;
      }
      case ReadAs::Decimal: {
        char buf[128];
        rc = SQLGetData(stmt_, col, SQL_C_CHAR, buf, sizeof buf, &ind);
        Check(rc, SQL_HANDLE_STMT, stmt_);
        if (ind == SQL_NULL_DATA) return v.SetNull();
        v.kind = Kind::Decimal;
        v.text.assign(buf);
        return;
      }
      case ReadAs::Binary: {
        v.text.clear();
        SQLLEN remaining = SQL_NO_TOTAL;
        unsigned char buf[8192];
        for (;;) {
          rc = SQLGetData(stmt_, col, SQL_C_BINARY, buf, sizeof buf, &ind);
          if (rc == SQL_NO_DATA) break;
          Check(rc, SQL_HANDLE_STMT, stmt_);
          if (ind == SQL_NULL_DATA) return v.SetNull();
          const bool whole = ind != SQL_NO_TOTAL && ind <= static_cast<SQLLEN>(sizeof buf);
          const size_t got = whole ? static_cast<size_t>(ind) : sizeof buf;
          v.text.append(reinterpret_cast<char*>(buf), got);
          // A part that fits the buffer is the last one, whatever the return code says.
          if (rc == SQL_SUCCESS || whole) break;
          NoteProgress(ind, remaining, v.text.size());
        }
        v.kind = Kind::Binary;
        return;
      }
      case ReadAs::WText: {
        // Long texts come in parts; they are joined before converting, so that a character
        // made of two UTF-16 units is never cut in two.
        wide_.clear();
        SQLLEN remaining = SQL_NO_TOTAL;
        SQLWCHAR buf[4096];
        for (;;) {
          rc = SQLGetData(stmt_, col, SQL_C_WCHAR, buf, sizeof buf, &ind);
          if (rc == SQL_NO_DATA) break;
          Check(rc, SQL_HANDLE_STMT, stmt_);
          if (ind == SQL_NULL_DATA) return v.SetNull();
          const size_t cap = sizeof buf / sizeof(SQLWCHAR) - 1;
          const bool whole = ind != SQL_NO_TOTAL && ind / static_cast<SQLLEN>(sizeof(SQLWCHAR)) <= static_cast<SQLLEN>(cap);
          const size_t got = whole ? static_cast<size_t>(ind) / sizeof(SQLWCHAR) : cap;
          wide_.insert(wide_.end(), buf, buf + got);
          // A part that fits the buffer is the last one, whatever the return code says.
          if (rc == SQL_SUCCESS || whole) break;
          NoteProgress(ind, remaining, wide_.size() * sizeof(SQLWCHAR));
        }
        v.text.clear();
        AppendUtf8(v.text, wide_.data(), wide_.size());
        v.kind = Kind::Text;
        return;
      }
    }
  }

  // Between two parts of one long value: a driver that keeps answering "more data" while what is left
  // does not shrink, or past 4 GB (more than a Firebird blob keeps), makes this value an error, never a loop.
  static void NoteProgress(SQLLEN left, SQLLEN& lastLeft, size_t total) {
    constexpr size_t kMost = size_t{4} << 30;
    if (left != SQL_NO_TOTAL && lastLeft != SQL_NO_TOTAL && left >= lastLeft)
      throw DbError("the driver sent no more of this value although it said more was left; it was not read");
    if (total > kMost) throw DbError("the driver kept sending parts of this value past 4 GB; it was not read");
    lastLeft = left;
  }

  StmtHandle owned_;
  SQLHSTMT stmt_;
  std::vector<Field> fields_;
  std::vector<ReadAs> fetch_;
  std::vector<SQLWCHAR> wide_;
};

class OdbcBackend : public Backend {
 public:
  OdbcBackend(EnvHandle env, DbcHandle dbc, int queryTimeout)
      : env_(std::move(env)), dbc_(std::move(dbc)), queryTimeout_(queryTimeout) {}
  ~OdbcBackend() override { Close(); }

  void Execute(const std::string& sql) override { Statement(sql); }

  std::unique_ptr<Cursor> Query(const std::string& sql) override { return std::make_unique<OdbcCursor>(Statement(sql)); }

  std::unique_ptr<Cursor> Tables() override {
    StmtHandle stmt = NewStatement();
    SQLRETURN rc = SQL_ERROR;
    {
      Running running(*this, stmt.Get());
      rc = SQLTablesW(stmt.Get(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0);
    }
    if (!SQL_SUCCEEDED(rc)) Fail(stmt);
    return std::make_unique<OdbcCursor>(std::move(stmt));
  }

  std::unique_ptr<Cursor> Catalog(CatalogQuery what, const std::string& table, const std::string& owner) override {
    StmtHandle stmt = NewStatement();
    std::u16string t = ToUtf16(table);
    std::u16string o = ToUtf16(owner);
    auto* name = reinterpret_cast<SQLWCHAR*>(t.data());
    const auto len = static_cast<SQLSMALLINT>(t.size());
    // No owner: the driver's default (every schema, or the login's own).
    auto* schema = owner.empty() ? nullptr : reinterpret_cast<SQLWCHAR*>(o.data());
    const auto slen = static_cast<SQLSMALLINT>(o.size());
    SQLHSTMT h = stmt.Get();
    // A catalogue procedure runs on the server like any statement: Cancel can end it too.
    Running running(*this, h);
    SQLRETURN rc = [&]() -> SQLRETURN {
      switch (what) {
        case CatalogQuery::Columns: return SQLColumnsW(h, nullptr, 0, schema, slen, name, len, nullptr, 0);
        case CatalogQuery::PrimaryKeys: return SQLPrimaryKeysW(h, nullptr, 0, schema, slen, name, len);
        case CatalogQuery::Statistics:
          return SQLStatisticsW(h, nullptr, 0, schema, slen, name, len, SQL_INDEX_ALL, SQL_QUICK);
        case CatalogQuery::ReferencedBy:
          return SQLForeignKeysW(h, nullptr, 0, schema, slen, name, len, nullptr, 0, nullptr, 0, nullptr, 0);
        case CatalogQuery::ForeignKeys:
          return SQLForeignKeysW(h, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, schema, slen, name, len);
      }
      return SQL_ERROR;
    }();
    if (!SQL_SUCCEEDED(rc)) Fail(stmt);
    return std::make_unique<OdbcCursor>(std::move(stmt));
  }

  void Cancel() override {
    std::lock_guard<std::mutex> lock(runningMutex_);
    if (running_) SQLCancel(running_);
  }

  void Close() override {
    if (!dbc_) return;
    SQLDisconnect(dbc_.Get());
    dbc_.Reset();
    env_.Reset();
  }

 private:
  // While the server works on a statement, Cancel (from another thread) can end it.
  class Running {
   public:
    Running(OdbcBackend& b, SQLHSTMT h) : b_(b) {
      std::lock_guard<std::mutex> lock(b_.runningMutex_);
      b_.running_ = h;
    }
    ~Running() {
      std::lock_guard<std::mutex> lock(b_.runningMutex_);
      b_.running_ = nullptr;
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

   private:
    OdbcBackend& b_;
  };

  StmtHandle NewStatement() {
    if (!dbc_) throw DbError(kClosedText);
    SQLHSTMT raw = nullptr;
    Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc_.Get(), &raw), SQL_HANDLE_DBC, dbc_.Get());
    StmtHandle stmt(raw);
    if (queryTimeout_ > 0)
      SQLSetStmtAttr(raw, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(queryTimeout_)), 0);
    return stmt;
  }

  [[noreturn]] static void Fail(const StmtHandle& stmt) {
    throw DbError(Diagnostics(SQL_HANDLE_STMT, stmt.Get()), LostState(SQL_HANDLE_STMT, stmt.Get()));
  }

  StmtHandle Statement(const std::string& sql) {
    StmtHandle stmt = NewStatement();
    std::u16string w = ToUtf16(sql);
    static_assert(sizeof(SQLWCHAR) == sizeof(char16_t));
    SQLRETURN rc = SQL_ERROR;
    {
      Running running(*this, stmt.Get());
      rc = SQLExecDirectW(stmt.Get(), reinterpret_cast<SQLWCHAR*>(w.data()), static_cast<SQLINTEGER>(w.size()));
    }
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) Fail(stmt);
    return stmt;
  }

  EnvHandle env_;
  DbcHandle dbc_;
  std::mutex runningMutex_;
  SQLHSTMT running_ = nullptr;  // the statement SQLExecDirect is working on
  int queryTimeout_;
};

EnvHandle NewEnvironment() {
  // The driver manager converts between wide and narrow text for narrow-only drivers in the
  // character set of LC_CTYPE; without UTF-8 there, every letter outside ASCII would be lost.
  static const bool utf8 = [] {
    const char* set = nl_langinfo(CODESET);
    if (set && std::strcmp(set, "UTF-8") == 0) return true;
    return std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
  }();
  (void)utf8;
  SQLHENV raw = nullptr;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &raw)))
    throw DbError("The ODBC driver manager could not be started.");
  EnvHandle env(raw);
  SQLSetEnvAttr(raw, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  return env;
}

}  // namespace

void MapOdbcType(int sqlType, bool isUnsigned, long columnSize, int& adoType, long& definedSize) {
  definedSize = columnSize;
  switch (sqlType) {
    case SQL_CHAR: adoType = adChar; break;
    case SQL_VARCHAR:
      adoType = adVarChar;
      if (columnSize == 0) { adoType = adLongVarChar; definedSize = 2147483647; }
      break;
    case SQL_LONGVARCHAR: adoType = adLongVarChar; break;
    case SQL_WCHAR: adoType = adWChar; break;
    case SQL_WVARCHAR:
      adoType = adVarWChar;
      if (columnSize == 0) { adoType = adLongVarWChar; definedSize = 1073741823; }
      break;
    case SQL_WLONGVARCHAR: adoType = adLongVarWChar; break;
    case SQL_DECIMAL: case SQL_NUMERIC: adoType = adNumeric; break;
    case SQL_SMALLINT: adoType = isUnsigned ? adUnsignedSmallInt : adSmallInt; break;
    case SQL_INTEGER: adoType = isUnsigned ? adUnsignedInt : adInteger; break;
    case SQL_BIGINT: adoType = isUnsigned ? adUnsignedBigInt : adBigInt; break;
    case SQL_TINYINT: adoType = isUnsigned ? adUnsignedTinyInt : adTinyInt; break;
    case SQL_REAL: adoType = adSingle; break;
    case SQL_FLOAT: case SQL_DOUBLE: adoType = adDouble; break;
    case SQL_BIT: adoType = adBoolean; break;
    case SQL_BINARY: adoType = adBinary; break;
    case SQL_VARBINARY:
      adoType = adVarBinary;
      if (columnSize == 0) { adoType = adLongVarBinary; definedSize = 2147483647; }
      break;
    case SQL_LONGVARBINARY: adoType = adLongVarBinary; break;
    case SQL_TYPE_DATE: case SQL_DATE: adoType = adDBDate; break;
    case SQL_TYPE_TIME: case SQL_TIME: case kSsTime2: adoType = adDBTime; break;
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: adoType = adDBTimeStamp; break;
    case SQL_GUID: adoType = adGUID; break;
    case kSsXml: adoType = adLongVarWChar; if (columnSize == 0) definedSize = 1073741823; break;
    case kSsVariant: adoType = adVariant; break;
    default: adoType = -1; break;  // no ADO name: the catch-all type rule applies
  }
}

std::string OdbcDriverLibrary(const std::string& driverName) {
  EnvHandle env = NewEnvironment();
  std::string found;
  SQLCHAR desc[512], attrs[4096];
  SQLSMALLINT descLen = 0, attrLen = 0;
  SQLUSMALLINT dir = SQL_FETCH_FIRST;
  while (SQL_SUCCEEDED(SQLDriversA(env.Get(), dir, desc, sizeof desc, &descLen, attrs, sizeof attrs, &attrLen))) {
    dir = SQL_FETCH_NEXT;
    if (reinterpret_cast<char*>(desc) != driverName) continue;
    // Attributes come as "key=value\0key=value\0\0".
    for (const char* p = reinterpret_cast<char*>(attrs); *p; p += std::strlen(p) + 1) {
      if (std::strncmp(p, "Driver=", 7) == 0) found = p + 7;
    }
    if (found.empty()) found = "?";
    break;
  }
  return found;
}

std::string WithPinnedProtocol(const std::string& connectionString) {
  const auto keys = ParseConnString(connectionString);
  auto driver = keys.find("driver");
  if (driver == keys.end() || keys.count("tds_version")) return connectionString;
  std::string name = driver->second;
  if (name.size() >= 2 && name.front() == '{' && name.back() == '}') name = name.substr(1, name.size() - 2);
  if (OdbcDriverLibrary(name).find("tdsodbc") == std::string::npos) return connectionString;
  // FreeTDS without a protocol version tries one version after another, each with a login time-out
  // of its own, and against a hung server never ends. TDS 7.4 is what SQL Server 2012 and later
  // speak; older servers answer it with their own version.
  std::string s = connectionString;
  if (!s.empty() && s.back() != ';') s += ';';
  return s + "TDS_Version=7.4;";
}

std::unique_ptr<Backend> OpenOdbc(const std::string& connectionString, int loginTimeoutSeconds,
                                  int queryTimeoutSeconds) {
  EnvHandle env = NewEnvironment();
  SQLHDBC raw = nullptr;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, env.Get(), &raw)))
    throw DbError("The ODBC connection could not be created.");
  DbcHandle owned(raw);
  SQLHDBC dbc = raw;
  if (loginTimeoutSeconds > 0) {
    SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
    SQLSetConnectAttr(dbc, SQL_ATTR_CONNECTION_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeoutSeconds)), 0);
  }
  std::u16string w = ToUtf16(WithPinnedProtocol(connectionString));
  SQLWCHAR out[1024];
  SQLSMALLINT outLen = 0;
  SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, reinterpret_cast<SQLWCHAR*>(w.data()), static_cast<SQLSMALLINT>(w.size()),
                                   out, 1024, &outLen, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) throw DbError(Diagnostics(SQL_HANDLE_DBC, dbc));
  return std::make_unique<OdbcBackend>(std::move(env), std::move(owned), queryTimeoutSeconds);
}

}  // namespace ado
