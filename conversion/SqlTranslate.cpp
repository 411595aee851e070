#include "conversion/SqlTranslate.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <vector>

#include "connectivity/core/AdoTypes.h"
#include "connectivity/core/ConnString.h"
#include "conversion/Names.h"
#include "conversion/TableDdl.h"

namespace conversion {

namespace {

enum class Tok { Name, Quoted, String, Number, Op, Open, Close, Comma, Dot, Semicolon, End };

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


namespace {

size_t Utf8Chars(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

}  // namespace

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

namespace {

// The construct that did not translate.
struct Untranslated {
  std::string why;
};

// A translated expression: its Firebird text, what SQL Server computes it as, and how it stands.
struct Expr {
  Expr() = default;
  Expr(std::string t, ValueKind k = ValueKind::Unknown, bool isAtom = false) : text(std::move(t)), kind(k), atom(isAtom) {}
  std::string text;
  ValueKind kind = ValueKind::Unknown;
  bool atom = false;     // a literal, a name or a call: parentheses around it are dropped
  bool paren = false;    // the source's own parentheses around a compound expression
  bool literal = false;  // a string literal (its text is `value`)
  std::string value;
  std::string name;      // a column's name in the source, for the select list
};

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

// A table or derived table in a FROM clause, as the query's names find it.
struct Rel {
  std::string qualifier;  // as written before a column in Firebird ("o", or the table's quoted name)
  std::string alias;      // lower-cased: the alias, else the table's name
  std::string schema;     // lower-cased schema written for the table, if any
  std::vector<SourceColumn> columns;
  std::string display;    // for messages
};

class Translator {
 public:
  Translator(std::vector<Token> tokens, TypeRules rules) : t_(std::move(tokens)), rules_(rules) {
    t_.push_back({Tok::End, ""});
  }

  // CHECK constraints: names are the table's columns.
  std::function<std::string(const std::string&)> column;
  // Views.
  RelationLookup* lookup = nullptr;
  std::string viewSchema;

  std::string CheckCondition() {
    Expr e = Condition();
    if (Peek().kind != Tok::End) Unexpected();
    // The pair of parentheses SQL Server puts around the whole condition goes too.
    return e.paren ? e.text.substr(1, e.text.size() - 2) : e.text;
  }

  TranslatedView View() {
    // CREATE VIEW name [(columns)] [WITH options] AS query [WITH CHECK OPTION] [;]
    if (!Word("CREATE") || !Word("VIEW")) Fail("a definition that is not CREATE VIEW ... AS");
    Name();
    while (Accept(Tok::Dot)) Name();
    std::vector<std::string> names;
    if (Accept(Tok::Open)) {
      do names.push_back(Name()); while (Accept(Tok::Comma));
      Expect(Tok::Close);
    }
    if (Word("WITH")) {
      do Name(); while (Accept(Tok::Comma));
    }
    if (!Word("AS")) Fail("a definition that is not CREATE VIEW ... AS");
    TranslatedView v;
    std::vector<SourceColumn> columns;
    v.select = Query(columns);
    if (IsWord("WITH")) {
      Next();
      if (!Word("CHECK") || !Word("OPTION")) Fail("WITH after the query");
      v.select += " WITH CHECK OPTION";
    }
    while (Accept(Tok::Semicolon)) {}
    if (Peek().kind != Tok::End) Unexpected();
    if (!names.empty()) {
      if (names.size() != columns.size()) Fail("a column list of another length than the select list");
      for (size_t i = 0; i < names.size(); ++i) columns[i].source = names[i];
    }
    for (auto& c : columns) {
      if (c.source.empty()) Fail("a column without a name");
      c.target = c.source;
    }
    v.columns = std::move(columns);
    return v;
  }

 private:
  // ---- tokens

  const Token& Peek(size_t ahead = 0) const { return t_[std::min(at_ + ahead, t_.size() - 1)]; }
  const Token& Next() {
    const Token& k = t_[at_];
    if (at_ + 1 < t_.size()) ++at_;
    return k;
  }
  bool Accept(Tok kind) {
    if (Peek().kind != kind) return false;
    Next();
    return true;
  }
  void Expect(Tok kind) {
    if (!Accept(kind)) {
      if (kind == Tok::Close && Peek().kind == Tok::End) Fail("a '(' without its ')'");
      Unexpected();
    }
  }
  bool IsWord(const char* w, size_t ahead = 0) const {
    return Peek(ahead).kind == Tok::Name && Upper(Peek(ahead).text) == w;
  }
  bool Word(const char* w) {
    if (!IsWord(w)) return false;
    Next();
    return true;
  }
  bool IsOp(const char* op, size_t ahead = 0) const { return Peek(ahead).kind == Tok::Op && Peek(ahead).text == op; }
  [[noreturn]] void Fail(const std::string& why) const { throw Untranslated{why}; }
  [[noreturn]] void Unexpected() const {
    const Token& k = Peek();
    switch (k.kind) {
      case Tok::End: Fail("an unfinished text");
      case Tok::Semicolon: Fail("the character ';'");
      case Tok::Close: Fail("a ')' without its '('");
      case Tok::Op: Fail("the operator " + k.text);
      case Tok::Name: {
        const std::string w = Upper(k.text);
        if (w == "FOR" && IsWord("XML", 1)) Fail("FOR XML");
        if (w == "FOR" && IsWord("JSON", 1)) Fail("FOR JSON");
        if (w == "OPTION") Fail("OPTION (...)");
        Fail("the word " + k.text);
      }
      default: Fail("'" + k.text + "'");
    }
  }
  // A name: a word that is not reserved, or a quoted name.
  std::string Name() {
    const Token& k = Peek();
    if (k.kind == Tok::Quoted || (k.kind == Tok::Name && !IsReserved(k.text))) return Next().text;
    Unexpected();
  }
  bool AtName() const {
    const Token& k = Peek();
    return k.kind == Tok::Quoted || (k.kind == Tok::Name && !IsReserved(k.text));
  }

