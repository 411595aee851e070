// A source organised in schemas, with alias types, computed and CLR columns, CHECK constraints, a
// sequence and objects Firebird does not get, converted through FreeTDS into embedded Firebird.
#include <gtest/gtest.h>

#include <algorithm>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "support/EndpointFixture.h"
#include "support/HeadlessHost.h"
#include "support/KeyChecks.h"
#include "support/TestSupport.h"

using testsupport::Rows;

namespace {

const char* const kCatalog = R"json({"database": "bikes", "password": "pw", "tables": [
 {"name": "Log", "columns": [["Id", "int"], ["Msg", "nvarchar(50)"]],
  "rows": [[1, "dbo one"], [2, "dbo two"]], "primary_key": {"name": "PK_Log", "columns": ["Id"]}},
 {"name": "Log", "schema": "audit", "columns": [["Id", "int"], ["What", "varchar(20)"]],
  "rows": [[7, "audit"], [-1, "let in WITH NOCHECK"], [8, "more"]], "primary_key": {"name": "PK_audit_Log", "columns": ["Id"]},
  "checks": [{"name": "CK_Log_Positive", "definition": "([Id]>(0))", "not_trusted": true}]},
 {"name": "Customer", "schema": "Sales",
  "columns": [["CustomerID", "int"], ["Name", "nvarchar(50)", {"user_type": "Name"}], ["Active", "bit", {"user_type": "Flag"}],
              ["AccountNumber", "varchar(10)", {"computed": true}], ["Spot", "geography"], ["Discount", "decimal(4,2)"],
              ["Code", "varchar(10)"], ["Email", "nvarchar(50)"], ["Created", "datetime"], ["Qty", "int"]],
  "rows": [[1, "Ann", true, "AW00000001", "E6100000010CAE8BFC28BCE4474067A89189898A5EC0", "0.10", "A1x", "ann@example.com", "2001-05-03 14:05:09", 5],
           [2, "Bob", false, "AW00000002", null, "1.00", "B22", "bob@example.com", "2010-01-01 00:00:00", 1]],
  "primary_key": {"name": "PK_Customer", "columns": ["CustomerID"]},
  "checks": [{"name": "CK_Discount", "definition": "([Discount]>=(0) AND [Discount]<=(1))"},
             {"name": "CK_Code", "definition": "([Code] like '[A-Z][0-9]%')"},
             {"name": "CK_Email", "definition": "([Email] like '%@%' AND [Email] IS NOT NULL)"},
             {"name": "CK_CodeLen", "definition": "(len([Code])>(1))"},
             {"name": "CK_Qty", "definition": "([Qty] IN ((1), (5), (9)) OR [Qty] BETWEEN (100) AND (200))"},
             {"name": "CK_Created", "definition": "([Created]<=getdate())"},
             {"name": "CK_Year", "definition": "(datename(month,[Created])<>N'May')"}]},
 {"name": "EmployeeDepartmentHistory", "schema": "HumanResources",
  "columns": [["Node", "hierarchyid"], ["CustomerID", "int"], ["Name", "nvarchar(20)"]],
  "rows": [["", 1, "root"], ["58", 1, "/1/"], ["5AC0", 2, "/1/1/"]],
  "primary_key": {"name": "PK_EDH", "columns": ["Node"]},
  "foreign_keys": [{"name": "FK_EDH_Customer", "columns": ["CustomerID"], "ref_table": "Customer", "ref_schema": "Sales",
                    "ref_columns": ["CustomerID"]}]}
 ],
 "objects": [{"schema": "dbo", "name": "Invoices", "type": "VIEW", "definition": "create view Invoices as select 1 as a"},
             {"schema": "Sales", "name": "uspGetCustomer", "type": "PROCEDURE"},
             {"schema": "Sales", "name": "trCustomer", "type": "TRIGGER", "table": "Customer", "table_schema": "Sales"},
             {"schema": "dbo", "name": "ufnTotal", "type": "FUNCTION"},
             {"schema": "dbo", "name": "Shoppers", "type": "SYNONYM"},
             {"schema": "Sales", "name": "OwnRowsOnly", "type": "SECURITY_POLICY",
              "definition": "CREATE SECURITY POLICY Sales.OwnRowsOnly ADD FILTER PREDICATE dbo.fnOwn(CustomerID) ON Sales.Customer"},
             {"name": "trNoDrops", "type": "TRIGGER", "definition": "CREATE TRIGGER trNoDrops ON DATABASE FOR DROP_TABLE AS ROLLBACK"},
             {"schema": "Sales", "name": "Customer", "type": "FULLTEXT_INDEX", "table": "Customer", "table_schema": "Sales"}],
 "sequences": [{"schema": "Sales", "name": "OrderNo", "type": "bigint", "start": 1, "increment": 1, "current": 1042},
               {"schema": "dbo", "name": "Ticket", "type": "int", "start": 100, "increment": 10, "current": 100, "used": false}]
})json";

