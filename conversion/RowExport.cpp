#include "conversion/RowExport.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "conversion/TableDdl.h"

namespace conversion {

namespace {
size_t Utf8Length(std::string_view text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

void Two(std::string& s, int v) {
  s += static_cast<char>('0' + v / 10 % 10);
  s += static_cast<char>('0' + v % 10);
}
}  // namespace

std::string DateLiteral(const ado::Value& v) {
  std::string s;
  Two(s, v.month);
  s += '/';
  Two(s, v.day);
  s += '/';
  char year[16];
  std::snprintf(year, sizeof year, "%04d", v.year);
  s += year;
  // Firebird keeps times to a ten-thousandth of a second.
  unsigned tenThousandths = v.nanos / 100000;
  bool midnight = v.hour == 0 && v.minute == 0 && v.second == 0 && tenThousandths == 0;
  if (v.kind == ado::Kind::Date || midnight) return s;
  s += ' ';
  Two(s, v.hour);
  s += ':';
  Two(s, v.minute);
  s += ':';
  Two(s, v.second);
  if (tenThousandths) {
    char frac[8];
    std::snprintf(frac, sizeof frac, ".%04u", tenThousandths);
    std::string f = frac;
    while (f.back() == '0') f.pop_back();
    s += f;
  }
  return s;
}

bool IsPlainNumber(const std::string& t) {
  size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  size_t digits = 0;
  bool dot = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') ++digits;
    else if (t[i] == '.' && !dot) dot = true;
    else break;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    size_t exp = 0;
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) ++exp;
    if (exp == 0) return false;
  }
  return i == t.size();
}

bool FitsScale(const std::string& number, int scale) {
  if (!IsPlainNumber(number) || scale < 0) return false;
  size_t i = 0;
  bool negative = false;
  if (number[i] == '-' || number[i] == '+') negative = number[i++] == '-';
  std::string digits;
  long point = -1;
  for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
    if (number[i] == '.') point = static_cast<long>(digits.size());
    else digits += number[i];
  }
  if (point < 0) point = static_cast<long>(digits.size());
  if (i < number.size()) point += std::stol(number.substr(i + 1));
  // Digits past the scale must all be zero: Firebird would round them away.
  const long keep = point + scale;
  for (long k = std::max(keep, 0L); k < static_cast<long>(digits.size()); ++k)
    if (digits[static_cast<size_t>(k)] != '0') return false;
  if (keep <= 0) return true;
  std::string scaled = digits.substr(0, static_cast<size_t>(std::min<long>(keep, static_cast<long>(digits.size()))));
  if (keep > static_cast<long>(digits.size())) scaled.append(static_cast<size_t>(keep) - digits.size(), '0');
  const size_t nz = scaled.find_first_not_of('0');
  scaled = nz == std::string::npos ? "0" : scaled.substr(nz);
  const std::string limit = negative ? "9223372036854775808" : "9223372036854775807";
  return scaled.size() < limit.size() || (scaled.size() == limit.size() && scaled <= limit);
}

InsertBuilder::InsertBuilder(const std::string& table, const TableDdl& ddl)
    : prefix_("INSERT INTO " + QuoteIdentifier(table) + " VALUES ("), columns_(ddl.columns) {}

void InsertBuilder::Null() {
  // The null follows the previous value's comma directly: (5,NULL, 'x').
  if (!s_.empty() && s_.back() == ' ') s_.pop_back();
  s_ += "NULL, ";
}

void InsertBuilder::Quoted(std::string_view text) {
  // A statement text cannot carry a NUL: each one is joined in as ASCII_CHAR(0).
  bool wrote = false;
  for (bool more = true; more;) {
    const size_t nul = text.find('\0');
    more = nul != std::string_view::npos;
    const std::string_view piece = text.substr(0, nul);
    if (!piece.empty() || (!wrote && !more)) {
      if (wrote) s_ += " || ";
      s_ += '\'';
      for (char c : piece) {
        s_ += c;
        if (c == '\'') s_ += '\'';
      }
      s_ += '\'';
      wrote = true;
    }
    if (more) {
      if (wrote) s_ += " || ";
      s_ += "ASCII_CHAR(0)";
      wrote = true;
      text.remove_prefix(nul + 1);
    }
  }
  s_ += ", ";
}

void InsertBuilder::Hex(std::string_view bytes) {
  static const char* hex = "0123456789ABCDEF";
  s_ += "X'";
  for (unsigned char c : bytes) {
    s_ += hex[c >> 4];
    s_ += hex[c & 15];
  }
  s_ += "', ";
}