  // ---- queries

  // query [UNION [ALL] query]... [ORDER BY ...]; `columns` gets the first select's columns.
  std::string Query(std::vector<SourceColumn>& columns) {
    // Each select leaves its FROM's names in scope: an ORDER BY after the last reads them.
    std::string out = Select(columns);
    while (IsWord("UNION") || IsWord("EXCEPT") || IsWord("INTERSECT")) {
      if (!IsWord("UNION")) Fail(Upper(Peek().text));
      Next();
      scopes_.pop_back();
      const bool all = Word("ALL");
      std::vector<SourceColumn> more;
      std::string next;
      if (Peek().kind == Tok::Open && IsWord("SELECT", 1)) {
        Next();
        next = "(" + Select(more) + ")";
        Expect(Tok::Close);
      } else {
        next = Select(more);
      }
      if (more.size() != columns.size()) Fail("a UNION of selects of different widths");
      for (size_t i = 0; i < columns.size(); ++i)
        if (Rank(more[i].kind) > Rank(columns[i].kind)) columns[i].kind = more[i].kind;
      out += std::string(all ? " UNION ALL " : " UNION ") + next;
    }
    if (IsWord("ORDER")) {
      Next();
      if (!Word("BY")) Unexpected();
      out += " ORDER BY " + OrderList(columns);
    }
    scopes_.pop_back();
    return out;
  }

  std::string OrderList(const std::vector<SourceColumn>& columns) {
    std::string out;
    do {
      std::string item;
      // A select item's name orders by that item.
      if (AtName() && (Peek(1).kind == Tok::Comma || Peek(1).kind == Tok::End || Peek(1).kind == Tok::Close ||
                       IsWord("ASC", 1) || IsWord("DESC", 1) || Peek(1).kind == Tok::Semicolon)) {
        const std::string lower = ado::ToLower(Peek().text);
        for (size_t i = 0; i < columns.size() && item.empty(); ++i)
          if (ado::ToLower(columns[i].source) == lower) item = std::to_string(i + 1);
      }
      if (item.empty()) item = Value().text;
      else Next();
      if (Word("DESC")) item += " DESC";
      else Word("ASC");
      out += (out.empty() ? "" : ", ") + item;
    } while (Accept(Tok::Comma));
    if (IsWord("OFFSET")) Fail("OFFSET ... FETCH");
    return out;
  }

  // SELECT [DISTINCT] [TOP n] list [FROM ...] [WHERE ...] [GROUP BY ...] [HAVING ...]
  std::string Select(std::vector<SourceColumn>& columns) {
    if (!Word("SELECT")) Unexpected();
    std::string head = "SELECT";
    std::string quantifier;
    if (Word("DISTINCT")) quantifier = " DISTINCT";
    else Word("ALL");
    if (Word("TOP")) {
      const bool parens = Accept(Tok::Open);
      if (Peek().kind != Tok::Number) Fail("TOP with an expression");
      const std::string n = Next().text;
      if (parens) Expect(Tok::Close);
      const bool percent = Word("PERCENT");
      if (IsWord("WITH")) Fail("TOP ... WITH TIES");
      if (percent) {
        // TOP 100 PERCENT, which views write to be allowed an ORDER BY, takes every row.
        if (std::stod(n) < 100) Fail("TOP ... PERCENT");
      } else {
        head += " FIRST " + n;
      }
    }
    head += quantifier;
    // The select list names what FROM brings: FROM is read first.
    const size_t list = at_;
    SkipToClauseEnd({"FROM", "WHERE", "GROUP", "HAVING", "ORDER", "UNION", "EXCEPT", "INTERSECT", "FOR", "OPTION"});
    if (IsWord("INTO")) Fail("SELECT ... INTO");
    scopes_.emplace_back();
    std::string from;
    // A select of values alone reads Firebird's one-row table.
    from = Word("FROM") ? " FROM " + FromList() : " FROM RDB$DATABASE";
    const size_t after = at_;
    at_ = list;
    const std::string items = SelectList(columns);
    at_ = after;
    std::string rest;
    if (Word("WHERE")) rest += " WHERE " + Condition().text;
    if (IsWord("GROUP")) {
      Next();
      if (!Word("BY")) Unexpected();
      std::string by;
      do by += (by.empty() ? "" : ", ") + Value().text; while (Accept(Tok::Comma));
      if (IsWord("WITH")) Fail("GROUP BY ... WITH " + Peek(1).text);
      rest += " GROUP BY " + by;
    }
    if (Word("HAVING")) rest += " HAVING " + Condition().text;
    if (IsWord("FOR")) Unexpected();
    return head + " " + items + from + rest;
  }

