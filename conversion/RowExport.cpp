#include "conversion/RowExport.h"

#include <algorithm>
#include <cstdio>

#include "connectivity/UiYield.h"
#include "conversion/TableDdl.h"

namespace conversion {

namespace {
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

InsertBuilder::InsertBuilder(const std::string& table, const TableDdl& ddl)
    : prefix_("INSERT INTO " + QuoteIdentifier(table) + " VALUES ("), numeric_(ddl.numeric), blob_(ddl.blob) {}

void InsertBuilder::Null() {
  // The null follows the previous value's comma directly: (5,NULL, 'x').
  if (!s_.empty() && s_.back() == ' ') s_.pop_back();
  s_ += "NULL, ";
}

void InsertBuilder::Quoted(std::string_view text) {
  s_ += '\'';
  for (char c : text) {
    s_ += c;
    if (c == '\'') s_ += '\'';
  }
  s_ += "', ";
}

void InsertBuilder::JoinedBlob(std::string_view text) {
  // CAST('part' AS BLOB SUB_TYPE TEXT) || 'part' || ...: each part ends on a whole UTF-8 character.
  bool first = true;
  while (!text.empty()) {
    size_t n = std::min(text.size(), kLiteralBytes);
    while (n < text.size() && n > 1 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    s_ += first ? "CAST(" : " || ";
    Quoted(text.substr(0, n));
    s_.resize(s_.size() - 2);  // the separator Quoted() wrote
    if (first) s_ += " AS BLOB SUB_TYPE TEXT)";
    first = false;
    text.remove_prefix(n);
  }
  s_ += ", ";
}

void InsertBuilder::Write(const ado::Value& v, bool numeric, bool blob) {
  using ado::Kind;
  static const char* hex = "0123456789ABCDEF";
  switch (v.kind) {
    case Kind::Null:
      return Null();
    case Kind::Text:
      if (v.text.empty()) return Null();
      if (numeric) {
        if (v.text == "False" || v.text == "True") {
          s_ += v.text == "True" ? "1, " : "0, ";
          return;
        }
        if (IsPlainNumber(v.text)) {
          s_ += v.text;
          s_ += ", ";
          return;
        }
      }
      if (blob && v.text.size() > kLiteralBytes) return JoinedBlob(v.text);
      return Quoted(v.text);
    case Kind::Binary:
      if (v.text.empty()) return Null();
      s_ += "X'";
      for (unsigned char c : v.text) {
        s_ += hex[c >> 4];
        s_ += hex[c & 15];
      }
      s_ += "', ";
      return;
    case Kind::Boolean:
      if (numeric) s_ += v.boolean ? "1, " : "0, ";
      else Quoted(v.boolean ? "True" : "False");
      return;
    case Kind::Integer:
    case Kind::Floating:
    case Kind::Single:
    case Kind::Decimal: {
      std::string n = v.ToString();
      if (numeric && IsPlainNumber(n)) {
        s_ += n;
        s_ += ", ";
      } else {
        Quoted(n);
      }
      return;
    }
    case Kind::Date:
    case Kind::DateTime:
      s_ += '\'';
      s_ += DateLiteral(v);
      s_ += "', ";
      return;
    case Kind::Time: {
      std::string t = v.ToString();
      if (v.nanos / 100000) {
        char frac[8];
        std::snprintf(frac, sizeof frac, ".%04u", v.nanos / 100000);
        t += frac;
      }
      return Quoted(t);
    }
  }
}

const std::string& InsertBuilder::Build(const ado::Recordset& rs) {
  s_.clear();
  s_ += prefix_;
  const int count = rs.FieldCount();
  for (int k = 0; k < count; ++k) {
    ui::Yield();
    const auto i = static_cast<size_t>(k);
    Write(rs.Fields(k).value, i < numeric_.size() && numeric_[i], i < blob_.size() && blob_[i]);
  }
  // Drop the final ", " (or the "(" of a row without columns stays as it is).
  if (s_.size() >= 2 && s_.compare(s_.size() - 2, 2, ", ") == 0) s_.resize(s_.size() - 2);
  else if (!s_.empty() && s_.back() == ',') s_.pop_back();
  s_ += ");";
  return s_;
}

}  // namespace conversion