class SchemasTest : public testsupport::EndpointFixture {
 protected:
  SchemasTest() : EndpointFixture(kCatalog) {}
  // Runs an insert in Firebird; the error text, "" when it was taken.
  std::string Insert(const std::string& sql) {
    try {
      Target().Execute(sql);
      Target().Flush();
      return {};
    } catch (const std::exception& e) {
      return e.what();
    }
  }
};

TEST_F(SchemasTest, EveryTableOfEverySchemaArrivesUnderItsName) {
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  ado::Connection& c = Target();
  const std::string edh = "HumanResources.EmployeeD~";  // over 31 bytes: shortened, and named so
  auto tables = Rows(c, "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 AND RDB$VIEW_BLR IS NULL "
                        "ORDER BY 1");
  ASSERT_EQ(tables.size(), 4u) << ::testing::PrintToString(tables);
  EXPECT_EQ(tables[0][0].rfind(edh, 0), 0u);
  EXPECT_EQ(tables[1][0], "Log");
  EXPECT_EQ(tables[2][0], "Sales.Customer");
  EXPECT_EQ(tables[3][0], "audit.Log");
  EXPECT_NE(host.summary.find("table \"HumanResources.EmployeeDepartmentHistory\" is \"" + tables[0][0] + "\""), std::string::npos)
      << host.summary;

  // Two tables of one name in two schemas, each with its own rows.
  EXPECT_EQ(Rows(c, "SELECT \"Msg\" FROM \"Log\" ORDER BY \"Id\""), (std::vector<std::vector<std::string>>{{"dbo one"}, {"dbo two"}}));
  EXPECT_EQ(Rows(c, "SELECT \"What\" FROM \"audit.Log\" ORDER BY \"Id\"").size(), 3u);

  // Alias types as their base types; the computed column's values as values.
  EXPECT_EQ(Rows(c, "SELECT F.RDB$FIELD_TYPE, F.RDB$CHARACTER_LENGTH FROM RDB$RELATION_FIELDS R JOIN RDB$FIELDS F "
                    "ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE WHERE R.RDB$RELATION_NAME = 'Sales.Customer' "
                    "AND R.RDB$FIELD_NAME = 'Name'"),
            (std::vector<std::vector<std::string>>{{"37", "50"}}));  // VARCHAR(50)
  EXPECT_EQ(Rows(c, "SELECT \"Name\", \"Active\", \"AccountNumber\" FROM \"Sales.Customer\" ORDER BY \"CustomerID\""),
            (std::vector<std::vector<std::string>>{{"Ann", "1", "AW00000001"}, {"Bob", "0", "AW00000002"}}));
  EXPECT_NE(host.summary.find("column \"AccountNumber\" is computed in SQL Server: copied as values"), std::string::npos)
      << host.summary;

  // geography: its bytes whole in a binary blob; hierarchyid: its bytes in an OCTETS VARCHAR, the root
  // as zero bytes, under a primary key that Firebird holds.
  EXPECT_EQ(Rows(c, "SELECT OCTET_LENGTH(\"Spot\") FROM \"Sales.Customer\" WHERE CAST(\"Spot\" AS VARCHAR(100) CHARACTER SET "
                    "OCTETS) = X'E6100000010CAE8BFC28BCE4474067A89189898A5EC0'"),
            (std::vector<std::vector<std::string>>{{"22"}}));
  const std::string hist = "\"" + tables[0][0] + "\"";
  EXPECT_EQ(Rows(c, "SELECT OCTET_LENGTH(\"Node\"), \"Name\" FROM " + hist + " ORDER BY \"Node\""),
            (std::vector<std::vector<std::string>>{{"0", "root"}, {"1", "/1/"}, {"2", "/1/1/"}}));
  const auto constraints = testsupport::Constraints(c, tables[0][0]);
  EXPECT_TRUE(std::any_of(constraints.begin(), constraints.end(),
                          [](const std::string& s) { return s.rfind("PRIMARY KEY PK_EDH(Node)", 0) == 0; }))
      << ::testing::PrintToString(constraints);
  // The foreign key across schemas points at the table's Firebird name.
  EXPECT_EQ(Rows(c, "SELECT TRIM(P.RDB$RELATION_NAME) FROM RDB$REF_CONSTRAINTS R JOIN RDB$RELATION_CONSTRAINTS P "
                    "ON P.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ WHERE R.RDB$CONSTRAINT_NAME = 'FK_EDH_Customer'"),
            (std::vector<std::vector<std::string>>{{"Sales.Customer"}}));
}

