#pragma once
// What the SQL translator's files share: tokens, translated expressions, and the parser, whose queries
// are read in SqlQueries.cpp and whose expressions and functions in SqlExpressions.cpp.
#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "connectivity/core/ConnString.h"
#include "conversion/SqlTranslate.h"
#include "conversion/TableDdl.h"

namespace conversion::sqltext {

enum class Tok { Name, Quoted, String, Number, Op, Open, Close, Comma, Dot, Semicolon, End };

struct Token {
  Tok kind;
  std::string text;  // a name or string without its quotes; an operator as written
};

// Splits the text into tokens (comments dropped); false, with the reason, on anything it does not know.
bool Tokens(const std::string& s, std::vector<Token>& out, std::string& why);
std::string Upper(std::string s);
// Characters (not bytes) of a UTF-8 text.
size_t Utf8Chars(const std::string& s);

// SQL Server's precedence among the kinds arithmetic meets.
int Rank(ValueKind k);
// SQL Server's names of date parts, as Firebird's (empty: none that means the same).
std::string DatePart(const std::string& part);
// Words that end an expression or a table's name rather than naming an alias.
bool IsReserved(const std::string& word);

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

  TranslatedView View();

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
  [[noreturn]] void Unexpected() const;
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
  std::string Query(std::vector<SourceColumn>& columns);
  std::string OrderList(const std::vector<SourceColumn>& columns);

  // SELECT [DISTINCT] [TOP n] list [FROM ...] [WHERE ...] [GROUP BY ...] [HAVING ...]
  std::string Select(std::vector<SourceColumn>& columns);

  // Moves to the first of `words` outside parentheses (or to a ')' that closes an outer one, or the end).
  void SkipToClauseEnd(std::initializer_list<const char*> words);
  std::string SelectList(std::vector<SourceColumn>& columns);

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
  std::string TableRef();
  std::string TablePrimary();

  // The table of an alias (or table name), innermost scope first.
  const Rel* FindRel(const std::string& alias, const std::string& schema, bool innermostOnly) const;

  // ---- expressions

  // Conditions and values are read by the same grammar; the names say which the caller expects.
  Expr Condition() { return Or(); }
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
  Expr Not();
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

  Expr Predicate();

  // Arithmetic as SQL Server computes it: in the kind of the operand that ranks highest. With a real
  // there, each operand is made a 32-bit FLOAT first and so is the result, as SQL Server's real arithmetic
  // rounds; a string + string is ||.
  Expr Arithmetic(const Expr& a, const std::string& op, const Expr& b);
  Expr Additive();
  Expr Multiplicative();
  Expr Unary();
  Expr Primary();
  Expr NameOrCall();
  Expr ColumnRef(const std::vector<std::string>& parts, bool quoted);
  Expr Case();
  std::vector<Expr> Arguments();

  // A SQL Server type as the type rules make it in Firebird, and the kind SQL Server computes it as.
  // `length`, when given, gets the length written in parentheses (-1 for none or MAX).
  std::pair<std::string, ValueKind> Type(long* length = nullptr);
  // CONVERT(text type, a date or time, style) for the styles reports use most (ISO, 112, 111, 101,
  // 103-105, 108), built from the value's parts; other styles are named.
  std::string DateText(const Expr& v, const std::string& style, long length);
  Expr Call();

  // " OVER ([PARTITION BY ...] [ORDER BY ...])" after a window function, or "" when none follows and
  // none is `needed`.
  std::string Over(bool needed);
  // COUNT(*), and COUNT, SUM, AVG, MIN, MAX of [ALL | DISTINCT] a value, with an OVER (...).
  Expr Aggregate(const std::string& name);
  Expr DateFunction(const std::string& name);
  // EXTRACT of a date part (a SQL Server name, as DatePart gives it in Firebird's words).
  Expr DatePartOf(const std::string& part, const Expr& d);

  std::vector<Token> t_;
  size_t at_ = 0;
  TypeRules rules_;
  std::vector<std::vector<Rel>> scopes_;
};

}  // namespace conversion::sqltext