  // Moves to the first of `words` outside parentheses (or to a ')' that closes an outer one, or the end).
  void SkipToClauseEnd(std::initializer_list<const char*> words) {
    int depth = 0;
    for (;; Next()) {
      const Token& k = Peek();
      if (k.kind == Tok::End || k.kind == Tok::Semicolon) return;
      if (k.kind == Tok::Open) ++depth;
      if (k.kind == Tok::Close && depth-- == 0) return;
      if (depth == 0 && k.kind == Tok::Name) {
        if (Upper(k.text) == "INTO") return;
        for (const char* w : words)
          if (Upper(k.text) == w) return;
      }
    }
  }

  std::string SelectList(std::vector<SourceColumn>& columns) {
    std::string out;
    auto add = [&](const std::string& text) { out += (out.empty() ? "" : ", ") + text; };
    do {
      // * or t.*: every column, named.
      if (IsOp("*")) {
        Next();
        for (const Rel& r : scopes_.back()) Star(r, columns, add);
        continue;
      }
      if (AtName() && Peek(1).kind == Tok::Dot && Peek(2).kind == Tok::Op && Peek(2).text == "*") {
        const std::string alias = ado::ToLower(Next().text);
        Next();
        Next();
        const Rel* r = FindRel(alias, {}, true);
        if (!r) Fail("the name " + alias + ".*");
        Star(*r, columns, add);
        continue;
      }
      // alias = expression
      std::string alias;
      if (AtName() && IsOp("=", 1)) {
        alias = Next().text;
        Next();
      }
      Expr e = Value();
      if (alias.empty() && Word("AS")) alias = Name();
      else if (alias.empty() && AtName()) alias = Name();
      else if (alias.empty() && Peek().kind == Tok::String) alias = Next().text;
      SourceColumn c{alias.empty() ? e.name : alias, "", e.kind};
      add(alias.empty() ? e.text : e.text + " AS " + QuoteIdentifier(alias));
      columns.push_back(c);
    } while (Accept(Tok::Comma));
    return out;
  }

  template <typename Add>
  void Star(const Rel& r, std::vector<SourceColumn>& columns, Add& add) {
    if (r.columns.empty()) Fail("the columns of " + r.display + " are not known");
    for (const SourceColumn& c : r.columns) {
      add(r.qualifier + "." + QuoteIdentifier(c.target));
      columns.push_back({c.source, "", c.kind});
    }
  }

  std::string FromList() {
    std::string out = TableRef();
    while (Accept(Tok::Comma)) out += ", " + TableRef();
    return out;
  }

  // A table, view or derived table, and the joins after it.
  std::string TableRef() {
    std::string out = TablePrimary();
    for (;;) {
      std::string kind;
      if (IsWord("JOIN")) kind = "JOIN";
      else if (IsWord("INNER") && IsWord("JOIN", 1)) kind = "INNER JOIN";
      else if ((IsWord("LEFT") || IsWord("RIGHT") || IsWord("FULL")) && (IsWord("JOIN", 1) || IsWord("OUTER", 1)))
        kind = Upper(Peek().text) + " OUTER JOIN";
      else if (IsWord("CROSS") && IsWord("JOIN", 1)) kind = "CROSS JOIN";
      else if ((IsWord("CROSS") || IsWord("OUTER")) && IsWord("APPLY", 1)) Fail(Upper(Peek().text) + " APPLY");
      else if (IsWord("PIVOT") || IsWord("UNPIVOT")) Fail(Upper(Peek().text));
      else break;
      while (!IsWord("JOIN")) Next();
      Next();
      if (IsWord("LOOP") || IsWord("HASH") || IsWord("MERGE")) Fail("a join hint");
      out += " " + kind + " " + TablePrimary();
      // A join may nest the next one before its own ON: A JOIN B JOIN C ON x ON y.
      if (kind != "CROSS JOIN" && !IsWord("ON") &&
          (IsWord("JOIN") || IsWord("INNER") || IsWord("LEFT") || IsWord("RIGHT") || IsWord("FULL")))
        Fail("a join nested without parentheses");
      if (kind != "CROSS JOIN") {
        if (!Word("ON")) Unexpected();
        out += " ON " + Condition().text;
      }
    }
    return out;
  }

