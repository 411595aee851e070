#include "conversion/Verify.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <optional>
#include <thread>

#include "connectivity/core/ConnString.h"
#include "conversion/RowExport.h"
#include "conversion/RowReader.h"
#include "conversion/RunSummary.h"

namespace conversion {
namespace {

// How a column's values compare once Firebird holds them.
enum class Class { Number, Double, Single, Text, Char, Bytes, Date, Timestamp, Time, Boolean, Other };

Class ClassOf(const ColumnType& c) {
  const std::string& t = c.firebirdType;
  auto starts = [&](const char* p) { return t.rfind(p, 0) == 0; };
  if (t == "SMALLINT" || t == "INTEGER" || t == "BIGINT" || starts("NUMERIC") || starts("DECIMAL")) return Class::Number;
  if (t == "DOUBLE PRECISION") return Class::Double;
  if (t == "FLOAT") return Class::Single;
  if (t == "DATE") return Class::Date;
  if (t == "TIMESTAMP") return Class::Timestamp;
  if (t == "TIME") return Class::Time;
  if (t == "BOOLEAN") return Class::Boolean;
  if (t.find("OCTETS") != std::string::npos || t.find("BINARY") != std::string::npos || t == "BLOB SUB_TYPE 0")
    return Class::Bytes;
  if (starts("CHAR(")) return Class::Char;
  if (starts("VARCHAR") || starts("BLOB")) return Class::Text;
  return Class::Other;
}

// One value as compared: absent for NULL.
using Canon = std::optional<std::string>;

std::string TrimSpaces(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string Scaled(std::int64_t n, int scale) {
  if (scale >= 0) return std::to_string(n);
  const bool neg = n < 0;
  std::string digits = std::to_string(neg ? 0 - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n));
  const auto s = static_cast<size_t>(-scale);
  if (digits.size() <= s) digits.insert(0, s + 1 - digits.size(), '0');
  digits.insert(digits.size() - s, ".");
  return NormalizeDecimal(neg ? "-" + digits : digits);
}

// "hh:mm:ss.ffff" from any "h:m:s[.f...]" (digits past 1/10000 s dropped), or the text as it stands.
std::string ClockText(const std::string& text, size_t at = 0) {
  int h = 0, m = 0, s = 0, used = 0;
  if (std::sscanf(text.c_str() + at, "%d:%d:%d%n", &h, &m, &s, &used) != 3) return text;
  std::string frac;
  size_t i = at + static_cast<size_t>(used);
  if (i < text.size() && text[i] == '.')
    for (++i; i < text.size() && frac.size() < 4 && std::isdigit(static_cast<unsigned char>(text[i])); ++i) frac += text[i];
  frac.resize(4, '0');
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%s", h, m, s, frac.c_str());
  return buf;
}

std::string DateText(int y, int m, int d) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
  return buf;
}

std::string TimeText(int h, int m, int s, unsigned tenThousandths) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%04u", h, m, s, tenThousandths);
  return buf;
}

// Floating point zero compares equal to its negative, in SQL Server as in Firebird: both are "0".
std::string Zero(std::string text) { return text == "-0" || text == "-0.0" ? "0" : text; }

// A Firebird value as compared.
Canon FromFirebird(const ado::Value& v, Class c) {
  using ado::Kind;
  if (v.IsNull()) return std::nullopt;
  switch (v.kind) {
    case Kind::Integer: return std::to_string(v.integer);
    case Kind::Decimal: return NormalizeDecimal(v.text);
    case Kind::Boolean: return v.boolean ? "TRUE" : "FALSE";
    case Kind::Floating: return Zero(ado::FormatDouble(v.floating));
    case Kind::Single: return Zero(ado::FormatSingle(static_cast<float>(v.floating)));
    case Kind::Date: return DateText(v.year, v.month, v.day);
    case Kind::Time: return TimeText(v.hour, v.minute, v.second, v.nanos / 100000);
    case Kind::DateTime:
      return DateText(v.year, v.month, v.day) + " " + TimeText(v.hour, v.minute, v.second, v.nanos / 100000);
    default: return c == Class::Char ? TrimSpaces(v.text) : v.text;
  }
}

