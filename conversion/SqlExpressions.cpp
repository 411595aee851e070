// The parser's expressions: conditions, arithmetic as SQL Server computes it, names, CASE, and the
// functions and types SQL Server's texts use, in Firebird's words.
#include <algorithm>
#include <map>

#include "connectivity/core/AdoTypes.h"
#include "connectivity/core/ConnString.h"
#include "conversion/SqlTranslator.h"
#include "conversion/TableDdl.h"

namespace conversion::sqltext {

Expr Translator::Not() {
  if (Word("NOT")) {
    Expr e = Not();
    return {"NOT " + e.text, ValueKind::Unknown};
  }
  return Predicate();
}

Expr Translator::Predicate() {
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
Expr Translator::Arithmetic(const Expr& a, const std::string& op, const Expr& b) {
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

Expr Translator::Additive() {
  Expr e = Multiplicative();
  while (IsOp("+") || IsOp("-")) {
    const std::string op = Next().text;
    e = Arithmetic(e, op, Multiplicative());
  }
  if (IsOp("&") || IsOp("|") || IsOp("^")) Fail("the operator " + Peek().text);
  return e;
}

Expr Translator::Multiplicative() {
  Expr e = Unary();
  while (IsOp("*") || IsOp("/") || IsOp("%")) {
    const std::string op = Next().text;
    e = Arithmetic(e, op, Unary());
  }
  return e;
}

Expr Translator::Unary() {
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

Expr Translator::Primary() {
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

Expr Translator::NameOrCall() {
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

Expr Translator::ColumnRef(const std::vector<std::string>& parts, bool quoted) {
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

Expr Translator::Case() {
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

std::vector<Expr> Translator::Arguments() {
  std::vector<Expr> args;
  Expect(Tok::Open);
  if (Accept(Tok::Close)) return args;
  do args.push_back(Value()); while (Accept(Tok::Comma));
  Expect(Tok::Close);
  return args;
}

// A SQL Server type as the type rules make it in Firebird, and the kind SQL Server computes it as.
std::pair<std::string, ValueKind> Translator::Type(long* length) {
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
  if (length) *length = max ? -1 : a;
  return {ApplyTypeRules(f, rules_).firebirdType, kind};
}

// DATEPART, DATEADD and DATEDIFF, whose first argument names a date part.
Expr Translator::DateFunction(const std::string& name) {
  const std::string w = Upper(name);
  auto fn = [&](const std::string& text, ValueKind kind) { return Expr{text, kind, true}; };
  auto want = [&](const std::vector<Expr>& args, size_t n) {
    if (args.size() != n) Fail(name + "() with " + std::to_string(args.size()) + " arguments");
  };
  if (w == "DATENAME") Fail("DATENAME()");
  Expect(Tok::Open);
  const std::string written = Name();
  const std::string part = DatePart(written);
  std::vector<Expr> args;
  while (Accept(Tok::Comma)) args.push_back(Value());
  Expect(Tok::Close);
  if (part.empty()) Fail(w + "(" + written + ", ...)");
  if (w == "DATEPART") {
    want(args, 1);
    return DatePartOf(part, args[0]);
  }
  want(args, 2);
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

Expr Translator::Call() {
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
    long length = -1;
    auto [type, kind] = Type(&length);
    Expect(Tok::Comma);
    Expr v = Value();
    std::string style;
    if (Accept(Tok::Comma)) {
      if (Peek().kind != Tok::Number) Fail("CONVERT with a style that is not a number");
      style = Next().text;
    }
    Expect(Tok::Close);
    if (!style.empty() && kind == ValueKind::Text) return fn(DateText(v, style, length), kind);
    if (!style.empty() && style != "0") Fail("CONVERT with the style " + style);
    return fn("CAST(" + v.text + " AS " + type + ")", kind);
  }
  if (w == "DATEPART" || w == "DATEADD" || w == "DATEDIFF" || w == "DATENAME") return DateFunction(name);
  if (w == "COUNT" || w == "COUNT_BIG" || w == "SUM" || w == "AVG" || w == "MIN" || w == "MAX") return Aggregate(name);
  std::vector<Expr> args = Arguments();
  auto text = [&](size_t i) { return args[i].text; };
  // Window functions Firebird has as well; they need their OVER (...).
  if (w == "ROW_NUMBER" || w == "RANK" || w == "DENSE_RANK") {
    want(args, 0, 0);
    return fn(w + "()" + Over(true), ValueKind::Integer);
  }
  if (w == "LAG" || w == "LEAD" || w == "FIRST_VALUE" || w == "LAST_VALUE") {
    want(args, 1, w == "LAG" || w == "LEAD" ? 3 : 1);
    std::string joined;
    for (const Expr& a : args) joined += (joined.empty() ? "" : ", ") + a.text;
    return fn(w + "(" + joined + ")" + Over(true), args[0].kind);
  }
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
  if (w == "IIF") {
    want(args, 3, 3);
    const ValueKind kind = Rank(args[1].kind) >= Rank(args[2].kind) ? args[1].kind : args[2].kind;
    return fn("IIF(" + text(0) + ", " + text(1) + ", " + text(2) + ")", kind);
  }
  if (w == "CONCAT") {
    // NULL counts as ''. Numbers other than integers and dates would be written otherwise than SQL Server
    // writes them.
    if (args.size() < 2) want(args, 2, 254);
    std::string joined;
    for (const Expr& a : args) {
      if (a.kind != ValueKind::Text && a.kind != ValueKind::Integer) Fail("CONCAT of a value that is not text or an integer");
      joined += (joined.empty() ? "" : " || ") + std::string("COALESCE(") +
                (a.kind == ValueKind::Text ? a.text : "CAST(" + a.text + " AS VARCHAR(20))") + ", '')";
    }
    return fn("(" + joined + ")", ValueKind::Text);
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
Expr Translator::Aggregate(const std::string& name) {
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
  return {w + "(" + inner + ")" + Over(false), kind, true};
}

std::string Translator::DateText(const Expr& v, const std::string& style, long length) {
  if (Rank(v.kind) != 6 && v.kind != ValueKind::Unknown) Fail("CONVERT with the style " + style + " of a value that is not a date");
  // Each part as digits, with leading zeros.
  auto part = [&](const char* what, int digits) {
    return "LPAD(CAST(FLOOR(EXTRACT(" + std::string(what) + " FROM " + v.text + ")) AS VARCHAR(4)), " + std::to_string(digits) +
           ", '0')";
  };
  const std::string y = part("YEAR", 4), m = part("MONTH", 2), d = part("DAY", 2);
  const std::string clock = part("HOUR", 2) + " || ':' || " + part("MINUTE", 2) + " || ':' || " + part("SECOND", 2);
  const std::string ms = part("MILLISECOND", 3);
  static const std::map<std::string, int> kFull{{"23", 10}, {"120", 19}, {"20", 19}, {"121", 23}, {"21", 23}, {"126", 23},
                                                {"112", 8}, {"111", 10}, {"101", 10}, {"103", 10}, {"104", 10},
                                                {"105", 10}, {"108", 8}, {"8", 8}};
  const auto full = kFull.find(style);
  if (full == kFull.end()) Fail("CONVERT with the style " + style);
  std::string text;
  if (style == "23") text = y + " || '-' || " + m + " || '-' || " + d;
  else if (style == "120" || style == "20") text = y + " || '-' || " + m + " || '-' || " + d + " || ' ' || " + clock;
  else if (style == "121" || style == "21" || style == "126")
    text = y + " || '-' || " + m + " || '-' || " + d + (style == "126" ? " || 'T' || " : " || ' ' || ") + clock + " || '.' || " + ms;
  else if (style == "112") text = y + " || " + m + " || " + d;
  else if (style == "111") text = y + " || '/' || " + m + " || '/' || " + d;
  else if (style == "101") text = m + " || '/' || " + d + " || '/' || " + y;
  else if (style == "103") text = d + " || '/' || " + m + " || '/' || " + y;
  else if (style == "104") text = d + " || '.' || " + m + " || '.' || " + y;
  else if (style == "105") text = d + " || '-' || " + m + " || '-' || " + y;
  else text = clock;  // 108
  // A shorter type keeps the first characters, as SQL Server's does.
  const long keep = length > 0 && length < full->second ? length : full->second;
  return "CAST(LEFT(" + text + ", " + std::to_string(keep) + ") AS VARCHAR(" + std::to_string(keep) + "))";
}

std::string Translator::Over(bool needed) {
  if (!IsWord("OVER")) {
    if (needed) Fail("a window function without OVER");
    return {};
  }
  Next();
  Expect(Tok::Open);
  std::string out;
  if (Word("PARTITION")) {
    if (!Word("BY")) Unexpected();
    std::string by;
    do by += (by.empty() ? "" : ", ") + Value().text; while (Accept(Tok::Comma));
    out += "PARTITION BY " + by;
  }
  if (Word("ORDER")) {
    if (!Word("BY")) Unexpected();
    std::string by;
    do {
      std::string item = Value().text;
      if (Word("DESC")) item += " DESC";
      else Word("ASC");
      by += (by.empty() ? "" : ", ") + item;
    } while (Accept(Tok::Comma));
    out += (out.empty() ? "" : " ") + std::string("ORDER BY ") + by;
  }
  // Firebird 3 has no frames.
  if (IsWord("ROWS") || IsWord("RANGE")) Fail("a window frame (" + Upper(Peek().text) + " ...)");
  Expect(Tok::Close);
  return " OVER (" + out + ")";
}

Expr Translator::DatePartOf(const std::string& part, const Expr& d) {
  auto fn = [&](const std::string& text) { return Expr{text, ValueKind::Integer, true}; };
  const std::string from = " FROM " + d.text + ")";
  if (part == "QUARTER") return fn("((EXTRACT(MONTH" + from + " + 2) / 3)");
  // SQL Server's first day of the week is Sunday (1), as under us_english.
  if (part == "WEEKDAY") return fn("(EXTRACT(WEEKDAY" + from + " + 1)");
  if (part == "DAYOFYEAR") return fn("(EXTRACT(YEARDAY" + from + " + 1)");
  if (part == "SECOND") return fn("CAST(FLOOR(EXTRACT(SECOND" + from + ") AS INTEGER)");
  if (part == "MILLISECOND") return fn("CAST(EXTRACT(MILLISECOND" + from + " AS INTEGER)");
  return fn("EXTRACT(" + part + from);
}

}  // namespace conversion::sqltext