TEST_F(SchemasTest, ChecksSequencesAndObjectsAreCarriedOrNamed) {
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  const std::string& s = host.summary;
  // The CHECKs that translate hold in Firebird: a good row goes in, each kind of bad one is refused.
  const std::string cols = "INSERT INTO \"Sales.Customer\" (\"CustomerID\", \"Discount\", \"Code\", \"Email\", \"Created\", \"Qty\") VALUES ";
  EXPECT_EQ(Insert(cols + "(10, 0.5, 'C3', 'c@x', '2020-01-01', 150)"), "");
  EXPECT_NE(Insert(cols + "(11, 1.5, 'C3', 'c@x', '2020-01-01', 1)").find("CK_Discount"), std::string::npos);
  // Under the database's case-insensitive collation [A-Z] takes a small letter too, as it does there.
  EXPECT_EQ(Insert(cols + "(12, 0.5, 'c3', 'c@x', '2020-01-01', 1)"), "");
  EXPECT_NE(Insert(cols + "(13, 0.5, 'C3', 'no at', '2020-01-01', 1)").find("CK_Email"), std::string::npos);
  EXPECT_NE(Insert(cols + "(14, 0.5, 'C ', 'c@x', '2020-01-01', 1)").find("CK_Code"), std::string::npos);
  EXPECT_NE(Insert(cols + "(15, 0.5, 'C3', 'c@x', '2020-01-01', 2)").find("CK_Qty"), std::string::npos);
  EXPECT_NE(Insert(cols + "(16, 0.5, 'C3', 'c@x', '2999-01-01', 1)").find("CK_Created"), std::string::npos);
  // len() leaves out trailing spaces, as SQL Server's does.
  ado::Connection& c = Target();
  EXPECT_EQ(Rows(c, "SELECT TRIM(RDB$TRIGGER_SOURCE) FROM RDB$TRIGGERS T JOIN RDB$CHECK_CONSTRAINTS K ON K.RDB$TRIGGER_NAME = "
                    "T.RDB$TRIGGER_NAME WHERE K.RDB$CONSTRAINT_NAME = 'CK_CodeLen' AND T.RDB$TRIGGER_TYPE = 1"),
            (std::vector<std::vector<std::string>>{{"CHECK (CHAR_LENGTH(TRIM(TRAILING FROM \"Code\")) > 1)"}}));
  // The untranslatable one is named with its text; the one the rows break is named, and the row kept.
  EXPECT_NE(s.find("CHECK constraint Sales.Customer.CK_Year: not translated (DATENAME()): "
                   "(datename(month,[Created])<>N'May')"),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("CHECK constraint audit.Log.CK_Log_Positive: refused: 1 row of the table breaks it"), std::string::npos) << s;
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"audit.Log\"")[0][0], "3");

  // Sequences continue where SQL Server's stand: the next value after the last handed out, or the
  // current one when none was.
  EXPECT_EQ(Rows(c, "SELECT NEXT VALUE FOR \"Sales.OrderNo\" FROM RDB$DATABASE")[0][0], "1043");
  EXPECT_EQ(Rows(c, "SELECT NEXT VALUE FOR \"Ticket\" FROM RDB$DATABASE")[0][0], "100");

  // Everything else is named, by kind, and the run does not end with a bare "Done.".
  // The view is made.
  EXPECT_EQ(Rows(c, "SELECT \"a\" FROM \"Invoices\"")[0][0], "1");
  EXPECT_NE(s.find("Not carried over: 2 CHECK constraints, 1 procedure, 1 function, 1 trigger, 1 database "
                   "trigger, 1 synonym, 1 security policy (row-level security), 1 full-text index\n"),
            std::string::npos)
      << s;
  for (const char* line : {"procedure Sales.uspGetCustomer", "function dbo.ufnTotal",
                           "trigger Sales.trCustomer: on table Sales.Customer", "synonym dbo.Shoppers",
                           "full-text index Sales.Customer", "database trigger trNoDrops",
                           "security policy (row-level security) Sales.OwnRowsOnly"})
    EXPECT_NE(s.find(std::string("    ") + line + "\n"), std::string::npos) << line << "\n" << s;
}