void InsertBuilder::JoinedBlob(std::string_view value, bool binary) {
  // CAST('part' AS BLOB ...) || 'part' || ...: each text part ends on a whole UTF-8 character.
  bool first = true;
  while (!value.empty()) {
    size_t n = std::min(value.size(), kHexLiteralBytes);
    if (!binary) {
      // Up to kLiteralChars whole UTF-8 characters.
      size_t chars = 0;
      for (n = 0; n < value.size(); ++n) {
        if ((static_cast<unsigned char>(value[n]) & 0xC0) != 0x80 && chars++ == kLiteralChars) break;
      }
    }
    s_ += first ? "CAST(" : " || ";
    if (binary) Hex(value.substr(0, n));
    else Quoted(value.substr(0, n));
    s_.resize(s_.size() - 2);  // the separator written after the part
    if (first) s_ += binary ? " AS BLOB SUB_TYPE BINARY)" : " AS BLOB SUB_TYPE TEXT CHARACTER SET UTF8)";
    first = false;
    value.remove_prefix(n);
  }
  s_ += ", ";
}

namespace {
void CheckFits(const std::string& n, const ColumnType* column) {
  if (column && column->scale >= 0 && !FitsScale(n, column->scale))
    throw ValueError("The value " + n + " does not fit " + column->firebirdType + " without rounding.");
}

// The number as the column takes it: fractional zeros past its scale are left out, since Firebird
// refuses a literal of more than 18 digits that holds them.
std::string ExactText(const std::string& n, const ColumnType* column) {
  CheckFits(n, column);
  if (!column || column->scale < 0 || n.find_first_of("eE") != std::string::npos) return n;
  const auto point = n.find('.');
  if (point == std::string::npos) return n;
  size_t end = n.size();
  while (end > point + 1 + static_cast<size_t>(column->scale) && n[end - 1] == '0') --end;
  if (end == point + 1) --end;
  return n.substr(0, end);
}

bool IsTime(const ColumnType* c) { return c && c->firebirdType == "TIME"; }
bool IsTimestamp(const ColumnType* c) { return c && c->firebirdType == "TIMESTAMP"; }
bool IsApproximate(const ColumnType* c) { return c && (c->firebirdType == "FLOAT" || c->firebirdType == "DOUBLE PRECISION"); }

// A time or timestamp keeps ten-thousandths of a second, as Firebird does: digits past them are cut
// (never rounded, so a date never moves) and counted.
bool DigitsPastTenThousandths(const ado::Value& v) { return v.nanos % 100000 != 0; }

// "hh:mm:ss[.fffffff]" as a TIME takes it: at most four digits of a second, those past them cut (`cut`
// says so); other texts as they are, for Firebird to convert or refuse.
std::string TimeLiteral(const std::string& text, bool& cut) {
  const auto point = text.find('.');
  if (point == std::string::npos || text.size() < 8) return text;
  size_t end = text.size();
  for (size_t k = point + 1; k < end; ++k)
    if (text[k] < '0' || text[k] > '9') return text;
  while (end > point + 5 && text[end - 1] == '0') --end;
  if (end > point + 5) {
    cut = true;
    end = point + 5;
  }
  while (end > point + 1 && text[end - 1] == '0') --end;
  if (end == point + 1) --end;
  return text.substr(0, end);
}

// yyyy-mm-dd hh:mm:ss.fffffff with the column's digits of a second: a timestamp kept exactly as text.
std::string IsoTimestamp(const ado::Value& v, int digits) {
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", v.year, v.month, v.day, v.hour, v.minute, v.second);
  std::string s = buf;
  if (digits > 0) {
    std::snprintf(buf, sizeof buf, ".%09u", v.nanos);
    s.append(buf, static_cast<size_t>(1 + std::min(digits, 9)));
  }
  return s;
}

// A real's literal for a FLOAT column: twelve digits cut toward zero. The engine reads the literal as a
// double, refusing anything past FLOAT's range, and its reading may be off in the last bits; twelve digits
// are far closer to the value than half a FLOAT step, and never pass its magnitude.
std::string FloatLiteral(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17e", value);
  std::string s = buf;
  const auto e = s.find('e');
  const size_t digitsStart = s[0] == '-' ? 1 : 0;
  // d.ddddddddddd: the first digit, the point and eleven more.
  const size_t keep = digitsStart + 13;
  if (e != std::string::npos && e > keep) s.erase(keep, e - keep);
  return s;
}

// "yyyy-mm-dd hh:mm:ss[.fffffff] +hh:mm" (a datetimeoffset as the driver gives it) as the UTC timestamp
// it stands for; false for any other text.
bool OffsetTimestamp(const std::string& t, ado::Value& v) {
  int y, mo, d, h, mi, sec, oh, om, n = 0;
  char sign = 0;
  if (std::sscanf(t.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &y, &mo, &d, &h, &mi, &sec, &n) != 6) return false;
  size_t at = static_cast<size_t>(n);
  std::uint32_t nanos = 0;
  if (at < t.size() && t[at] == '.') {
    int digits = 0;
    for (++at; at < t.size() && t[at] >= '0' && t[at] <= '9'; ++at, ++digits) {
      if (digits >= 9) return false;
      nanos = nanos * 10 + static_cast<std::uint32_t>(t[at] - '0');
    }
    for (; digits < 9; ++digits) nanos *= 10;
  }
  int m = 0;
  if (std::sscanf(t.c_str() + at, " %c%2d:%2d%n", &sign, &oh, &om, &m) != 3 || (sign != '+' && sign != '-') ||
      at + static_cast<size_t>(m) != t.size())
    return false;
  // Days since 1970-01-01 of the civil date, and back (proleptic Gregorian).
  auto days = [](long long yy, unsigned mm, unsigned dd) {
    yy -= mm <= 2;
    const long long era = (yy >= 0 ? yy : yy - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(yy - era * 400);
    const unsigned doy = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
  };
  long long secs = days(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) * 86400 + h * 3600 + mi * 60 + sec -
                   (sign == '-' ? -1 : 1) * (oh * 3600 + om * 60);
  long long z = (secs >= 0 ? secs : secs - 86399) / 86400;
  const long long rest = secs - z * 86400;
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  v = ado::Value{};
  v.kind = ado::Kind::DateTime;
  v.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  v.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  v.year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (v.month <= 2));
  v.hour = static_cast<int>(rest / 3600);
  v.minute = static_cast<int>(rest / 60 % 60);
  v.second = static_cast<int>(rest % 60);
  v.nanos = nanos;
  return true;
}

// Text and blob columns keep a timestamp's digits of a second past ten-thousandths, as ISO text.
bool KeepsDigitsAsText(const ado::Value& v, const ColumnType* c) {
  return v.kind == ado::Kind::DateTime && v.nanos % 100000 != 0 && c &&
         (c->storage == Storage::Text || c->storage == Storage::TextBlob);
}
std::string FullIso(const ado::Value& v) {
  std::string s = IsoTimestamp(v, 9);
  while (s.back() == '0') s.pop_back();
  return s;
}

std::string TimeText(const ado::Value& v) {
  std::string t = v.ToString();
  if (v.nanos / 100000) {
    char frac[8];
    std::snprintf(frac, sizeof frac, ".%04u", v.nanos / 100000);
    t += frac;
  }
  return t;
}
}  // namespace