  std::string TablePrimary() {
    if (Accept(Tok::Open)) {
      if (IsWord("SELECT")) {
        std::vector<SourceColumn> columns;
        const std::string query = Query(columns);
        Expect(Tok::Close);
        Word("AS");
        if (!AtName()) Fail("a derived table without a name");
        const std::string alias = Name();
        Rel r;
        r.qualifier = QuoteIdentifier(alias);
        r.alias = ado::ToLower(alias);
        r.display = alias;
        for (auto& c : columns) {
          if (c.source.empty()) Fail("a column without a name in " + alias);
          r.columns.push_back({c.source, c.source, c.kind});
        }
        scopes_.back().push_back(std::move(r));
        return "(" + query + ") " + QuoteIdentifier(alias);
      }
      std::string inner = TableRef();
      Expect(Tok::Close);
      return "(" + inner + ")";
    }
    if (Peek().kind == Tok::Name && Peek().text[0] == '@') Fail("a table variable");
    std::vector<std::string> parts{Name()};
    while (Accept(Tok::Dot)) parts.push_back(Peek().kind == Tok::Dot ? std::string() : Name());
    const std::string name = parts.back();
    if (ado::ToLower(name) == "openjson" || ado::ToLower(name) == "openxml" || ado::ToLower(name) == "openquery" ||
        ado::ToLower(name) == "openrowset")
      Fail(Upper(name));
    if (Peek().kind == Tok::Open) Fail("the table-valued function " + name + "()");
    if (parts.size() > 3) Fail("the name of another server's table");
    const std::string schema = parts.size() >= 2 ? parts[parts.size() - 2] : "";
    const SourceRelation* found = nullptr;
    if (lookup) {
      if (!schema.empty()) found = lookup->Find(schema, name);
      else if (!(found = lookup->Find(viewSchema, name)) && ado::ToLower(viewSchema) != "dbo") found = lookup->Find("dbo", name);
    }
    const std::string display = schema.empty() ? name : schema + "." + name;
    if (!found) Fail("the table or view " + display + ", which Firebird does not hold");
    Rel r;
    r.columns = found->columns;
    r.display = display;
    r.schema = ado::ToLower(schema);
    std::string out = QuoteIdentifier(found->target);
    Word("AS");
    if (AtName() && !IsWord("WITH")) {
      const std::string alias = Name();
      r.alias = ado::ToLower(alias);
      r.qualifier = QuoteIdentifier(alias);
      out += " " + r.qualifier;
    } else {
      r.alias = ado::ToLower(name);
      r.qualifier = out;
    }
    // Table hints: WITH (NOLOCK) and its kind change how SQL Server locks, not what is read.
    if (IsWord("WITH") && Peek(1).kind == Tok::Open) {
      Next();
      Next();
      while (Peek().kind != Tok::Close && Peek().kind != Tok::End) Next();
      Expect(Tok::Close);
    }
    scopes_.back().push_back(std::move(r));
    return out;
  }

  // The table of an alias (or table name), innermost scope first.
  const Rel* FindRel(const std::string& alias, const std::string& schema, bool innermostOnly) const {
    for (size_t s = scopes_.size(); s-- > 0;) {
      for (const Rel& r : scopes_[s])
        if (r.alias == alias && (schema.empty() || r.schema.empty() || r.schema == schema)) return &r;
      if (innermostOnly) break;
    }
    return nullptr;
  }

  // ---- expressions

  Expr Condition() { return Or(); }
  // A value: conditions are values too in SQL Server's CASE and select lists only through CASE, but the
  // same grammar reads both.
  Expr Value() { return Or(); }

  Expr Or() {
    Expr e = And();
    while (Word("OR")) e = Joined(e, "OR", And());
    return e;
  }
  Expr And() {
    Expr e = Not();
    while (Word("AND")) e = Joined(e, "AND", Not());
    return e;
  }
  Expr Not() {
    if (Word("NOT")) {
      Expr e = Not();
      return {"NOT " + e.text, ValueKind::Unknown};
    }
    return Predicate();
  }
  static Expr Joined(const Expr& a, const std::string& op, const Expr& b) {
    return {a.text + " " + op + " " + b.text, ValueKind::Unknown};
  }

  // A date literal written as SQL Server reads it without separators ('19970101'), as Firebird reads one.
  static void DateLiteral(Expr& literal, const Expr& other) {
    if (!literal.literal || Rank(other.kind) != 6) return;
    const std::string& v = literal.value;
    if (v.size() < 8 || v.find_first_not_of("0123456789") < 8 || (v.size() > 8 && v[8] != ' ')) return;
    literal.text = ado::SqlString(v.substr(0, 4) + "-" + v.substr(4, 2) + "-" + v.substr(6));
  }

  Expr Predicate() {
    Expr e = Additive();
    const bool negated = IsWord("NOT") && (IsWord("IN", 1) || IsWord("LIKE", 1) || IsWord("BETWEEN", 1));
    if (negated) Next();
    const std::string no = negated ? "NOT " : "";
    if (Peek().kind == Tok::Op && !negated) {
      static const std::map<std::string, std::string> kCompare{{"=", "="}, {"<>", "<>"}, {"!=", "<>"}, {"<", "<"},
                                                              {">", ">"}, {"<=", "<="}, {">=", ">="}, {"!<", ">="},
                                                              {"!>", "<="}};
      auto it = kCompare.find(Peek().text);
      if (it != kCompare.end()) {
        Next();
        if (IsWord("ALL") || IsWord("ANY") || IsWord("SOME")) Fail(Upper(Peek().text) + " (subquery)");
        Expr b = Additive();
        DateLiteral(b, e);
        DateLiteral(e, b);
        return {e.text + " " + it->second + " " + b.text, ValueKind::Unknown};
      }
    }
    if (Word("IN")) {
      Expect(Tok::Open);
      std::string list;
      if (IsWord("SELECT")) {
        std::vector<SourceColumn> columns;
        list = Query(columns);
      } else {
        do {
          Expr v = Value();
          DateLiteral(v, e);
          list += (list.empty() ? "" : ", ") + v.text;
        } while (Accept(Tok::Comma));
      }
      Expect(Tok::Close);
      return {e.text + " " + no + "IN (" + list + ")", ValueKind::Unknown};
    }
    if (Word("BETWEEN")) {
      Expr low = Additive();
      if (!Word("AND")) Unexpected();
      Expr high = Additive();
      DateLiteral(low, e);
      DateLiteral(high, e);
      return {e.text + " " + no + "BETWEEN " + low.text + " AND " + high.text, ValueKind::Unknown};
    }
    if (Word("LIKE")) {
      Expr pattern = Additive();
      if (Word("ESCAPE")) {
        if (pattern.literal && pattern.value.find('[') != std::string::npos) Fail("LIKE with both classes and ESCAPE");
        return {e.text + " " + no + "LIKE " + pattern.text + " ESCAPE " + Additive().text, ValueKind::Unknown};
      }
      if (pattern.literal && pattern.value.find('[') != std::string::npos)
        return {e.text + " " + no + "SIMILAR TO " + ado::SqlString(LikeToSimilar(pattern.value)) + " ESCAPE '\\'",
                ValueKind::Unknown};
      if (!pattern.literal && column) Fail("LIKE without a pattern in quotes");
      return {e.text + " " + no + "LIKE " + pattern.text, ValueKind::Unknown};
    }
    if (Word("IS")) {
      const bool isNot = Word("NOT");
      if (!Word("NULL")) Unexpected();
      return {e.text + (isNot ? " IS NOT NULL" : " IS NULL"), ValueKind::Unknown};
    }
    return e;
  }

