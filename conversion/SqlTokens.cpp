#include <algorithm>
#include <cctype>
#include <map>

#include "conversion/SqlTranslator.h"

namespace conversion {

namespace sqltext {

namespace {

bool IsWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#'; }
bool IsWordChar(char c) { return IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$'; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

// Splits the definition into tokens; false, with the reason, on anything it does not know.
bool Tokens(const std::string& s, std::vector<Token>& out, std::string& why) {
  size_t i = 0;
  auto quoted = [&](char close, Tok kind) {
    std::string text;
    for (++i; i < s.size(); ++i) {
      if (s[i] == close) {
        if (i + 1 < s.size() && s[i + 1] == close) {
          text += close;
          ++i;
          continue;
        }
        ++i;
        out.push_back({kind, text});
        return true;
      }
      text += s[i];
    }
    why = "an unclosed quote";
    return false;
  };
  while (i < s.size()) {
    const char c = s[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
    } else if (c == '-' && i + 1 < s.size() && s[i + 1] == '-') {
      while (i < s.size() && s[i] != '\n') ++i;
    } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
      const size_t end = s.find("*/", i + 2);
      if (end == std::string::npos) {
        why = "an unclosed comment";
        return false;
      }
      i = end + 2;
    } else if (c == '[') {
      if (!quoted(']', Tok::Quoted)) return false;
    } else if (c == '"') {
      if (!quoted('"', Tok::Quoted)) return false;
    } else if (c == '\'') {
      if (!quoted('\'', Tok::String)) return false;
    } else if ((c == 'N' || c == 'n') && i + 1 < s.size() && s[i + 1] == '\'') {
      ++i;
      if (!quoted('\'', Tok::String)) return false;
    } else if (IsDigit(c) || (c == '.' && i + 1 < s.size() && IsDigit(s[i + 1]))) {
      size_t j = i;
      while (j < s.size() && (IsDigit(s[j]) || s[j] == '.')) ++j;
      if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && IsDigit(s[k])) {
          j = k;
          while (j < s.size() && IsDigit(s[j])) ++j;
        }
      }
      out.push_back({Tok::Number, s.substr(i, j - i)});
      i = j;
    } else if (IsWordStart(c)) {
      size_t j = i;
      while (j < s.size() && IsWordChar(s[j])) ++j;
      out.push_back({Tok::Name, s.substr(i, j - i)});
      i = j;
    } else if (c == '(') {
      out.push_back({Tok::Open, "("});
      ++i;
    } else if (c == ')') {
      out.push_back({Tok::Close, ")"});
      ++i;
    } else if (c == ',') {
      out.push_back({Tok::Comma, ","});
      ++i;
    } else if (c == '.') {
      out.push_back({Tok::Dot, "."});
      ++i;
    } else if (c == ';') {
      out.push_back({Tok::Semicolon, ";"});
      ++i;
    } else {
      static const char* const two[] = {"<>", "!=", "<=", ">=", "!<", "!>"};
      bool found = false;
      for (const char* op : two) {
        if (s.compare(i, 2, op) == 0) {
          out.push_back({Tok::Op, op});
          i += 2;
          found = true;
          break;
        }
      }
      if (found) continue;
      if (std::string("=<>+-*/%&|^~").find(c) == std::string::npos) {
        why = std::string("the character '") + c + "'";
        return false;
      }
      out.push_back({Tok::Op, std::string(1, c)});
      ++i;
    }
  }
  return true;
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// SQL Server's precedence among the kinds arithmetic meets.
int Rank(ValueKind k) {
  switch (k) {
    case ValueKind::Timestamp: case ValueKind::Date: case ValueKind::Time: return 6;
    case ValueKind::Float: return 5;
    case ValueKind::Real: return 4;
    case ValueKind::Exact: return 3;
    case ValueKind::Integer: return 2;
    case ValueKind::Text: return 1;
    default: return 0;
  }
}

// SQL Server's names of date parts, as Firebird's (empty: none that means the same).
std::string DatePart(const std::string& part) {
  static const std::map<std::string, std::string> kParts{
      {"YEAR", "YEAR"}, {"YY", "YEAR"}, {"YYYY", "YEAR"}, {"MONTH", "MONTH"}, {"MM", "MONTH"}, {"M", "MONTH"},
      {"DAY", "DAY"}, {"DD", "DAY"}, {"D", "DAY"}, {"HOUR", "HOUR"}, {"HH", "HOUR"}, {"MINUTE", "MINUTE"},
      {"MI", "MINUTE"}, {"N", "MINUTE"}, {"SECOND", "SECOND"}, {"SS", "SECOND"}, {"S", "SECOND"},
      {"MILLISECOND", "MILLISECOND"}, {"MS", "MILLISECOND"}, {"QUARTER", "QUARTER"}, {"QQ", "QUARTER"},
      {"Q", "QUARTER"}, {"WEEKDAY", "WEEKDAY"}, {"DW", "WEEKDAY"}, {"DAYOFYEAR", "DAYOFYEAR"}, {"DY", "DAYOFYEAR"},
      {"Y", "DAYOFYEAR"}};
  auto it = kParts.find(Upper(part));
  return it == kParts.end() ? std::string() : it->second;
}

// Words that end an expression or a table's name rather than naming an alias.
bool IsReserved(const std::string& word) {
  static const char* const kWords[] = {
      "SELECT", "FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "EXCEPT", "INTERSECT", "JOIN", "INNER",
      "LEFT", "RIGHT", "FULL", "OUTER", "CROSS", "ON", "AS", "AND", "OR", "NOT", "IN", "BETWEEN", "LIKE", "IS",
      "NULL", "CASE", "WHEN", "THEN", "ELSE", "END", "BY", "ASC", "DESC", "WITH", "FOR", "APPLY", "OPTION",
      "DISTINCT", "TOP", "ALL", "ESCAPE", "EXISTS", "INTO", "PIVOT", "UNPIVOT"};
  const std::string w = Upper(word);
  for (const char* k : kWords)
    if (w == k) return true;
  return false;
}

}  // namespace sqltext


std::string LikeToSimilar(const std::string& pattern) {
  static const std::string kSpecial = "[]()|^-+*?{}\\";
  std::string out;
  bool inClass = false;
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (inClass) {
      if (c == ']') {
        inClass = false;
        out += c;
      } else if (c == '[' || c == '\\') {
        out += '\\';
        out += c;
      } else {
        out += c;
      }
    } else if (c == '[') {
      inClass = true;
      out += c;
    } else if (c == '%' || c == '_') {
      out += c;
    } else {
      if (kSpecial.find(c) != std::string::npos) out += '\\';
      out += c;
    }
  }
  return out;
}

namespace sqltext {

size_t Utf8Chars(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace sqltext

ValueKind KindOf(const ColumnType& type) {
  const std::string& k = type.keyword;
  if (type.storage == Storage::Text || type.storage == Storage::TextBlob) return ValueKind::Text;
  if (k == "single") return ValueKind::Real;
  if (k == "double") return ValueKind::Float;
  if (k == "int" || k == "smallint" || k == "bool") return ValueKind::Integer;
  if (k == "currency" || k == "decimal") return ValueKind::Exact;
  if (k == "date") return ValueKind::Date;
  if (k == "time") return ValueKind::Time;
  if (k == "timestamp") return ValueKind::Timestamp;
  return ValueKind::Unknown;
}

}  // namespace conversion