void InsertBuilder::Write(const ado::Value& v, const ColumnType* column) {
  using ado::Kind;
  const bool numeric = column && column->numeric;
  const bool blob = column && column->blob;
  auto exact = [&](const std::string& n) {
    s_ += ExactText(n, column);
    s_ += ", ";
  };
  // An empty value stays empty (''), apart from NULL.
  switch (v.kind) {
    case Kind::Null:
      return Null();
    case Kind::Text:
      if (IsTime(column)) {
        bool cut = false;
        Quoted(TimeLiteral(v.text, cut));
        if (cut) cutInRow_.push_back(k_);
        return;
      }
      if (ado::Value utc; IsTimestamp(column) && OffsetTimestamp(v.text, utc)) return Write(utc, column);
      if (numeric) {
        if (v.text == "False" || v.text == "True") {
          s_ += v.text == "True" ? "1, " : "0, ";
          return;
        }
        if (IsPlainNumber(v.text)) return exact(v.text);
      }
      if (blob && v.text.size() > kLiteralChars && Utf8Length(v.text) > kLiteralChars)
        return JoinedBlob(v.text, column->storage == Storage::BinaryBlob);
      return Quoted(v.text);
    case Kind::Binary:
      if (blob && v.text.size() > kHexLiteralBytes) return JoinedBlob(v.text, true);
      return Hex(v.text);
    case Kind::Boolean:
      if (numeric) s_ += v.boolean ? "1, " : "0, ";
      else Quoted(v.boolean ? "True" : "False");
      return;
    case Kind::Integer:
    case Kind::Floating:
    case Kind::Single:
    case Kind::Decimal: {
      // A real into FLOAT or DOUBLE PRECISION is written as the double it equals.
      std::string n = v.ToString();
      if (v.kind == Kind::Single && IsApproximate(column))
        n = column->firebirdType == "FLOAT" ? FloatLiteral(v.floating) : ado::FormatDouble(v.floating);
      if (numeric && IsPlainNumber(n)) return exact(n);
      return Quoted(n);
    }
    case Kind::Date:
    case Kind::DateTime:
      if (KeepsDigitsAsText(v, column)) return Quoted(FullIso(v));
      if ((IsTimestamp(column) || IsTime(column)) && DigitsPastTenThousandths(v)) cutInRow_.push_back(k_);
      s_ += '\'';
      s_ += DateLiteral(v);
      s_ += "', ";
      return;
    case Kind::Time:
      if (IsTime(column) && DigitsPastTenThousandths(v)) cutInRow_.push_back(k_);
      return Quoted(TimeText(v));
  }
}