  // Arithmetic as SQL Server computes it: in the kind of the operand that ranks highest. With a real
  // there, each operand is made a 32-bit FLOAT first and so is the result, as SQL Server's real arithmetic
  // rounds; a string + string is ||.
  Expr Arithmetic(const Expr& a, const std::string& op, const Expr& b) {
    if (op == "+" && (a.kind == ValueKind::Text || b.kind == ValueKind::Text) && Rank(a.kind) <= 1 && Rank(b.kind) <= 1)
      return {a.text + " || " + b.text, ValueKind::Text};
    const ValueKind kind = Rank(a.kind) >= Rank(b.kind) ? a.kind : b.kind;
    if (op == "%") return {"MOD(" + a.text + ", " + b.text + ")", kind, true};
    if (kind == ValueKind::Real) {
      auto single = [](const Expr& x) { return x.kind == ValueKind::Real ? x.text : "CAST(" + x.text + " AS FLOAT)"; };
      return {"CAST(" + single(a) + " " + op + " " + single(b) + " AS FLOAT)", kind, true};
    }
    return {a.text + " " + op + " " + b.text, kind};
  }

  Expr Additive() {
    Expr e = Multiplicative();
    while (IsOp("+") || IsOp("-")) {
      const std::string op = Next().text;
      e = Arithmetic(e, op, Multiplicative());
    }
    if (IsOp("&") || IsOp("|") || IsOp("^")) Fail("the operator " + Peek().text);
    return e;
  }
  Expr Multiplicative() {
    Expr e = Unary();
    while (IsOp("*") || IsOp("/") || IsOp("%")) {
      const std::string op = Next().text;
      e = Arithmetic(e, op, Unary());
    }
    return e;
  }
  Expr Unary() {
    if (IsOp("-") || IsOp("+")) {
      const std::string op = Next().text;
      Expr e = Unary();
      if (op == "+") return e;
      // A negative number stays a literal.
      return {"-" + e.text, e.kind, e.atom};
    }
    if (IsOp("~")) Fail("the operator ~");
    return Primary();
  }

  Expr Primary() {
    const Token& k = Peek();
    switch (k.kind) {
      case Tok::Number: {
        Expr e{Next().text, ValueKind::Integer, true};
        if (e.text.find_first_of(".eE") != std::string::npos)
          e.kind = e.text.find_first_of("eE") != std::string::npos ? ValueKind::Float : ValueKind::Exact;
        return e;
      }
      case Tok::String: {
        Expr e{ado::SqlString(k.text), ValueKind::Text, true};
        e.literal = true;
        e.value = Next().text;
        // In a query a literal is SQL Server's varchar, not Firebird's CHAR, which a UNION or CASE would
        // pad to the longest.
        if (lookup) e.text = "CAST(" + e.text + " AS VARCHAR(" + std::to_string(std::max<size_t>(1, Utf8Chars(e.value))) + "))";
        return e;
      }
      case Tok::Open: {
        Next();
        if (IsWord("SELECT")) {
          std::vector<SourceColumn> columns;
          const std::string q = Query(columns);
          Expect(Tok::Close);
          return {"(" + q + ")", columns.size() == 1 ? columns[0].kind : ValueKind::Unknown, true};
        }
        Expr inner = Value();
        Expect(Tok::Close);
        // SQL Server's parentheses around a single value, and doubled ones, go.
        if (inner.atom || inner.paren) return inner;
        inner.text = "(" + inner.text + ")";
        inner.paren = true;
        return inner;
      }
      case Tok::Quoted:
      case Tok::Name:
        return NameOrCall();
      default:
        Unexpected();
    }
  }

