// The values verify compares, from both sides: each put in one compared form by the class of its
// Firebird column.
#include "conversion/VerifyValues.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "connectivity/core/ConnString.h"
#include "conversion/Verify.h"

namespace conversion::verifyvalues {

namespace {

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

}  // namespace

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

// A source value as compared, worked out from the value itself and the class of its Firebird column,
// apart from the write path: a fault in how rows are written shows as a difference instead of being
// repeated here. Nothing for the few values whose stored form is the write path's own choice (a time
// as text, a datetimeoffset, bytes or dates in a text column): those are compared as written.
std::optional<Canon> FromSource(const ado::Value& v, Class c) {
  using ado::Kind;
  if (v.IsNull()) return Canon{};
  auto number = [&]() -> std::optional<std::string> {
    switch (v.kind) {
      case Kind::Integer: return std::to_string(v.integer);
      case Kind::Decimal: return NormalizeDecimal(v.text);
      case Kind::Boolean: return std::string(v.boolean ? "1" : "0");
      case Kind::Text: {
        if (v.text == "True" || v.text == "False") return std::string(v.text == "True" ? "1" : "0");
        // Digits with a sign and a point only; other text is Firebird's to convert, or refuse.
        const std::string& t = v.text;
        const size_t from = !t.empty() && (t[0] == '-' || t[0] == '+') ? 1 : 0;
        if (t.size() == from || t.find_first_not_of("0123456789.", from) != std::string::npos ||
            std::count(t.begin(), t.end(), '.') > 1 || t.find_first_of("0123456789") == std::string::npos)
          return std::nullopt;
        return NormalizeDecimal(t);
      }
      default: return std::nullopt;
    }
  };
  switch (c) {
    case Class::Number:
      if (auto n = number()) return Canon{*n};
      return std::nullopt;
    case Class::Double:
    case Class::Single: {
      double d = 0;
      if (v.kind == Kind::Floating || v.kind == Kind::Single) d = v.floating;
      else if (auto n = number()) d = std::strtod(n->c_str(), nullptr);
      else return std::nullopt;
      return Canon{Zero(c == Class::Single ? ado::FormatSingle(static_cast<float>(d)) : ado::FormatDouble(d))};
    }
    case Class::Boolean:
      if (v.kind == Kind::Boolean) return Canon{v.boolean ? "TRUE" : "FALSE"};
      if (v.kind == Kind::Integer) return Canon{v.integer != 0 ? "TRUE" : "FALSE"};
      if (v.kind == Kind::Text) {
        const std::string word = ado::ToUpper(v.text);
        return Canon{word == "TRUE" || word == "FALSE" ? word : v.text};
      }
      return std::nullopt;
    case Class::Date: {
      const bool midnight = v.hour == 0 && v.minute == 0 && v.second == 0 && v.nanos == 0;
      if (v.kind == Kind::Date || (v.kind == Kind::DateTime && midnight)) return Canon{DateText(v.year, v.month, v.day)};
      return std::nullopt;
    }
    case Class::Timestamp:
      // Firebird keeps 1/10000 s: the digits past it are cut, never rounded.
      if (v.kind == Kind::DateTime)
        return Canon{DateText(v.year, v.month, v.day) + " " + TimeText(v.hour, v.minute, v.second, v.nanos / 100000)};
      if (v.kind == Kind::Date) return Canon{DateText(v.year, v.month, v.day) + " 00:00:00.0000"};
      return std::nullopt;
    case Class::Time:
      if (v.kind == Kind::Time || v.kind == Kind::DateTime) return Canon{TimeText(v.hour, v.minute, v.second, v.nanos / 100000)};
      return std::nullopt;
    case Class::Bytes:
      if (v.kind == Kind::Binary) return Canon{v.text};
      return std::nullopt;
    case Class::Char:
      if (v.kind == Kind::Text) return Canon{TrimSpaces(v.text)};
      return std::nullopt;
    case Class::Text:
      if (v.kind == Kind::Text) return Canon{v.text};
      if (v.kind == Kind::Integer || v.kind == Kind::Decimal) return Canon{v.ToString()};
      return std::nullopt;
    default:
      return std::nullopt;
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

}  // namespace conversion::verifyvalues
