// The parser's queries: CREATE VIEW, SELECT with its FROM, joins and derived tables, UNION, ORDER BY.
#include "connectivity/core/ConnString.h"
#include "conversion/SqlTranslator.h"
#include "conversion/TableDdl.h"

namespace conversion::sqltext {

TranslatedView Translator::View() {
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

void Translator::Unexpected() const {
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

// query [UNION [ALL] query]... [ORDER BY ...]; `columns` gets the first select's columns.
std::string Translator::Query(std::vector<SourceColumn>& columns) {
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

std::string Translator::OrderList(const std::vector<SourceColumn>& columns) {
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
  // OFFSET n ROWS [FETCH FIRST|NEXT m ROWS ONLY], which Firebird writes the same way.
  if (Word("OFFSET")) {
    if (Peek().kind != Tok::Number) Fail("OFFSET with an expression");
    out += " OFFSET " + Next().text + " ROWS";
    if (!Word("ROWS") && !Word("ROW")) Unexpected();
    if (Word("FETCH")) {
      if (!Word("FIRST") && !Word("NEXT")) Unexpected();
      if (Peek().kind != Tok::Number) Fail("FETCH with an expression");
      out += " FETCH NEXT " + Next().text + " ROWS ONLY";
      if ((!Word("ROWS") && !Word("ROW")) || !Word("ONLY")) Unexpected();
    }
  }
  return out;
}

// SELECT [DISTINCT] [TOP n] list [FROM ...] [WHERE ...] [GROUP BY ...] [HAVING ...]
std::string Translator::Select(std::vector<SourceColumn>& columns) {
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
void Translator::SkipToClauseEnd(std::initializer_list<const char*> words) {
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

std::string Translator::SelectList(std::vector<SourceColumn>& columns) {
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

// A table, view or derived table, and the joins after it.
std::string Translator::TableRef() {
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
    while (!IsWord("JOIN") && Peek().kind != Tok::End) Next();
    if (!IsWord("JOIN")) Unexpected();
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

std::string Translator::TablePrimary() {
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
const Rel* Translator::FindRel(const std::string& alias, const std::string& schema, bool innermostOnly) const {
  for (size_t s = scopes_.size(); s-- > 0;) {
    for (const Rel& r : scopes_[s])
      if (r.alias == alias && (schema.empty() || r.schema.empty() || r.schema == schema)) return &r;
    if (innermostOnly) break;
  }
  return nullptr;
}

}  // namespace conversion::sqltext