  Expr NameOrCall() {
    const Token& k = Peek();
    const std::string w = Upper(k.text);
    if (k.kind == Tok::Name) {
      if (w == "NULL") {
        Next();
        return {"NULL", ValueKind::Unknown, true};
      }
      if (w == "CASE") return Case();
      if (w == "EXISTS") {
        Next();
        Expect(Tok::Open);
        std::vector<SourceColumn> columns;
        const std::string q = Query(columns);
        Expect(Tok::Close);
        return {"EXISTS (" + q + ")", ValueKind::Unknown, true};
      }
      if (w == "CURRENT_TIMESTAMP" && Peek(1).kind != Tok::Open) {
        Next();
        return {"CURRENT_TIMESTAMP", ValueKind::Timestamp, true};
      }
      if (k.text[0] == '@') Fail("the variable " + k.text);
      if (Peek(1).kind == Tok::Open) return Call();
      if (IsReserved(k.text)) Unexpected();
    }
    // [schema.]table.column, or a column.
    std::vector<std::string> parts{Next().text};
    while (Peek().kind == Tok::Dot) {
      Next();
      if (Peek().kind == Tok::Name && Peek(1).kind == Tok::Open) Fail("the method or function " + Peek().text + "()");
      parts.push_back(Name());
    }
    if (Peek().kind == Tok::Open) Fail("the function " + parts.front() + "." + parts.back() + "()");
    return ColumnRef(parts, k.kind == Tok::Quoted);
  }

  Expr ColumnRef(const std::vector<std::string>& parts, bool quoted) {
    const std::string& name = parts.back();
    if (column) {
      if (parts.size() > 1) Fail("the name " + parts.front() + "." + name);
      const std::string c = column(name);
      if (c.empty()) Fail(quoted ? "the name " + name + " is not a column of the table" : "the word " + name);
      Expr e(QuoteIdentifier(c), ValueKind::Unknown, true);
      e.name = name;
      return e;
    }
    const std::string lower = ado::ToLower(name);
    auto from = [&](const Rel& r) -> std::optional<Expr> {
      for (const SourceColumn& c : r.columns)
        if (ado::ToLower(c.source) == lower) {
          Expr e(r.qualifier + "." + QuoteIdentifier(c.target), c.kind, true);
          e.name = c.source;
          return e;
        }
      return std::nullopt;
    };
    if (parts.size() >= 2) {
      const std::string alias = ado::ToLower(parts[parts.size() - 2]);
      const std::string schema = parts.size() >= 3 ? ado::ToLower(parts[parts.size() - 3]) : "";
      const Rel* r = FindRel(alias, schema, false);
      if (!r) Fail("the name " + parts[parts.size() - 2] + "." + name);
      if (auto e = from(*r)) return *e;
      Fail("the column " + parts[parts.size() - 2] + "." + name);
    }
    for (size_t s = scopes_.size(); s-- > 0;)
      for (const Rel& r : scopes_[s])
        if (auto e = from(r)) return *e;
    Fail("the column " + name);
  }

  Expr Case() {
    Next();
    std::string out = "CASE";
    ValueKind kind = ValueKind::Unknown;
    if (!IsWord("WHEN")) out += " " + Value().text;
    while (Word("WHEN")) {
      out += " WHEN " + Value().text;
      if (!Word("THEN")) Unexpected();
      Expr then = Value();
      if (Rank(then.kind) > Rank(kind)) kind = then.kind;
      out += " THEN " + then.text;
    }
    if (Word("ELSE")) {
      Expr other = Value();
      if (Rank(other.kind) > Rank(kind)) kind = other.kind;
      out += " ELSE " + other.text;
    }
    if (!Word("END")) Unexpected();
    return {out + " END", kind, true};
  }

  std::vector<Expr> Arguments() {
    std::vector<Expr> args;
    Expect(Tok::Open);
    if (Accept(Tok::Close)) return args;
    do args.push_back(Value()); while (Accept(Tok::Comma));
    Expect(Tok::Close);
    return args;
  }

  // A SQL Server type as the type rules make it in Firebird, and the kind SQL Server computes it as.
  std::pair<std::string, ValueKind> Type() {
    const std::string type = ado::ToLower(Name());
    long a = -1, b = -1;
    bool max = false;
    if (Accept(Tok::Open)) {
      if (Word("MAX")) max = true;
      else if (Peek().kind == Tok::Number) a = std::stol(Next().text);
      else Unexpected();
      if (Accept(Tok::Comma)) {
        if (Peek().kind != Tok::Number) Unexpected();
        b = std::stol(Next().text);
      }
      Expect(Tok::Close);
    }
    ado::Field f;
    f.TypeName = type;
    ValueKind kind = ValueKind::Unknown;
    if (type == "int") f.Type = ado::adInteger, kind = ValueKind::Integer;
    else if (type == "bigint") f.Type = ado::adBigInt, kind = ValueKind::Integer;
    else if (type == "smallint") f.Type = ado::adSmallInt, kind = ValueKind::Integer;
    else if (type == "tinyint") f.Type = ado::adUnsignedTinyInt, kind = ValueKind::Integer;
    else if (type == "bit") f.Type = ado::adBoolean, kind = ValueKind::Integer;
    else if (type == "money") f.Type = ado::adCurrency, f.Precision = 19, f.NumericScale = 4, kind = ValueKind::Exact;
    else if (type == "smallmoney") f.Type = ado::adCurrency, f.Precision = 10, f.NumericScale = 4, kind = ValueKind::Exact;
    else if (type == "decimal" || type == "numeric") {
      f.Type = ado::adNumeric, f.Precision = a < 0 ? 18 : static_cast<int>(a), f.NumericScale = b < 0 ? 0 : static_cast<int>(b);
      kind = ValueKind::Exact;
    } else if (type == "real" || (type == "float" && a > 0 && a <= 24)) f.Type = ado::adSingle, kind = ValueKind::Real;
    else if (type == "float") f.Type = ado::adDouble, kind = ValueKind::Float;
    else if (type == "date") f.Type = ado::adDBDate, kind = ValueKind::Date;
    else if (type == "datetime" || type == "smalldatetime" || type == "datetime2") f.Type = ado::adDBTimeStamp, kind = ValueKind::Timestamp;
    else if (type == "time") f.Type = ado::adDBTime, f.Fraction = a < 0 ? 7 : static_cast<int>(a), kind = ValueKind::Time;
    else if (type == "char" || type == "varchar" || type == "nchar" || type == "nvarchar") {
      const bool national = type[0] == 'n';
      f.Type = max ? (national ? ado::adLongVarWChar : ado::adLongVarChar) : (national ? ado::adVarWChar : ado::adVarChar);
      f.DefinedSize = a < 0 ? 30 : a;  // SQL Server's length when CAST and CONVERT give none
      kind = ValueKind::Text;
    } else {
      Fail("a conversion to " + type);
    }
    return {ApplyTypeRules(f, rules_).firebirdType, kind};
  }