// What the program sent for a column (its parameter), as Firebird would give it back.
Canon FromParam(const ado::Param& p, Class c) {
  using T = ado::Param::Type;
  if (c == Class::Boolean && p.type != T::Null) {
    // A BOOLEAN column (a cast) holds what Firebird made of the value: numbers by zero or not, the
    // words TRUE and FALSE in any case; anything else it refused.
    if (p.type == T::Int64) return p.integer != 0 ? "TRUE" : "FALSE";
    if (p.type == T::Double) return p.floating != 0 ? "TRUE" : "FALSE";
    const std::string word = ado::ToUpper(std::string(p.bytes));
    if (word == "TRUE" || word == "FALSE") return word;
    return std::string(p.bytes);
  }
  switch (p.type) {
    case T::Null: return std::nullopt;
    case T::Int64:
      if (c == Class::Double) return Zero(ado::FormatDouble(std::strtod(Scaled(p.integer, p.scale).c_str(), nullptr)));
      if (c == Class::Single) return Zero(ado::FormatSingle(std::strtof(Scaled(p.integer, p.scale).c_str(), nullptr)));
      return Scaled(p.integer, p.scale);
    case T::Double:
      if (c == Class::Single) return Zero(ado::FormatSingle(static_cast<float>(p.floating)));
      if (c == Class::Number) return NormalizeDecimal(ado::FormatDouble(p.floating));
      return Zero(ado::FormatDouble(p.floating));
    case T::Date:
    case T::Timestamp: {
      const std::string date = DateText(p.year, p.month, p.day);
      if (c == Class::Date) return date;
      return date + " " + TimeText(p.hour, p.minute, p.second, p.tenThousandths);
    }
    default: {
      const std::string text(p.bytes);
      switch (c) {
        case Class::Char: return TrimSpaces(text);
        case Class::Number: return NormalizeDecimal(text);
        case Class::Time: return ClockText(text);
        case Class::Timestamp: {
          const size_t space = text.find(' ');
          return space == std::string::npos ? text + " 00:00:00.0000" : text.substr(0, space) + " " + ClockText(text, space + 1);
        }
        default: return text;
      }
    }
  }
}

// Orders two values as both databases sort them ascending: NULL first, numbers by value, the rest by bytes.
int Compare(const Canon& a, const Canon& b, Class c) {
  if (!a || !b) return a ? 1 : b ? -1 : 0;
  if (c == Class::Number || c == Class::Double || c == Class::Single) {
    const long double x = std::strtold(a->c_str(), nullptr), y = std::strtold(b->c_str(), nullptr);
    if (x != y) return x < y ? -1 : 1;
    // Equal as long doubles: exact digits decide (wide decimals).
    return *a == *b ? 0 : (*a < *b ? -1 : 1);
  }
  const int r = a->compare(*b);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

std::string Show(const Canon& v, Class c) {
  if (!v) return "NULL";
  if (c == Class::Bytes) {
    static const char* hex = "0123456789ABCDEF";
    std::string s = "0x";
    for (size_t i = 0; i < v->size() && i < 32; ++i) {
      s += hex[static_cast<unsigned char>((*v)[i]) >> 4];
      s += hex[static_cast<unsigned char>((*v)[i]) & 15];
    }
    return v->size() > 32 ? s + "... (" + std::to_string(v->size()) + " bytes)" : s;
  }
  if (c == Class::Number || c == Class::Double || c == Class::Single || c == Class::Boolean) return *v;
  std::string s = v->size() > 60 ? v->substr(0, 60) + "... (" + std::to_string(v->size()) + " bytes)" : *v;
  return "'" + s + "'";
}

std::string SourceName(const std::string& name) {
  std::string s = "[";
  for (char ch : name) s += ch == ']' ? "]]" : std::string(1, ch);
  return s + "]";
}

struct Row {
  std::vector<Canon> values;
  bool unstorable = false;  // the program cannot store it: the run rejected it
  std::string key;          // the source row's key (RowKeyText), where rejected keys are looked up
};

// A whole row as one text, equal exactly when every value is.
std::string WholeRow(const Row& r) {
  std::string s;
  for (const Canon& v : r.values) s += v ? std::to_string(v->size()) + ":" + *v : std::string("-");
  return s;
}

}  // namespace