const std::string& InsertBuilder::Build(const ado::Recordset& rs) {
  return Build(rs.FieldCount(), [&](int k) -> const ado::Value& { return rs.Fields(k).value; });
}

const std::string& InsertBuilder::Build(const std::vector<ado::Value>& row) {
  return Build(static_cast<int>(row.size()), [&](int k) -> const ado::Value& { return row[static_cast<size_t>(k)]; });
}

template <class ValueAt>
const std::string& InsertBuilder::Build(int count, ValueAt&& at) {
  s_.clear();
  s_ += prefix_;
  cutInRow_.clear();
  for (int k = 0; k < count; ++k) {
    const auto i = static_cast<size_t>(k);
    k_ = i;
    Write(at(k), i < columns_.size() ? &columns_[i] : nullptr);
  }
  // Drop the final ", " (or the "(" of a row without columns stays as it is).
  if (s_.size() >= 2 && s_.compare(s_.size() - 2, 2, ", ") == 0) s_.resize(s_.size() - 2);
  else if (!s_.empty() && s_.back() == ',') s_.pop_back();
  s_ += ");";
  return s_;
}

std::string PlaceholderInsertText(const std::string& table, const std::vector<std::string>& columns) {
  std::string s = "INSERT INTO " + QuoteIdentifier(table) + " (";
  for (size_t k = 0; k < columns.size(); ++k) s += (k ? ", " : "") + QuoteIdentifier(columns[k]);
  s += ") VALUES (";
  for (size_t k = 0; k < columns.size(); ++k) s += k ? ", ?" : "?";
  return s + ")";
}

ParamBuilder::ParamBuilder(const TableDdl& ddl) : columns_(ddl.columns) {
  params_.resize(columns_.size());
  texts_.resize(columns_.size());
}

bool ParamBuilder::Exact(ado::Param& p, const std::string& number, const ColumnType& c) {
  const std::string n = ExactText(number, &c);
  if (n.find_first_of("eE") != std::string::npos) {
    // An approximate literal: the engine reads it as a double, as strtod does.
    p.type = ado::Param::Type::Double;
    p.floating = std::strtod(n.c_str(), nullptr);
    return true;
  }
  // An exact literal: its digits as a scaled 64-bit integer.
  std::string digits;
  int scale = 0;
  bool negative = false, point = false;
  for (char ch : n) {
    if (ch == '-') negative = true;
    else if (ch == '.') point = true;
    else if (ch >= '0' && ch <= '9') {
      if (!(digits.empty() && ch == '0')) digits += ch;
      if (point) --scale;
    }
  }
  if (digits.size() > 18) return false;
  std::int64_t value = 0;
  for (char ch : digits) value = value * 10 + (ch - '0');
  p.type = ado::Param::Type::Int64;
  p.integer = negative ? -value : value;
  p.scale = scale;
  return true;
}