  Expr Call() {
    const std::string name = Next().text;
    const std::string w = Upper(name);
    auto fn = [&](const std::string& text, ValueKind kind) { return Expr{text, kind, true}; };
    auto want = [&](const std::vector<Expr>& args, size_t low, size_t high) {
      if (args.size() < low || args.size() > high) Fail(name + "() with " + std::to_string(args.size()) + " arguments");
    };
    if (w == "CAST" || w == "TRY_CAST") {
      if (w == "TRY_CAST") Fail("TRY_CAST");
      Expect(Tok::Open);
      Expr v = Value();
      if (!Word("AS")) Unexpected();
      auto [type, kind] = Type();
      Expect(Tok::Close);
      return fn("CAST(" + v.text + " AS " + type + ")", kind);
    }
    if (w == "CONVERT") {
      Expect(Tok::Open);
      auto [type, kind] = Type();
      Expect(Tok::Comma);
      Expr v = Value();
      if (Accept(Tok::Comma)) Fail("CONVERT with a style");
      Expect(Tok::Close);
      return fn("CAST(" + v.text + " AS " + type + ")", kind);
    }
    if (w == "DATEPART" || w == "DATEADD" || w == "DATEDIFF" || w == "DATENAME") {
      if (w == "DATENAME") Fail("DATENAME()");
      Expect(Tok::Open);
      const std::string written = Name();
      const std::string part = DatePart(written);
      std::vector<Expr> args;
      while (Accept(Tok::Comma)) args.push_back(Value());
      Expect(Tok::Close);
      if (part.empty()) Fail(w + "(" + written + ", ...)");
      if (w == "DATEPART") {
        want(args, 1, 1);
        return DatePartOf(part, written, args[0]);
      }
      want(args, 2, 2);
      if (w == "DATEADD") {
        if (part == "QUARTER") return fn("DATEADD(MONTH, 3 * (" + args[0].text + "), " + args[1].text + ")", args[1].kind);
        const std::string unit = part == "WEEKDAY" || part == "DAYOFYEAR" ? "DAY" : part;
        return fn("DATEADD(" + unit + ", " + args[0].text + ", " + args[1].text + ")", args[1].kind);
      }
      // SQL Server counts the boundaries of the part between the two moments.
      const Expr& a = args[0];
      const Expr& b = args[1];
      if (part == "YEAR") return fn("(EXTRACT(YEAR FROM " + b.text + ") - EXTRACT(YEAR FROM " + a.text + "))", ValueKind::Integer);
      if (part == "MONTH")
        return fn("((EXTRACT(YEAR FROM " + b.text + ") - EXTRACT(YEAR FROM " + a.text + ")) * 12 + EXTRACT(MONTH FROM " +
                      b.text + ") - EXTRACT(MONTH FROM " + a.text + "))",
                  ValueKind::Integer);
      if (part == "DAY" || part == "DAYOFYEAR" || part == "WEEKDAY")
        return fn("DATEDIFF(DAY, CAST(" + a.text + " AS DATE), CAST(" + b.text + " AS DATE))", ValueKind::Integer);
      Fail("DATEDIFF(" + written + ", ...)");
    }
    if (w == "COUNT" || w == "COUNT_BIG" || w == "SUM" || w == "AVG" || w == "MIN" || w == "MAX") return Aggregate(name);
    std::vector<Expr> args = Arguments();
    auto text = [&](size_t i) { return args[i].text; };
    if (w == "GETDATE" || w == "SYSDATETIME" || w == "CURRENT_TIMESTAMP") {
      want(args, 0, 0);
      return fn("CURRENT_TIMESTAMP", ValueKind::Timestamp);
    }
    if (w == "YEAR" || w == "MONTH" || w == "DAY") {
      want(args, 1, 1);
      return fn("EXTRACT(" + w + " FROM " + text(0) + ")", ValueKind::Integer);
    }
    if (w == "LEN") {
      want(args, 1, 1);
      // SQL Server's len() leaves out trailing spaces.
      return fn("CHAR_LENGTH(TRIM(TRAILING FROM " + text(0) + "))", ValueKind::Integer);
    }
    if (w == "LTRIM" || w == "RTRIM") {
      want(args, 1, 1);
      return fn(std::string("TRIM(") + (w == "LTRIM" ? "LEADING" : "TRAILING") + " FROM " + text(0) + ")", ValueKind::Text);
    }
    if (w == "SUBSTRING") {
      want(args, 3, 3);
      return fn("SUBSTRING(" + text(0) + " FROM " + text(1) + " FOR " + text(2) + ")", ValueKind::Text);
    }
    if (w == "CHARINDEX") {
      want(args, 2, 3);
      return fn("POSITION(" + text(0) + ", " + text(1) + (args.size() == 3 ? ", " + text(2) : "") + ")", ValueKind::Integer);
    }
    if (w == "ROUND") {
      want(args, 2, 3);
      // A third argument other than 0 cuts instead of rounding.
      const bool cut = args.size() == 3 && args[2].text != "0";
      return fn(std::string(cut ? "TRUNC(" : "ROUND(") + text(0) + ", " + text(1) + ")", args[0].kind);
    }
    if (w == "ISNULL") {
      want(args, 2, 2);
      return fn("COALESCE(" + text(0) + ", " + text(1) + ")", args[0].kind);
    }
    static const std::map<std::string, int> kSame{{"UPPER", 1}, {"LOWER", 1}, {"ABS", 1}, {"LEFT", 2}, {"RIGHT", 2},
                                                  {"COALESCE", -1}, {"NULLIF", 2}, {"FLOOR", 1}, {"CEILING", 1},
                                                  {"SIGN", 1}, {"SQRT", 1}, {"POWER", 2}, {"REPLACE", 3},
                                                  {"REVERSE", 1}};
    auto same = kSame.find(w);
    if (same == kSame.end()) Fail("the function " + name + "()");
    if (same->second >= 0) want(args, static_cast<size_t>(same->second), static_cast<size_t>(same->second));
    std::string joined;
    for (const Expr& a : args) joined += (joined.empty() ? "" : ", ") + a.text;
    ValueKind kind = args.empty() ? ValueKind::Unknown : args[0].kind;
    if (w == "LEFT" || w == "RIGHT" || w == "REPLACE" || w == "REVERSE" || w == "UPPER" || w == "LOWER") kind = ValueKind::Text;
    if (w == "CEILING") return fn("CEIL(" + joined + ")", kind);
    if (w == "POWER") kind = ValueKind::Float;
    return fn(w + "(" + joined + ")", kind);
  }