std::string NormalizeDecimal(const std::string& text) {
  if (!IsPlainNumber(text) || text.find_first_of("eE") != std::string::npos) return text;
  std::string s = text;
  bool neg = false;
  if (!s.empty() && (s[0] == '-' || s[0] == '+')) {
    neg = s[0] == '-';
    s.erase(0, 1);
  }
  if (s.find('.') != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
  }
  size_t lead = 0;
  while (lead + 1 < s.size() && s[lead] == '0' && s[lead + 1] != '.') ++lead;
  s.erase(0, lead);
  if (s.empty() || s[0] == '.') s.insert(0, "0");
  if (s == "0") return s;
  return neg ? "-" + s : s;
}

std::string TableVerdict::Text() const {
  if (!error.empty()) return "not verified: " + error;
  std::string s;
  if (Identical()) s = "identical (" + std::to_string(rows) + (rows == 1 ? " row)" : " rows)");
  else
    s = "different: " + std::to_string(differing) + " differing, " + std::to_string(missing) + " missing, " +
        std::to_string(extra) + " extra of " + std::to_string(rows) + " rows";
  if (expected) s += "; " + std::to_string(expected) + " rows rejected during the run are missing, as expected";
  return s;
}

std::string RowKeyText(const std::vector<ado::Value>& values, const std::vector<size_t>& ordinals) {
  std::string s;
  for (size_t k : ordinals) {
    if (k >= values.size() || values[k].IsNull()) {
      s += '\x01';
      continue;
    }
    const std::string v = values[k].ToString();
    s += std::to_string(v.size()) + ":" + v;
  }
  return s;
}

TableDdl PlannedTable(ado::Connection& source, const MSSQL::TableRef& ref, const std::string& targetName,
                      const TypeOptions& types, std::vector<std::string>* sourceNames) {
  ado::Recordset shape;
  shape.Open("SELECT * FROM " + MSSQL::SqlName(ref) + " WHERE 1 = 0", source);
  if (sourceNames)
    for (int k = 0; k < shape.FieldCount(); ++k) sourceNames->push_back(shape.Fields(k).Name);
  std::vector<MSSQL::ColumnInfo> catalogue;
  try {
    catalogue = MSSQL::ReadColumns(source, ref);
  } catch (const ado::DbError& e) {
    if (e.ConnectionLost()) throw;
  }
  for (const auto& c : catalogue)
    for (int k = 0; k < shape.FieldCount(); ++k)
      if (shape.Fields(k).TypeName.empty() && ado::ToLower(shape.Fields(k).Name) == ado::ToLower(c.name))
        shape.SetTypeName(k, c.typeName);
  return BuildCreateTable(targetName, shape, nullptr, nullptr, types);
}

std::string ColumnDifference(ado::Connection& target, const std::string& table, const std::vector<std::string>& columns) {
  std::vector<std::string> held;
  ado::Recordset rs(target.Active().Query("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = " +
                                          ado::SqlString(table) + " ORDER BY RDB$FIELD_POSITION"));
  for (; !rs.Eof(); rs.MoveNext()) held.push_back(rs.Fields(0).value.ToString());
  if (held == columns) return {};
  auto list = [](const std::vector<std::string>& names) {
    std::string s;
    for (const auto& n : names) s += (s.empty() ? "\"" : ", \"") + n + "\"";
    return s.empty() ? std::string("none") : s;
  };
  std::vector<std::string> extra, lacking;
  for (const auto& h : held)
    if (std::find(columns.begin(), columns.end(), h) == columns.end()) extra.push_back(h);
  for (const auto& c : columns)
    if (std::find(held.begin(), held.end(), c) == held.end()) lacking.push_back(c);
  std::string why = "Firebird's table has other columns than the run creates";
  if (!extra.empty()) why += "; only in Firebird: " + list(extra);
  if (!lacking.empty()) why += "; not in Firebird: " + list(lacking);
  if (extra.empty() && lacking.empty()) why += "; in another order: " + list(held);
  return why;
}

