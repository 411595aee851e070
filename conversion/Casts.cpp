#include "conversion/Casts.h"
#include "conversion/TableDdl.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "connectivity/core/AdoTypes.h"
#include "connectivity/core/ConnString.h"

namespace conversion {

namespace {

const std::set<std::string> kSqlServerTypes = {
    "bigint",   "binary",     "bit",       "char",          "date",          "datetime",   "datetime2",
    "datetimeoffset", "decimal", "float",  "geography",     "geometry",      "hierarchyid", "image",
    "int",      "money",      "nchar",     "ntext",         "numeric",       "nvarchar",   "real",
    "rowversion", "smalldatetime", "smallint", "smallmoney", "sql_variant",  "sysname",    "text",
    "time",     "timestamp",  "tinyint",   "uniqueidentifier", "varbinary",  "varchar",    "xml"};

std::string Trim(const std::string& s) {
  const auto a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t") - a + 1);
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Words, numbers and single punctuation marks of a type text.
std::vector<std::string> Tokens(const std::string& text) {
  std::vector<std::string> out;
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (std::isspace(c)) {
      ++i;
    } else if (std::isalnum(c) || c == '_') {
      size_t j = i;
      while (j < text.size() && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '_')) ++j;
      out.push_back(text.substr(i, j - i));
      i = j;
    } else {
      out.emplace_back(1, static_cast<char>(c));
      ++i;
    }
  }
  return out;
}

bool IsNumber(const std::string& t) {
  return !t.empty() && t.size() < 9 && std::all_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The parts of SOURCE split at dots outside "quotes" and [brackets], each unquoted.
std::vector<std::string> NameParts(const std::string& source, const std::string& rule) {
  std::vector<std::string> parts(1);
  bool any = false;
  for (size_t i = 0; i < source.size(); ++i) {
    const char c = source[i];
    if (c == '"' || c == '[') {
      const char close = c == '"' ? '"' : ']';
      for (++i;; ++i) {
        if (i >= source.size()) throw CastError("The cast rule \"" + rule + "\" has an unclosed " + std::string(1, c) + ".");
        if (source[i] == close) {
          if (i + 1 < source.size() && source[i + 1] == close) {
            parts.back() += close;
            ++i;
            continue;
          }
          break;
        }
        parts.back() += source[i];
      }
      any = true;
    } else if (c == '.') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  for (auto& p : parts) {
    if (!any) p = Trim(p);
    if (Trim(p).empty()) throw CastError("The cast rule \"" + rule + "\" names an empty table or column.");
  }
  return parts;
}

bool SameName(const std::string& a, const std::string& b) { return ado::ToLower(a) == ado::ToLower(b); }

}  // namespace

ColumnType ParseFirebirdType(const std::string& text) {
  const std::vector<std::string> t = Tokens(text);
  auto bad = [&](const std::string& why) -> CastError {
    return CastError("\"" + Trim(text) + "\" is not a Firebird type" + (why.empty() ? "." : ": " + why + "."));
  };
  if (t.empty()) throw bad("no type is given");
  size_t i = 0;
  auto word = [&](const char* w) {
    if (i < t.size() && Upper(t[i]) == w) {
      ++i;
      return true;
    }
    return false;
  };
  // "(n)" or "(n, m)"; false when no parenthesis follows.
  auto numbers = [&](long& a, long& b) {
    if (!(i < t.size() && t[i] == "(")) return false;
    ++i;
    if (!(i < t.size() && IsNumber(t[i]))) throw bad("a number must follow \"(\"");
    a = std::stol(t[i++]);
    if (i < t.size() && t[i] == ",") {
      ++i;
      if (!(i < t.size() && IsNumber(t[i]))) throw bad("a number must follow \",\"");
      b = std::stol(t[i++]);
    }
    if (!(i < t.size() && t[i] == ")")) throw bad("\")\" is missing");
    ++i;
    return true;
  };
  auto charset = [&]() -> std::string {
    if (!word("CHARACTER")) return {};
    if (!word("SET") || i >= t.size()) throw bad("CHARACTER SET needs a name");
    return Upper(t[i++]);
  };
  ColumnType c;
  c.keyword = "cast";
  const std::string head = Upper(t[0]);
  if (word("SMALLINT") || word("INTEGER") || word("INT") || word("BIGINT") || word("FLOAT")) {
    c.firebirdType = head == "INT" ? "INTEGER" : head;
    c.numeric = true;
    c.storage = Storage::Number;
  } else if (word("DOUBLE")) {
    if (!word("PRECISION")) throw bad("DOUBLE must be DOUBLE PRECISION");
    c.firebirdType = "DOUBLE PRECISION";
    c.numeric = true;
    c.storage = Storage::Number;
  } else if (word("NUMERIC") || word("DECIMAL")) {
    long p = 9, s = 0;
    numbers(p, s);
    if (p < 1 || p > 18) throw bad("the precision must be from 1 to 18");
    if (s > p) throw bad("the scale cannot pass the precision");
    c.firebirdType = head + "(" + std::to_string(p) + ", " + std::to_string(s) + ")";
    c.numeric = true;
    c.storage = Storage::Number;
    c.scale = static_cast<int>(s);
  } else if (word("DATE") || word("TIME") || word("TIMESTAMP") || word("BOOLEAN")) {
    c.firebirdType = head;
  } else if (word("CHAR") || word("VARCHAR")) {
    long n = 1, unused = -1;
    if (!numbers(n, unused) && head == "VARCHAR") throw bad("VARCHAR needs a length");
    if (unused != -1) throw bad("a length is one number");
    const std::string cs = charset();
    const bool octets = cs == "OCTETS" || cs == "BINARY";
    c.storage = octets ? Storage::Binary : Storage::Text;
    c.length = n;
    c.firebirdType = head + "(" + std::to_string(n) + ") CHARACTER SET " + (cs.empty() ? "UTF8" : cs);
  } else if (word("BLOB")) {
    bool binary = true;
    if (word("SUB_TYPE")) {
      if (word("TEXT") || word("1")) binary = false;
      else if (!(word("BINARY") || word("0"))) throw bad("SUB_TYPE is TEXT or BINARY");
    }
    const std::string cs = binary ? std::string() : charset();
    c.storage = binary ? Storage::BinaryBlob : Storage::TextBlob;
    c.blob = true;
    c.firebirdType = binary ? "BLOB SUB_TYPE BINARY" : "BLOB SUB_TYPE TEXT CHARACTER SET " + (cs.empty() ? "UTF8" : cs);
  } else {
    throw bad("unknown type word \"" + t[0] + "\"");
  }
  if (i != t.size()) throw bad("\"" + t[i] + "\" is not understood");
  c.columnText = " " + c.firebirdType + ", ";
  return c;
}

CastRule ParseCast(const std::string& text) {
  CastRule r;
  r.text = Trim(text);
  const auto eq = r.text.rfind('=');
  if (eq == std::string::npos)
    throw CastError("The cast rule \"" + r.text + "\" has no \"=\": write SOURCE=TARGET, e.g. Orders.Total=VARCHAR(60).");
  const std::string source = Trim(r.text.substr(0, eq));
  const std::string target = Trim(r.text.substr(eq + 1));
  if (source.empty()) throw CastError("The cast rule \"" + r.text + "\" names no source type or column before \"=\".");
  if (target.empty()) throw CastError("The cast rule \"" + r.text + "\" names no Firebird type after \"=\".");
  try {
    r.target = ParseFirebirdType(target);
  } catch (const CastError& e) {
    throw CastError("The cast rule \"" + r.text + "\": " + e.what());
  }
  r.target.keyword = "cast " + r.text;
  const bool quoted = source.find_first_of("\"[") != std::string::npos;
  const auto paren = source.find('(');
  if (!quoted && paren != std::string::npos) {
    // A type with its length: nvarchar(50), decimal(38,4), varchar(max).
    r.typeName = ado::ToLower(Trim(source.substr(0, paren)));
    const std::vector<std::string> t = Tokens(source.substr(paren));
    size_t i = 1;
    auto number = [&]() -> long {
      if (i < t.size() && ado::ToLower(t[i]) == "max") return ++i, 0;
      if (!(i < t.size() && IsNumber(t[i]))) throw CastError("The cast rule \"" + r.text + "\" has a malformed length.");
      return std::stol(t[i++]);
    };
    r.length = number();
    if (i < t.size() && t[i] == ",") ++i, r.scale = static_cast<int>(number());
    if (!(i + 1 == t.size() && t[i] == ")")) throw CastError("The cast rule \"" + r.text + "\" has a malformed length.");
  } else {
    const std::vector<std::string> parts = NameParts(source, r.text);
    if (parts.size() == 1) {
      r.typeName = ado::ToLower(parts[0]);
    } else if (parts.size() <= 3) {
      r.column = parts.back();
      r.table = parts[parts.size() - 2];
      if (parts.size() == 3) r.schema = parts[0];
    } else {
      throw CastError("The cast rule \"" + r.text + "\" has too many dots: write Table.Column or Schema.Table.Column.");
    }
  }
  if (!r.typeName.empty() && !kSqlServerTypes.count(r.typeName))
    throw CastError("The cast rule \"" + r.text + "\": \"" + r.typeName +
                    "\" is no SQL Server type; a column is written Table.Column.");
  return r;
}

std::vector<std::string> SplitCastList(const std::string& text) {
  std::vector<std::string> out(1);
  char close = 0;
  for (char c : text) {
    if (close) {
      if (c == close) close = 0;
    } else if (c == '"' || c == '[') {
      close = c == '"' ? '"' : ']';
    } else if (c == ';' || c == '\n' || c == '\r') {
      if (!Trim(out.back()).empty()) out.emplace_back();
      continue;
    }
    out.back() += c;
  }
  if (Trim(out.back()).empty()) out.pop_back();
  for (auto& r : out) r = Trim(r);
  return out;
}

CastRules::CastRules(const std::vector<std::string>& texts) {
  for (const auto& t : texts)
    if (!Trim(t).empty()) rules_.push_back(ParseCast(t));
  // Two rules for the same column, or for the same type written alike: only one could ever apply.
  for (size_t i = 0; i < rules_.size(); ++i)
    for (size_t j = 0; j < i; ++j) {
      const CastRule &a = rules_[j], &b = rules_[i];
      const bool sameColumn = !a.column.empty() && !b.column.empty() && SameName(a.column, b.column) &&
                              SameName(a.table, b.table) && SameName(a.schema, b.schema);
      const bool sameType = a.column.empty() && b.column.empty() && SameName(a.typeName, b.typeName) &&
                            a.length == b.length && a.scale == b.scale;
      if (sameColumn || sameType)
        throw CastError("The cast rules \"" + a.text + "\" and \"" + b.text + "\" both name " +
                        (sameColumn ? "the column " + a.table + "." + a.column : "the type " + a.typeName) +
                        ": keep one of them.");
    }
  used_.assign(rules_.size(), false);
}

const CastRule* CastRules::Find(const std::string& schema, const std::string& name, const ado::Field& field) const {
  const CastRule* typeRule = nullptr;
  size_t typeAt = 0;
  for (size_t i = 0; i < rules_.size(); ++i) {
    const CastRule& r = rules_[i];
    if (!r.column.empty()) {
      if (SameName(r.column, field.Name) && SameName(r.table, name) && (r.schema.empty() || SameName(r.schema, schema))) {
        used_[i] = true;
        return &r;
      }
    } else if (!typeRule && SameName(r.typeName, field.TypeName)) {
      const bool isLong = field.DefinedSize >= 1073741823;
      const bool exact = field.Type == ado::adNumeric || field.Type == ado::adDecimal;
      bool fits = r.length < 0 || (r.length == 0 ? isLong : exact ? r.length == field.Precision : r.length == field.DefinedSize);
      if (r.scale >= 0) fits = fits && exact && r.scale == field.NumericScale;
      if (fits) typeRule = &r, typeAt = i;
    }
  }
  if (typeRule) used_[typeAt] = true;
  return typeRule;
}

std::vector<std::string> CastRules::Unused() const {
  std::vector<std::string> out;
  for (size_t i = 0; i < rules_.size(); ++i)
    if (!used_[i]) out.push_back(rules_[i].text);
  return out;
}

}  // namespace conversion