class SequenceLimitsTest : public testsupport::EndpointFixture {
 protected:
  SequenceLimitsTest()
      : EndpointFixture(R"json({"database": "shop", "password": "pw",
 "tables": [{"name": "T", "columns": [["Id", "int"]], "rows": [[1]]}],
 "sequences": [{"name": "WideStep", "type": "bigint", "start": 1, "increment": 3000000000, "current": 1},
               {"name": "NegStep", "type": "bigint", "start": 0, "increment": -2147483647, "current": -4294967294},
               {"name": "MinStep", "type": "bigint", "start": 0, "increment": -2147483648, "current": 0},
               {"name": "AtEnd", "type": "bigint", "start": 1, "increment": 1, "current": 9223372036854775807},
               {"name": "NotUsed", "type": "bigint", "start": -9223372036854775808, "increment": 1,
                "current": -9223372036854775808, "used": false},
               {"name": "Plain", "type": "int", "start": 5, "increment": 5, "current": 20}]})json") {}
};

// A step past Firebird's 32-bit INCREMENT BY, or a first value at the 64-bit limit, is named, not
// tried; a sequence at the last 64-bit value is made and named, for Firebird wraps where SQL Server
// stops; the others continue as in SQL Server.
TEST_F(SequenceLimitsTest, StepsAndLimitsFirebirdCannotFollowAreNamed) {
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  const std::string& s = host.summary;
  EXPECT_EQ(run.Reported(), 0) << ::testing::PrintToString(host.shown);
  EXPECT_NE(s.find("Sequence \"WideStep\" was not made: its step 3000000000 passes Firebird's, which is at most "
                   "2147483647 either way"),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("Sequence \"AtEnd\" has handed out its last value (9223372036854775807): SQL Server gives no "
                   "more, but Firebird's next value wraps around"),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("Sequence \"MinStep\" was not made: its step -2147483648 passes Firebird's"), std::string::npos) << s;
  ado::Connection& c = Target();
  EXPECT_EQ(Rows(c, "SELECT NEXT VALUE FOR \"NegStep\" FROM RDB$DATABASE")[0][0], "-6442450941");
  EXPECT_NE(s.find("Sequence \"NotUsed\" was not made: its first value -9223372036854775808 cannot be given"),
            std::string::npos)
      << s;
  EXPECT_EQ(Rows(c, "SELECT NEXT VALUE FOR \"Plain\" FROM RDB$DATABASE")[0][0], "25");
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM RDB$GENERATORS WHERE RDB$GENERATOR_NAME = 'WideStep'")[0][0], "0");
}