  // COUNT(*), and COUNT, SUM, AVG, MIN, MAX of [ALL | DISTINCT] a value.
  Expr Aggregate(const std::string& name) {
    std::string w = Upper(name);
    if (w == "COUNT_BIG") w = "COUNT";
    Expect(Tok::Open);
    std::string inner;
    ValueKind kind = ValueKind::Integer;
    if (w == "COUNT" && IsOp("*")) {
      Next();
      inner = "*";
    } else {
      std::string quantifier;
      if (Word("DISTINCT")) quantifier = "DISTINCT ";
      else Word("ALL");
      Expr v = Value();
      if (w != "COUNT") kind = v.kind;
      inner = quantifier + v.text;
    }
    Expect(Tok::Close);
    if (IsWord("OVER")) Fail(name + "() OVER (...)");
    return {w + "(" + inner + ")", kind, true};
  }

  Expr DatePartOf(const std::string& part, const std::string& written, const Expr& d) {
    auto fn = [&](const std::string& text) { return Expr{text, ValueKind::Integer, true}; };
    const std::string from = " FROM " + d.text + ")";
    if (part == "QUARTER") return fn("((EXTRACT(MONTH" + from + " + 2) / 3)");
    // SQL Server's first day of the week is Sunday (1), as under us_english.
    if (part == "WEEKDAY") return fn("(EXTRACT(WEEKDAY" + from + " + 1)");
    if (part == "DAYOFYEAR") return fn("(EXTRACT(YEARDAY" + from + " + 1)");
    if (part == "SECOND") return fn("CAST(FLOOR(EXTRACT(SECOND" + from + ") AS INTEGER)");
    if (part == "MILLISECOND") return fn("CAST(EXTRACT(MILLISECOND" + from + " AS INTEGER)");
    (void)written;
    return fn("EXTRACT(" + part + from);
  }

  std::vector<Token> t_;
  size_t at_ = 0;
  TypeRules rules_;
  std::vector<std::vector<Rel>> scopes_;
};

}  // namespace

std::optional<std::string> TranslateCheck(const std::string& definition,
                                          const std::function<std::string(const std::string&)>& column,
                                          std::string& why) {
  std::vector<Token> t;
  if (!Tokens(definition, t, why)) return std::nullopt;
  if (t.empty()) {
    why = "an empty condition";
    return std::nullopt;
  }
  Translator tr(std::move(t), TypeRules::Firebird);
  tr.column = column;
  try {
    return tr.CheckCondition();
  } catch (const Untranslated& u) {
    why = u.why;
    return std::nullopt;
  }
}

std::optional<TranslatedView> TranslateView(const std::string& definition, const std::string& schema,
                                            RelationLookup& lookup, TypeRules rules, std::string& why) {
  std::vector<Token> t;
  if (!Tokens(definition, t, why)) return std::nullopt;
  Translator tr(std::move(t), rules);
  tr.lookup = &lookup;
  tr.viewSchema = schema.empty() ? "dbo" : schema;
  try {
    return tr.View();
  } catch (const Untranslated& u) {
    why = u.why;
    return std::nullopt;
  } catch (const std::exception& e) {
    why = e.what();  // a number too large for the parser, and the like
    return std::nullopt;
  }
}

}  // namespace conversion