bool ParamBuilder::Set(size_t k, const ado::Value& v) {
  using ado::Kind;
  using T = ado::Param::Type;
  ado::Param& p = params_[k];
  p = ado::Param{};
  if (k >= columns_.size()) return false;
  const ColumnType& c = columns_[k];
  const bool blob = c.storage == Storage::TextBlob || c.storage == Storage::BinaryBlob;
  const T textType = c.storage == Storage::BinaryBlob ? T::BinaryBlob : blob ? T::TextBlob : T::Text;
  // Text as the literal statement would quote it; a VARCHAR parameter holds 32767 bytes at most.
  auto bind = [&](std::string_view bytes) {
    p.bytes = bytes;
    p.type = textType;
    return blob || bytes.size() <= 32767;
  };
  auto text = [&](std::string value) {
    texts_[k] = std::move(value);
    return bind(texts_[k]);
  };
  switch (v.kind) {
    case Kind::Null:
      return true;
    case Kind::Text:
      if (IsTime(&c)) {
        bool cut = false;
        const bool bound = text(TimeLiteral(v.text, cut));
        if (cut) cutInRow_.push_back(k);
        return bound;
      }
      if (ado::Value utc; IsTimestamp(&c) && OffsetTimestamp(v.text, utc)) {
        if (DigitsPastTenThousandths(utc)) cutInRow_.push_back(k);
        p.type = T::Timestamp;
        p.year = utc.year, p.month = utc.month, p.day = utc.day;
        p.hour = utc.hour, p.minute = utc.minute, p.second = utc.second;
        p.tenThousandths = utc.nanos / 100000;
        return true;
      }
      if (c.numeric) {
        if (v.text == "False" || v.text == "True") {
          p.type = T::Int64;
          p.integer = v.text == "True";
          return true;
        }
        if (IsPlainNumber(v.text)) return Exact(p, v.text, c);
      }
      return bind(v.text);
    case Kind::Binary:
      p.bytes = v.text;
      if (c.storage == Storage::BinaryBlob) p.type = T::BinaryBlob;
      else if (c.storage == Storage::Binary) p.type = T::Octets;
      else return false;  // bytes into a text column: the literal statement says what happens
      return blob || v.text.size() <= 32767;
    case Kind::Boolean:
      if (c.numeric) {
        p.type = T::Int64;
        p.integer = v.boolean;
        return true;
      }
      return text(v.boolean ? "True" : "False");
    case Kind::Integer:
    case Kind::Floating:
    case Kind::Single:
    case Kind::Decimal: {
      // A bit kept as a number goes into a BOOLEAN column (a cast) as the word; any other number is
      // Firebird's to refuse.
      if (c.firebirdType == "BOOLEAN" && v.kind == Kind::Integer && (v.integer == 0 || v.integer == 1))
        return text(v.integer ? "TRUE" : "FALSE");
      if (IsApproximate(&c) && (v.kind == Kind::Floating || v.kind == Kind::Single)) {
        // The very number the source holds; FLOAT takes a real's value without rounding.
        p.type = T::Double;
        p.floating = v.floating;
        return true;
      }
      std::string n = v.ToString();
      if (c.numeric && IsPlainNumber(n)) {
        texts_[k] = std::move(n);
        return Exact(p, texts_[k], c);
      }
      return text(std::move(n));
    }
    case Kind::Date:
    case Kind::DateTime: {
      if (KeepsDigitsAsText(v, &c)) return text(FullIso(v));
      if ((IsTimestamp(&c) || IsTime(&c)) && DigitsPastTenThousandths(v)) cutInRow_.push_back(k);
      const bool midnight = v.hour == 0 && v.minute == 0 && v.second == 0 && v.nanos / 100000 == 0;
      if (c.firebirdType == "TIMESTAMP" || (c.firebirdType == "DATE" && (v.kind == Kind::Date || midnight))) {
        p.type = c.firebirdType == "DATE" ? T::Date : T::Timestamp;
        p.year = v.year;
        p.month = v.month;
        p.day = v.day;
        if (v.kind == Kind::DateTime) {
          p.hour = v.hour;
          p.minute = v.minute;
          p.second = v.second;
          p.tenThousandths = v.nanos / 100000;
        }
        return true;
      }
      if (c.numeric || blob || c.storage == Storage::Binary) return false;
      return text(DateLiteral(v));
    }
    case Kind::Time:
      if (c.numeric || c.storage == Storage::Binary) return false;
      if (IsTime(&c) && DigitsPastTenThousandths(v)) cutInRow_.push_back(k);
      return text(TimeText(v));
  }
  return false;
}

bool ParamBuilder::Build(const ado::Recordset& rs) {
  const int count = rs.FieldCount();
  if (static_cast<size_t>(count) != columns_.size()) return false;
  cutInRow_.clear();
  bool all = true;
  for (int k = 0; k < count; ++k) all = Set(static_cast<size_t>(k), rs.Fields(k).value) && all;
  return all;
}

bool ParamBuilder::Build(const std::vector<ado::Value>& row) {
  if (row.size() != columns_.size()) return false;
  cutInRow_.clear();
  bool all = true;
  for (size_t k = 0; k < row.size(); ++k) all = Set(k, row[k]) && all;
  return all;
}

}  // namespace conversion