TEST_F(SchemasTest, PreviewNamesTablesAndQuestionsTheSameWay) {
  // Firebird holds a table of the run already: the question names it as the run does.
  Target().Execute("CREATE TABLE \"audit.Log\" (X INTEGER)");
  Target().Flush();
  fb.Close();
  host.onAsk = [](const std::string&) { return conversion::kNo; };
  host.preview = true;
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_TRUE(std::count(host.shown.begin(), host.shown.end(), "Would you like to overwrite audit.Log?"));
  std::string script;
  for (const auto& statement : host.script) script += statement + "\n";
  EXPECT_NE(script.find("CREATE TABLE \"Sales.Customer\" ("), std::string::npos);
  EXPECT_NE(script.find("ALTER TABLE \"Sales.Customer\" ADD CONSTRAINT \"CK_Discount\" CHECK (\"Discount\" >= 0 AND \"Discount\" <= 1);"),
            std::string::npos)
      << script;
  EXPECT_NE(script.find("CREATE SEQUENCE \"Sales.OrderNo\" START WITH 1042 INCREMENT BY 1;"), std::string::npos);
  EXPECT_EQ(script.find("audit.Log\" VALUES"), std::string::npos);
}

}  // namespace

namespace {

// dbo's table literally named "Sales.Cust" beside schema Sales's "Cust", and "a.b"."c" beside "a"."b.c".
class DotClashTest : public testsupport::EndpointFixture {
 protected:
  DotClashTest()
      : EndpointFixture(R"json({"database": "shop", "password": "pw", "tables": [
 {"name": "Cust", "schema": "Sales", "columns": [["Id", "int"], ["V", "nvarchar(20)"]],
  "rows": [[1, "sales schema"], [2, "sales schema"]], "primary_key": {"name": "PK_SC", "columns": ["Id"]}},
 {"name": "Sales.Cust", "schema": "dbo", "columns": [["Id", "int"], ["V", "nvarchar(20)"]],
  "rows": [[1, "dbo"], [2, "dbo"], [5, "dbo only"]], "primary_key": {"name": "PK_DC", "columns": ["Id"]}},
 {"name": "Ref2", "schema": "dbo", "columns": [["Id", "int"], ["C", "int"]], "rows": [[1, 5]],
  "foreign_keys": [{"name": "FK_Ref2_DboSalesCust", "columns": ["C"], "ref_table": "Sales.Cust", "ref_schema": "dbo",
                    "ref_columns": ["Id"]}]},
 {"name": "c", "schema": "a.b", "columns": [["X", "int"]], "rows": [[1]]},
 {"name": "b.c", "schema": "a", "columns": [["X", "int"]], "rows": [[2], [3]]}]})json") {}
};

}  // namespace

// Tables whose names would be one get two Firebird names, and the foreign key points at the table it
// refers to by schema and name.
TEST_F(DotClashTest, BothTablesArriveAndTheForeignKeyFollowsItsTable) {
  host.verify = true;
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  const std::string& s = host.summary;
  EXPECT_EQ(s.find("is another table's already"), std::string::npos) << s;
  EXPECT_EQ(std::count(host.shown.begin(), host.shown.end(), "Done."), 1) << ::testing::PrintToString(host.shown);
  ado::Connection& c = Target();
  const auto tables = Rows(c, "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1");
  ASSERT_EQ(tables.size(), 5u) << ::testing::PrintToString(tables);
  // Sales's Cust keeps its name; dbo's "Sales.Cust" gets the ending.
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"Sales.Cust\"")[0][0], "2");
  std::string dboCust;
  for (const auto& t : tables)
    if (t[0].rfind("Sales.Cust~", 0) == 0) dboCust = t[0];
  ASSERT_FALSE(dboCust.empty()) << ::testing::PrintToString(tables);
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"" + dboCust + "\"")[0][0], "3");
  EXPECT_EQ(Rows(c, "SELECT TRIM(P.RDB$RELATION_NAME) FROM RDB$REF_CONSTRAINTS R JOIN RDB$RELATION_CONSTRAINTS P "
                    "ON P.RDB$CONSTRAINT_NAME = R.RDB$CONST_NAME_UQ WHERE R.RDB$CONSTRAINT_NAME = 'FK_Ref2_DboSalesCust'"),
            (std::vector<std::vector<std::string>>{{dboCust}}));
  // Both "a.b.c" tables arrive, each under a name of its own, with its own rows.
  long long abRows = 0;
  int abTables = 0;
  for (const auto& t : tables)
    if (t[0].rfind("a.b.c~", 0) == 0) {
      ++abTables;
      abRows += std::stoll(Rows(c, "SELECT COUNT(*) FROM \"" + t[0] + "\"")[0][0]);
    }
  EXPECT_EQ(abTables, 2);
  EXPECT_EQ(abRows, 3);
  EXPECT_FALSE(run.VerifyFoundDifferences()) << s;
}

