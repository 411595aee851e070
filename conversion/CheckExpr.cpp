#include "conversion/CheckExpr.h"

#include <cctype>
#include <vector>

#include "connectivity/core/ConnString.h"
#include "conversion/TableDdl.h"

namespace conversion {

namespace {

enum class Tok { Name, Quoted, String, Number, Op, Open, Close, Comma };

struct Token {
  Tok kind;
  std::string text;  // a name or string without its quotes; an operator as written
};

bool IsWordStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '@' || c == '#'; }
bool IsWordChar(char c) { return IsWordStart(c) || std::isdigit(static_cast<unsigned char>(c)) || c == '$'; }
bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

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
      if (std::string("=<>+-*/%").find(c) == std::string::npos) {
        why = std::string("the character '") + c + "'";
        return false;
      }
      out.push_back({Tok::Op, std::string(1, c)});
      ++i;
    }
  }
  return true;
}

// The index of the ")" that closes the "(" at `open`, or the size when none does.
size_t Closing(const std::vector<Token>& t, size_t open) {
  int depth = 0;
  for (size_t i = open; i < t.size(); ++i) {
    if (t[i].kind == Tok::Open) ++depth;
    if (t[i].kind == Tok::Close && --depth == 0) return i;
  }
  return t.size();
}

std::string Upper(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The words of a condition that stay as they are.
bool IsKeyword(const std::string& word) {
  static const char* const kWords[] = {"AND", "OR", "NOT", "IN", "BETWEEN", "IS", "NULL", "LIKE", "ESCAPE",
                                       "CASE", "WHEN", "THEN", "ELSE", "END"};
  const std::string w = Upper(word);
  for (const char* k : kWords)
    if (w == k) return true;
  return false;
}

// Drops the parentheses SQL Server adds: around a single value "(0)", doubled "((x))", and the pair
// around the whole definition.
void Simplify(std::vector<Token>& t) {
  bool changed = true;
  while (changed) {
    changed = false;
    for (size_t i = 0; i + 2 < t.size(); ++i) {
      if (t[i].kind != Tok::Open) continue;
      const size_t close = Closing(t, i);
      if (close == t.size()) continue;
      const bool single = close == i + 2 && (t[i + 1].kind == Tok::Number || t[i + 1].kind == Tok::String ||
                                             t[i + 1].kind == Tok::Quoted);
      // A function's own parentheses stay: "len([x])".
      const bool call = i > 0 && t[i - 1].kind == Tok::Name && !IsKeyword(t[i - 1].text);
      const bool doubled = t[i + 1].kind == Tok::Open && Closing(t, i + 1) == close - 1;
      const bool whole = i == 0 && close == t.size() - 1;
      if ((single && !call) || doubled || (whole && !call)) {
        t.erase(t.begin() + static_cast<long>(close));
        t.erase(t.begin() + static_cast<long>(i));
        changed = true;
        break;
      }
    }
  }
}

}  // namespace

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

std::optional<std::string> TranslateCheck(const std::string& definition,
                                          const std::function<std::string(const std::string&)>& column,
                                          std::string& why) {
  std::vector<Token> t;
  if (!Tokens(definition, t, why)) return std::nullopt;
  if (t.empty()) {
    why = "an empty condition";
    return std::nullopt;
  }
  Simplify(t);
  std::vector<std::string> out;
  // What each open "(" adds before its ")": len() closes the TRIM inside it.
  std::vector<std::string> closers;
  auto fail = [&](const std::string& reason) {
    why = reason;
    return std::nullopt;
  };
  for (size_t i = 0; i < t.size(); ++i) {
    const Token& k = t[i];
    const bool call = i + 1 < t.size() && t[i + 1].kind == Tok::Open;
    switch (k.kind) {
      case Tok::Quoted: {
        const std::string c = column(k.text);
        if (c.empty()) return fail("the name " + k.text + " is not a column of the table");
        out.push_back(QuoteIdentifier(c));
        break;
      }
      case Tok::String:
        out.push_back(ado::SqlString(k.text));
        break;
      case Tok::Number:
        out.push_back(k.text);
        break;
      case Tok::Comma:
        out.push_back(",");
        break;
      case Tok::Open:
        out.push_back("(");
        closers.emplace_back();
        break;
      case Tok::Close:
        if (closers.empty()) return fail("a ')' without its '('");
        out.push_back(closers.back() + ")");
        closers.pop_back();
        break;
      case Tok::Op: {
        if (k.text == "%") return fail("the operator %");
        if (k.text == "!=") out.push_back("<>");
        else if (k.text == "!<") out.push_back(">=");
        else if (k.text == "!>") out.push_back("<=");
        else out.push_back(k.text);
        break;
      }
      case Tok::Name: {
        const std::string w = Upper(k.text);
        if (w == "LIKE") {
          if (i + 1 >= t.size() || t[i + 1].kind != Tok::String) return fail("LIKE without a pattern in quotes");
          if (i + 2 < t.size() && Upper(t[i + 2].text) == "ESCAPE" && t[i + 2].kind == Tok::Name) {
            if (t[i + 1].text.find('[') != std::string::npos) return fail("LIKE with both classes and ESCAPE");
            out.push_back("LIKE");
            break;
          }
          const std::string& pattern = t[i + 1].text;
          if (pattern.find('[') == std::string::npos) {
            out.push_back("LIKE");
          } else {
            out.push_back("SIMILAR TO " + ado::SqlString(LikeToSimilar(pattern)) + " ESCAPE '\\'");
            ++i;
          }
        } else if (IsKeyword(w)) {
          out.push_back(w);
        } else if (w == "CURRENT_TIMESTAMP" && !call) {
          out.push_back(w);
        } else if ((w == "GETDATE" || w == "SYSDATETIME") && call) {
          if (i + 2 >= t.size() || t[i + 2].kind != Tok::Close) return fail(k.text + "() with arguments");
          out.push_back("CURRENT_TIMESTAMP");
          i += 2;
        } else if (w == "LEN" && call) {
          // SQL Server's len() leaves out trailing spaces.
          out.push_back("CHAR_LENGTH(TRIM(TRAILING FROM");
          closers.emplace_back(")");
          ++i;
        } else if ((w == "UPPER" || w == "LOWER" || w == "ABS" || w == "COALESCE") && call) {
          out.push_back(w + "(");
          closers.emplace_back();
          ++i;
        } else if (w == "ISNULL" && call) {
          out.push_back("COALESCE(");
          closers.emplace_back();
          ++i;
        } else if (call) {
          return fail("the function " + k.text + "()");
        } else {
          const std::string c = column(k.text);
          if (c.empty()) return fail("the word " + k.text);
          out.push_back(QuoteIdentifier(c));
        }
        break;
      }
    }
  }
  if (!closers.empty()) return fail("a '(' without its ')'");
  // One space between tokens, none inside parentheses or before a comma.
  std::string s;
  for (size_t i = 0; i < out.size(); ++i) {
    const std::string& w = out[i];
    const bool tight = s.empty() || s.back() == '(' || w[0] == ')' || w == ",";
    if (!tight) s += ' ';
    s += w;
  }
  return s;
}

}  // namespace conversion
