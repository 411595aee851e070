// CHECK constraint texts of SQL Server translated for Firebird, and table names across schemas.
#include <gtest/gtest.h>

#include <map>

#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/SqlTranslate.h"
#include "conversion/RunSummary.h"
#include "conversion/TableChoice.h"

namespace {

// Columns "A", "Code", "Created", and "Long Name" (which Firebird knows as "Long~1").
std::string Column(const std::string& name) {
  static const std::map<std::string, std::string> known{
      {"a", "A"}, {"code", "Code"}, {"created", "Created"}, {"long name", "Long~1"}};
  std::string lower;
  for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  auto it = known.find(lower);
  return it == known.end() ? std::string() : it->second;
}

std::string Translate(const std::string& definition) {
  std::string why;
  auto out = conversion::TranslateCheck(definition, Column, why);
  return out ? *out : "FAILS: " + why;
}

TEST(CheckTranslation, SqlServerTextsBecomeFirebirdConditions) {
  // SQL Server's doubled parentheses and those around single values go; names follow the table.
  EXPECT_EQ(Translate("([A]>=(0) AND [A]<=(1))"), "\"A\" >= 0 AND \"A\" <= 1");
  EXPECT_EQ(Translate("(([A]>(0)))"), "\"A\" > 0");
  EXPECT_EQ(Translate("([Long Name]<>N'x''y')"), "\"Long~1\" <> 'x''y'");
  EXPECT_EQ(Translate("([A]!=(1) OR NOT [A]!<(2))"), "\"A\" <> 1 OR NOT \"A\" >= 2");
  EXPECT_EQ(Translate("([A] IN ((1), (2)) OR [A] BETWEEN (5) AND (7.5e1) OR [A] IS NULL)"),
            "\"A\" IN (1, 2) OR \"A\" BETWEEN 5 AND 7.5e1 OR \"A\" IS NULL");
  EXPECT_EQ(Translate("(([A]+(1))*(2)>=[A]/(3)-(4))"), "(\"A\" + 1) * 2 >= \"A\" / 3 - 4");
  EXPECT_EQ(Translate("([Created]<=getdate() AND [Created]>=sysdatetime())"),
            "\"Created\" <= CURRENT_TIMESTAMP AND \"Created\" >= CURRENT_TIMESTAMP");
  EXPECT_EQ(Translate("(len([Code])>(1))"), "CHAR_LENGTH(TRIM(TRAILING FROM \"Code\")) > 1");
  EXPECT_EQ(Translate("(upper(isnull([Code],''))=[Code])"), "UPPER(COALESCE(\"Code\", '')) = \"Code\"");
  EXPECT_EQ(Translate("(CASE WHEN [A]>(0) THEN (1) ELSE (0) END=(1))"), "CASE WHEN \"A\" > 0 THEN 1 ELSE 0 END = 1");
  // The functions views use are known to CHECKs too.
  EXPECT_EQ(Translate("(datepart(year,[Created])>(2000))"), "EXTRACT(YEAR FROM \"Created\") > 2000");
  EXPECT_EQ(Translate("([A]%(2)=(0))"), "MOD(\"A\", 2) = 0");
}

TEST(CheckTranslation, LikeKeepsItsMeaning) {
  EXPECT_EQ(Translate("([Code] like '%@%')"), "\"Code\" LIKE '%@%'");
  EXPECT_EQ(Translate("([Code] not like 'A_')"), "\"Code\" NOT LIKE 'A_'");
  // Classes need SIMILAR TO, where the other characters it treats specially are escaped.
  EXPECT_EQ(Translate("([Code] like '[A-Z][^0-9]%')"), "\"Code\" SIMILAR TO '[A-Z][^0-9]%' ESCAPE '\\'");
  EXPECT_EQ(conversion::LikeToSimilar("a+b(c)|d*[\\[]_%"), "a\\+b\\(c\\)\\|d\\*[\\\\\\[]_%");
}

TEST(CheckTranslation, WhatDoesNotTranslateSaysWhy) {
  EXPECT_EQ(Translate("(soundex([Code])='x')"), "FAILS: the function soundex()");
  EXPECT_EQ(Translate("([A]&(2)=(0))"), "FAILS: the operator &");
  EXPECT_EQ(Translate("([Nope]>(0))"), "FAILS: the name Nope is not a column of the table");
  EXPECT_EQ(Translate("([A]>(0)"), "FAILS: a '(' without its ')'");
  EXPECT_EQ(Translate("([A]>'x)"), "FAILS: an unclosed quote");
  EXPECT_EQ(Translate("([A]>(0) ; drop table x)"), "FAILS: the character ';'");
  EXPECT_EQ(Translate(""), "FAILS: an empty condition");
}

// Two tables as a run names them for Firebird: T (A int, B text, When timestamp) and Sales.Long, whose
// column "Long Name" Firebird knows as "Long~1".
class TwoTables : public conversion::RelationLookup {
 public:
  const conversion::SourceRelation* Find(const std::string& schema, const std::string& name) override {
    using K = conversion::ValueKind;
    static const conversion::SourceRelation t{"T", {{"A", "A", K::Integer}, {"B", "B", K::Text}, {"When", "When", K::Timestamp}}};
    static const conversion::SourceRelation l{"Sales.Long", {{"Id", "Id", K::Integer}, {"Long Name", "Long~1", K::Text}}};
    std::string n;
    for (char c : schema + "." + name) n += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return n == "dbo.t" ? &t : n == "sales.long" ? &l : nullptr;
  }
};

std::string View(const std::string& definition) {
  TwoTables tables;
  std::string why;
  auto v = conversion::TranslateView(definition, "dbo", tables, conversion::TypeRules::Firebird, why);
  if (!v) return "FAILS: " + why;
  std::string names;
  for (const auto& c : v->columns) names += c.target + "|";
  return names + " " + v->select;
}

TEST(ViewTranslation, QueriesBecomeFirebirdsOverTheRunsNames) {
  EXPECT_EQ(View("CREATE VIEW V AS SELECT TOP (5) t.A, l.[Long Name] AS N FROM (T t LEFT JOIN Sales.Long l ON l.Id = t.A) "
                 "ORDER BY t.A DESC"),
            "A|N| SELECT FIRST 5 \"t\".\"A\", \"l\".\"Long~1\" AS \"N\" FROM (\"T\" \"t\" LEFT OUTER JOIN \"Sales.Long\" \"l\" "
            "ON \"l\".\"Id\" = \"t\".\"A\") ORDER BY \"t\".\"A\" DESC");
  EXPECT_EQ(View("create view v as select d.x, B + 'z' AS s from (select A * 2 as x, B from T where [When] >= '20240131') d"),
            "x|s| SELECT \"d\".\"x\", \"d\".\"B\" || CAST('z' AS VARCHAR(1)) AS \"s\" FROM (SELECT \"T\".\"A\" * 2 AS \"x\", \"T\".\"B\" FROM \"T\" "
            "WHERE \"T\".\"When\" >= '2024-01-31') \"d\"");
  EXPECT_EQ(View("CREATE VIEW V AS SELECT DATEADD(month, 2, [When]) AS a, CHARINDEX('x', B) AS b, SUBSTRING(B, 2, 3) AS c, "
                 "LTRIM(B) AS d, ROUND(A, 1, 1) AS e, DATEPART(dw, [When]) AS f FROM T"),
            "a|b|c|d|e|f| SELECT DATEADD(MONTH, 2, \"T\".\"When\") AS \"a\", POSITION(CAST('x' AS VARCHAR(1)), \"T\".\"B\") AS \"b\", "
            "SUBSTRING(\"T\".\"B\" FROM 2 FOR 3) AS \"c\", TRIM(LEADING FROM \"T\".\"B\") AS \"d\", TRUNC(\"T\".\"A\", 1) AS \"e\", "
            "(EXTRACT(WEEKDAY FROM \"T\".\"When\") + 1) AS \"f\" FROM \"T\"");
  EXPECT_EQ(View("CREATE VIEW V AS SELECT IIF(A > 1, B, 'x') AS i, CONCAT(B, A) AS c FROM T ORDER BY A OFFSET 5 ROWS "
                 "FETCH NEXT 10 ROWS ONLY"),
            "i|c| SELECT IIF(\"T\".\"A\" > 1, \"T\".\"B\", CAST('x' AS VARCHAR(1))) AS \"i\", (COALESCE(\"T\".\"B\", '') || "
            "COALESCE(CAST(\"T\".\"A\" AS VARCHAR(20)), '')) AS \"c\" FROM \"T\" ORDER BY \"T\".\"A\" OFFSET 5 ROWS FETCH NEXT 10 "
            "ROWS ONLY");
  // What stops a view is the first construct Firebird has no words for.
  EXPECT_EQ(View("CREATE VIEW V AS SELECT CONCAT(B, [When]) AS c FROM T"),
            "FAILS: CONCAT of a value that is not text or an integer");
  EXPECT_EQ(View("CREATE VIEW V AS SELECT A FROM T CROSS APPLY OPENJSON(B)"), "FAILS: CROSS APPLY");
  EXPECT_EQ(View("CREATE VIEW V AS SELECT x.value('(/a)[1]', 'int') AS v FROM T x"), "FAILS: the method or function value()");
  EXPECT_EQ(View("CREATE VIEW V AS SELECT A FROM dbo.Split(B)"), "FAILS: the table-valued function Split()");
  EXPECT_EQ(View("CREATE VIEW V AS SELECT A FROM Nope"), "FAILS: the table or view Nope, which Firebird does not hold");
  EXPECT_EQ(View("CREATE VIEW V AS SELECT A + 1 FROM T"), "FAILS: a column without a name");
}

// Every cut of a view's text (as a damaged or unusual definition would be) ends in a translation or a
// reason, never in a hang or a crash, and so does a CHECK with numbers past any integer type.
TEST(ViewTranslation, EveryCutOfATextEndsWithAnAnswer) {
  const std::string texts[] = {
      "CREATE VIEW V AS SELECT TOP (5) t.A, l.[Long Name] AS N FROM (T t LEFT OUTER JOIN Sales.Long l ON l.Id = t.A) "
      "CROSS JOIN T u WHERE t.A IN (SELECT Id FROM Sales.Long) AND t.B LIKE '[a-c]%' ORDER BY t.A DESC",
      "create view v (x, y) as select CASE WHEN A > 1 THEN N'x' ELSE B + 'y' END, CONVERT(varchar(10), [When], 120) "
      "from T union all select RANK() OVER (PARTITION BY A ORDER BY B), DATEDIFF(day, [When], GETDATE()) from T",
  };
  for (const std::string& text : texts)
    for (size_t n = 0; n <= text.size(); ++n) {
      const std::string answer = View(text.substr(0, n));
      EXPECT_FALSE(answer.empty()) << text.substr(0, n);
    }
  std::string why;
  EXPECT_FALSE(conversion::TranslateCheck("(CAST([A] AS varchar(99999999999999999999))='x')", Column, why));
  EXPECT_FALSE(why.empty());
}

TEST(TableNames, SchemasGiveDisplayAndSqlNames) {
  EXPECT_EQ(MSSQL::DisplayName({"dbo", "Log"}), "Log");
  EXPECT_EQ(MSSQL::DisplayName({"DBO", "Log"}), "Log");
  EXPECT_EQ(MSSQL::DisplayName({"", "Log"}), "Log");
  EXPECT_EQ(MSSQL::DisplayName({"audit", "Log"}), "audit.Log");
  EXPECT_EQ(MSSQL::SqlName({"Sales", "Odd]Name"}), "[Sales].[Odd]]Name]");
  EXPECT_EQ(MSSQL::SqlName({"", "Log"}), "[Log]");

  const std::vector<MSSQL::TableRef> listed{{"dbo", "Log"}, {"audit", "Log"}, {"Sales", "Customer"}, {"Sales", "Order"}};
  std::string why;
  EXPECT_EQ(MSSQL::FindTable(listed, "sales.customer", why), "Sales.Customer");
  EXPECT_EQ(MSSQL::FindTable(listed, "Customer", why), "Sales.Customer");
  EXPECT_EQ(MSSQL::FindTable(listed, "log", why), "Log");  // the dbo table goes by the plain name
  EXPECT_EQ(MSSQL::FindTable(listed, "DBO.Log", why), "Log");
  EXPECT_EQ(MSSQL::FindTable(listed, "audit.Log", why), "audit.Log");
  EXPECT_EQ(MSSQL::FindTable(listed, "Nope", why), "");
  EXPECT_EQ(why, "no table Nope in the SQL Server database");
  const std::vector<MSSQL::TableRef> twice{{"Sales", "Log"}, {"audit", "Log"}};
  EXPECT_EQ(MSSQL::FindTable(twice, "Log", why), "");
  EXPECT_EQ(why, "the table name Log is in several schemas: Sales.Log audit.Log");
}

TEST(TableNames, ChoiceByNamesPatternsAndExclusions) {
  const std::vector<MSSQL::TableRef> listed{{"dbo", "Orders"}, {"dbo", "OrderLines"}, {"Sales", "Customer"},
                                            {"Sales", "OrderHeader"}, {"audit", "Log"}, {"dbo", "Log"}};
  auto chosen = [&](std::vector<std::string> in, std::vector<std::string> ex) {
    return conversion::ChooseTables(listed, in, ex).chosen;
  };
  using V = std::vector<std::string>;
  EXPECT_EQ(chosen({}, {}), (V{"Orders", "OrderLines", "Sales.Customer", "Sales.OrderHeader", "audit.Log", "Log"}));
  // A pattern matches the full name or the name alone, in any case; listing order is kept.
  EXPECT_EQ(chosen({"sales.*", "order*"}, {}), (V{"Orders", "OrderLines", "Sales.Customer", "Sales.OrderHeader"}));
  EXPECT_EQ(chosen({"*"}, {"*Log", "OrderLine?"}), (V{"Orders", "Sales.Customer", "Sales.OrderHeader"}));
  EXPECT_EQ(chosen({"Customer", "audit.log"}, {}), (V{"Sales.Customer", "audit.Log"}));
  // dbo's tables answer to a pattern that writes their schema out, as to a name that does.
  EXPECT_EQ(chosen({"dbo.Order*"}, {}), (V{"Orders", "OrderLines"}));
  EXPECT_EQ(chosen({"*"}, {"dbo.*"}), (V{"Sales.Customer", "Sales.OrderHeader", "audit.Log"}));
  const auto nothing = conversion::ChooseTables(listed, {"Orders", "Inv*"}, {});
  EXPECT_EQ(nothing.chosen, (V{"Orders"}));
  EXPECT_EQ(nothing.notes, (V{"The pattern Inv* matches no table."}));
  // A plain name that is unknown, or in two schemas, is an error, for --exclude too.
  EXPECT_EQ(conversion::ChooseTables(listed, {"Nope"}, {}).error, "no table Nope in the SQL Server database");
  EXPECT_EQ(conversion::ChooseTables(listed, {}, {"Log2"}).error, "no table Log2 in the SQL Server database");
  EXPECT_TRUE(conversion::ChooseTables(listed, {"Log"}, {}).error.empty());  // dbo's Log goes by its name
}

TEST(RunSummaryText, ObjectsNotCarriedAreCountedByKind) {
  conversion::RunSummary s;
  EXPECT_TRUE(s.LostNothing());
  s.NotCarried("VIEW", "dbo.B");
  s.NotCarried("TRIGGER", "Sales.T", "on table Sales.Customer");
  s.NotCarried("VIEW", "dbo.A");
  EXPECT_FALSE(s.LostNothing());
  EXPECT_EQ(s.Text(), "\nNot carried over: 2 views, 1 trigger\n    view dbo.B\n    view dbo.A\n"
                      "    trigger Sales.T: on table Sales.Customer\n");
}

}  // namespace