namespace {

class CaseChecksTest : public testsupport::EndpointFixture {
 protected:
  CaseChecksTest()
      : EndpointFixture(R"json({"database": "shop", "password": "pw", "tables": [
 {"name": "CI", "columns": [["S", "nvarchar(20)"]], "rows": [["apple"], ["Bob"]],
  "checks": [{"name": "CK_CI_Like", "definition": "([S] like '[a-c]%')"}]},
 {"name": "CI2", "columns": [["S", "nvarchar(20)"], ["N", "int"]], "rows": [["Open", 1], ["OPEN", 2], ["weird", 3]],
  "checks": [{"name": "CK_CI_In", "definition": "([S]='closed' OR [S]='open')", "not_trusted": true},
             {"name": "CK_CI_N", "definition": "([N]>(1))", "not_trusted": true}]}]})json") {}
};

}  // namespace

// Text in UTF8's binary order (Collations=Binary): a CHECK that SQL Server's case-insensitive comparison
// lets the rows pass is not made, and the summary says that they differ only in letter case; a row that
// breaks it otherwise is counted apart.
TEST_F(CaseChecksTest, RowsThatDifferOnlyInCaseAreNamedSo) {
  host.binaryCollations = true;
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  const std::string& s = host.summary;
  EXPECT_NE(s.find("CHECK constraint CI.CK_CI_Like: refused: 1 row of the table breaks it only in letter case (SQL "
                   "Server's case-insensitive collations let it pass): "),
            std::string::npos)
      << s;
  EXPECT_NE(s.find("CHECK constraint CI2.CK_CI_In: refused: 3 rows of the table break it (2 of them only in letter "
                   "case, which SQL Server's case-insensitive collations let pass): "),
            std::string::npos)
      << s;
  // A condition on numbers says nothing of case.
  EXPECT_NE(s.find("CHECK constraint CI2.CK_CI_N: refused: 1 row of the table breaks it: \"N\" > 1"), std::string::npos) << s;
  EXPECT_EQ(Rows(Target(), "SELECT COUNT(*) FROM \"CI2\"")[0][0], "3");
}

namespace {

// Keys taken from sequences, as SQL Server's newer samples make them: the default is the sequence's next
// value, written with and without the sequence's schema.
const char* const kSequenceDefaults = R"json({"database": "shop",
 "tables": [
  {"schema": "Application", "name": "Cities", "columns": [["CityID", "int"], ["Name", "nvarchar(50)"]],
   "not_null": ["Name"], "primary_key": {"name": "PK_Cities", "columns": ["CityID"]},
   "defaults": {"CityID": "(NEXT VALUE FOR [Sequences].[CityID])"}, "rows": [[1, "Ayr"], [2, "Bree"]]},
  {"name": "Tickets", "columns": [["Id", "bigint"], ["Seat", "int"]],
   "defaults": {"Id": "(NEXT VALUE FOR [Ticket])"}, "rows": [[100, 1]]},
  {"name": "Loose", "columns": [["Id", "int"]], "defaults": {"Id": "(NEXT VALUE FOR [Nowhere].[Gone])"}, "rows": []}],
 "sequences": [{"schema": "Sequences", "name": "CityID", "type": "int", "start": 1, "increment": 1, "current": 2},
               {"schema": "dbo", "name": "Ticket", "type": "bigint", "start": 100, "increment": 10, "current": 100}]
})json";