TableVerdict VerifyTable(ado::Connection& source, ado::Connection& target, const MSSQL::TableRef& ref,
                         const std::string& display, const std::string& targetName,
                         const std::vector<std::string>& keyColumns, const TypeOptions& types,
                         long long rejectedInRun, const std::set<std::string>* rejectedKeys) {
  TableVerdict v;
  v.source = display;
  v.target = targetName;
  try {
    // The columns and their Firebird types, as the run made them.
    std::vector<std::string> names;
    const TableDdl ddl = PlannedTable(source, ref, targetName, types, &names);
    // The columns first: a table with a column more or less is not the one the run made.
    if (std::string differ = ColumnDifference(target, targetName, ddl.columnNames); !differ.empty()) {
      v.error = differ;
      return v;
    }
    const size_t n = ddl.columns.size();
    std::vector<Class> classes;
    for (const auto& c : ddl.columns) classes.push_back(ClassOf(c));
    // The order: the primary key, or every column both databases can sort.
    std::vector<size_t> key;
    for (const auto& k : keyColumns)
      for (size_t i = 0; i < names.size(); ++i)
        if (ado::ToLower(names[i]) == ado::ToLower(k)) key.push_back(i);
    const bool byKey = !keyColumns.empty() && key.size() == keyColumns.size();
    if (!byKey) {
      key.clear();
      for (size_t i = 0; i < n; ++i)
        if (!ddl.columns[i].blob && classes[i] != Class::Other) key.push_back(i);
    }
    std::string srcOrder, fbOrder;
    for (size_t i : key) {
      srcOrder += (srcOrder.empty() ? "" : ", ") + SourceName(names[i]);
      // SQL Server sorts text by its collation; Firebird's UTF8 by code point, as a binary collation does.
      if (MSSQL::IsSqlServerDriver() && (classes[i] == Class::Text || classes[i] == Class::Char))
        srcOrder += " COLLATE Latin1_General_BIN2";
      fbOrder += (fbOrder.empty() ? "" : ", ") + QuoteIdentifier(ddl.columnNames[i]);
    }
    std::string fbColumns;
    for (const auto& c : ddl.columnNames) fbColumns += (fbColumns.empty() ? "" : ", ") + QuoteIdentifier(c);
    ado::Recordset src, fb;
    // Both databases sort at the same time: Firebird's query opens on a thread of its own meanwhile.
    {
      std::exception_ptr fbFailed;
      std::thread opening([&] {
        try {
          fb.Open("SELECT " + fbColumns + " FROM " + QuoteIdentifier(targetName) +
                      (fbOrder.empty() ? "" : " ORDER BY " + fbOrder),
                  target);
        } catch (...) {
          fbFailed = std::current_exception();
        }
      });
      try {
        src.Open("SELECT * FROM " + MSSQL::SqlName(ref) + (srcOrder.empty() ? "" : " ORDER BY " + srcOrder), source);
      } catch (...) {
        opening.join();
        throw;
      }
      opening.join();
      if (fbFailed) std::rethrow_exception(fbFailed);
    }

    ParamBuilder params(ddl);
    // Each side is fetched on a thread of its own; this one compares.
    RowReader reader(src, 1024, 16 << 20);
    RowReader fbReader(fb, 1024, 16 << 20);
    SourceRow raw, rawT;
    auto nextSource = [&](Row& row) {
      if (!reader.Next(raw)) return false;
      ++v.rows;
      row.values.assign(n, std::nullopt);
      if (byKey && rejectedKeys && !rejectedKeys->empty()) row.key = RowKeyText(raw.values, key);
      row.unstorable = !raw.readError.empty();
      if (row.unstorable) return true;
      bool all = true;
      try {
        all = params.Build(raw.values);
      } catch (const ValueError&) {
        row.unstorable = true;
        return true;
      }
      for (size_t k = 0; k < n && k < raw.values.size(); ++k) {
        const ado::Param& p = params.Params()[k];
        // A value only the literal statement carries: compared as its plain text.
        if (!all && p.type == ado::Param::Type::Null && !raw.values[k].IsNull()) {
          const std::string t = raw.values[k].ToString();
          row.values[k] = classes[k] == Class::Number ? NormalizeDecimal(t) : t;
        } else {
          row.values[k] = FromParam(p, classes[k]);
        }
      }
      return true;
    };
    auto nextTarget = [&](Row& row) {
      if (!fbReader.Next(rawT)) return false;
      row.values.assign(n, std::nullopt);
      for (size_t k = 0; k < n && k < rawT.values.size(); ++k) row.values[k] = FromFirebird(rawT.values[k], classes[k]);
      return true;
    };
    auto compareKeys = [&](const Row& a, const Row& b) {
      for (size_t i : key)
        if (const int c = Compare(a.values[i], b.values[i], classes[i])) return c;
      return 0;
    };
    auto keyText = [&](const Row& r) {
      std::string s;
      for (size_t i = 0; i < n; ++i) {
        if (byKey && std::find(key.begin(), key.end(), i) == key.end()) continue;
        s += (s.empty() ? "" : ", ") + ddl.columnNames[i] + " = " + Show(r.values[i], classes[i]);
      }
      // A table without a key names the whole row.
      return (byKey ? "key (" : "row (") + s + ")";
    };
    auto example = [&](const std::string& text) {
      if (v.examples.size() < kVerifyExamples) v.examples.push_back(text);
    };
    Row s, t, prevS, prevT;
    bool haveS = nextSource(s), haveT = nextTarget(t);
    long long unstorable = 0, unstorableByKey = 0, excused = 0;
    auto advanceS = [&] {
      prevS = std::move(s);
      haveS = nextSource(s);
      if (haveS && !s.unstorable && !prevS.unstorable && compareKeys(prevS, s) > 0)
        throw std::runtime_error("SQL Server and this program order the key differently");
    };
    auto advanceT = [&] {
      prevT = std::move(t);
      haveT = nextTarget(t);
      if (haveT && compareKeys(prevT, t) > 0) throw std::runtime_error("Firebird and this program order the key differently");
    };
    // Without a key, rows that sort alike (equal in every sortable column) come in either database's
    // own order: each such group is compared as a multiset of whole rows.
    while (!byKey && (haveS || haveT)) {
      if (haveS && s.unstorable) {
        ++unstorable;
        advanceS();
        continue;
      }
      const int c = !haveS ? 1 : !haveT ? -1 : compareKeys(s, t);
      const Row first = c <= 0 ? s : t;
      std::map<std::string, std::pair<long long, Row>> group;  // whole row: source count less Firebird's
      while (c <= 0 && haveS && (s.unstorable || compareKeys(s, first) == 0)) {
        if (s.unstorable) ++unstorable;
        else ++group.try_emplace(WholeRow(s), 0, s).first->second.first;
        advanceS();
      }
      while (c >= 0 && haveT && compareKeys(t, first) == 0) {
        --group.try_emplace(WholeRow(t), 0, t).first->second.first;
        advanceT();
      }
      for (const auto& [text, entry] : group) {
        if (entry.first > 0) {
          v.missing += entry.first;
          example(keyText(entry.second) + ": missing in Firebird" +
                  (entry.first > 1 ? " (" + std::to_string(entry.first) + " times)" : ""));
        } else if (entry.first < 0) {
          v.extra -= entry.first;
          example(keyText(entry.second) + ": in Firebird only" +
                  (entry.first < -1 ? " (" + std::to_string(-entry.first) + " times)" : ""));
        }
      }
    }
    while (haveS || haveT) {
      if (haveS && s.unstorable) {
        ++unstorable;
        if (rejectedKeys && rejectedKeys->count(s.key)) ++unstorableByKey;
        advanceS();
        continue;
      }
      const int c = !haveS ? 1 : !haveT ? -1 : compareKeys(s, t);
      if (c < 0 && rejectedKeys && rejectedKeys->count(s.key)) {
        ++excused;  // the run rejected this very row
        advanceS();
      } else if (c < 0) {
        ++v.missing;
        example(keyText(s) + ": missing in Firebird");
        advanceS();
      } else if (c > 0) {
        ++v.extra;
        example(keyText(t) + ": in Firebird only");
        advanceT();
      } else {
        std::string first;
        for (size_t k = 0; k < n; ++k) {
          if (Compare(s.values[k], t.values[k], classes[k]) == 0 && s.values[k] == t.values[k]) continue;
          first = keyText(s) + ": column \"" + ddl.columnNames[k] + "\": SQL Server " + Show(s.values[k], classes[k]) +
                  ", Firebird " + Show(t.values[k], classes[k]);
          break;
        }
        if (!first.empty()) {
          ++v.differing;
          example(first);
        }
        advanceS();
        advanceT();
      }
    }
    // Rows the run rejected are missing on purpose: by their key where it kept them, else by count.
    v.expected = unstorable + excused;
    const long long refused = std::max(0LL, rejectedInRun - (unstorable - unstorableByKey));
    const long long moved = std::min(refused, v.missing);
    v.missing -= moved;
    v.expected += moved;
  } catch (const ado::DbError& e) {
    if (e.ConnectionLost()) throw;
    v.error = FirstLine(e.what());
  } catch (const std::runtime_error& e) {
    v.error = e.what();
  }
  return v;
}

}  // namespace conversion