class SequenceDefaultsTest : public testsupport::EndpointFixture {
 protected:
  SequenceDefaultsTest() : EndpointFixture(kSequenceDefaults) {}
};

}  // namespace

TEST_F(SequenceDefaultsTest, AnInsertWithoutTheColumnGetsTheSequencesNextValue) {
  conversion::ConversionRun(host).Run(host.Options());
  ado::Connection& c = Target();
  c.Execute("INSERT INTO \"Application.Cities\" (\"Name\") VALUES ('Cair')");
  c.Execute("INSERT INTO \"Tickets\" (\"Seat\") VALUES (2)");
  // A value given is kept; NOT NULL still holds for the key and the name.
  c.Execute("INSERT INTO \"Tickets\" (\"Id\", \"Seat\") VALUES (5, 3)");
  c.Flush();
  EXPECT_EQ(Rows(c, "SELECT \"CityID\", \"Name\" FROM \"Application.Cities\" ORDER BY 1"),
            (std::vector<std::vector<std::string>>{{"1", "Ayr"}, {"2", "Bree"}, {"3", "Cair"}}));
  EXPECT_EQ(Rows(c, "SELECT \"Id\", \"Seat\" FROM \"Tickets\" ORDER BY 2"),
            (std::vector<std::vector<std::string>>{{"100", "1"}, {"110", "2"}, {"5", "3"}}));
  EXPECT_EQ(Rows(c, "SELECT COALESCE(RDB$NULL_FLAG, 0) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = "
                    "'Application.Cities' ORDER BY RDB$FIELD_POSITION"),
            (std::vector<std::vector<std::string>>{{"1"}, {"1"}}));
  EXPECT_THROW(c.Execute("INSERT INTO \"Application.Cities\" (\"CityID\") VALUES (9)"), ado::DbError);
  // A sequence the source does not have is named, and the default with it.
  EXPECT_NE(host.summary.find("Table \"Loose\": the default (NEXT VALUE FOR [Nowhere].[Gone]) of column \"Id\" (its sequence "
                              "is not in Firebird)"),
            std::string::npos)
      << host.summary;
  EXPECT_EQ(host.summary.find("NEXT VALUE FOR [Sequences]"), std::string::npos) << host.summary;
}

TEST(SequenceDefaultText, TheSequenceIsReadFromTheDefaultAsSqlServerWritesIt) {
  std::string schema, name;
  ASSERT_TRUE(conversion::SequenceOfDefault("(NEXT VALUE FOR [Sequences].[CityID])", schema, name));
  EXPECT_EQ(schema + "|" + name, "Sequences|CityID");
  ASSERT_TRUE(conversion::SequenceOfDefault("(next value for \"Odd]\"\"Name\")", schema, name));
  EXPECT_EQ(schema + "|" + name, "dbo|Odd]\"Name");
  ASSERT_TRUE(conversion::SequenceOfDefault("((NEXT VALUE FOR s . [a]]b]))", schema, name));
  EXPECT_EQ(schema + "|" + name, "s|a]b");
  EXPECT_FALSE(conversion::SequenceOfDefault("((0))", schema, name));
  EXPECT_FALSE(conversion::SequenceOfDefault("(NEXT VALUE FOR [a].[b] + (1))", schema, name));
}

// Text that compares as the source's collation does keeps the CHECKs SQL Server kept: only a row that
// breaks one otherwise is counted.
TEST_F(CaseChecksTest, UnderTheSourcesCollationsOnlyRealBreachesCount) {
  conversion::ConversionRun(host).Run(host.Options());
  const std::string& s = host.summary;
  EXPECT_EQ(s.find("CK_CI_Like"), std::string::npos) << s;
  EXPECT_NE(s.find("CHECK constraint CI2.CK_CI_In: refused: 1 row of the table breaks it: "), std::string::npos) << s;
  EXPECT_EQ(Rows(Target(), "SELECT COUNT(*) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_NAME = 'CK_CI_Like'"),
            (std::vector<std::vector<std::string>>{{"1"}}));
}
