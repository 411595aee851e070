#include <gtest/gtest.h>

#include <chrono>

#include "connectivity/core/Ado.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/TableDdl.h"
#include "support/TestSupport.h"

class OdbcSourceTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
};

TEST_F(OdbcSourceTest, CatalogueKeepsUserTablesOnly) {
  auto login = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE Customers (Id INTEGER)", "CREATE TABLE sysdiagrams (Id INTEGER)",
            "CREATE TABLE MySysLog (Id INTEGER)", "CREATE TABLE EasyShop (Id INTEGER)",
            "CREATE TABLE [Odd name] (Id INTEGER)", "CREATE TABLE \"Qu\"\"ote $x\" (Id INTEGER)",
            "CREATE TABLE Ærø (Id INTEGER)", "CREATE VIEW V AS SELECT * FROM Customers"});
  std::vector<MSSQL::TableRef> refs{{"stale"}};
  std::vector<std::string> list, leftOut;
  MSSQL::ListSqlServerTables(login, refs, &leftOut);
  // A source without schemas: every table goes by its name alone.
  for (const auto& r : refs) list.push_back(MSSQL::DisplayName(r));
  std::sort(list.begin(), list.end());
  // "SYS" inside a user table's name does not hide it; only the diagram table is left out, and named.
  EXPECT_EQ(list, (std::vector<std::string>{"Customers", "EasyShop", "MySysLog", "Odd name", "Qu\"ote $x", "Ærø"}));
  EXPECT_EQ(leftOut, (std::vector<std::string>{"sysdiagrams"}));
}

TEST_F(OdbcSourceTest, OnlyViewsGiveAnEmptyList) {
  auto login = testsupport::NewSqliteSource(dir, {"CREATE VIEW V AS SELECT 1 AS A"});
  std::vector<MSSQL::TableRef> list{{"stale"}};
  MSSQL::ListSqlServerTables(login, list);
  EXPECT_TRUE(list.empty());
}

TEST_F(OdbcSourceTest, SelectAllReadsRowsWithTheirTotal) {
  auto login = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE [a b] (Id INTEGER, Name VARCHAR(20))", "INSERT INTO [a b] VALUES (1, 'x')",
            "INSERT INTO [a b] VALUES (2, NULL)"});
  ado::Connection c;
  c.Open(MSSQL::ConnectionString(login));
  ado::Recordset rs;
  EXPECT_EQ(MSSQL::CountRows(c, "a b"), 2);
  rs.Open(conversion::SelectAllText("a b"), c);
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.FieldCount(), 2);
  EXPECT_EQ(rs.Fields(0).Name, "Id");
  EXPECT_EQ(rs.Fields(0).Type, 3);
  EXPECT_EQ(rs.Fields(1).Type, 200);
  EXPECT_EQ(rs.Fields(1).DefinedSize, 20);
  EXPECT_EQ(rs.Fields("NAME").value.text, "x");
  rs.MoveNext();
  EXPECT_TRUE(rs.Fields(1).value.IsNull());
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_THROW(rs.Open("SELECT * FROM [missing]", c), ado::DbError);
}

TEST_F(OdbcSourceTest, BadSourcesFailQuickly) {
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(MSSQL::CanOpenSqlServer({"x", "1", dir.File("no/such/dir/x.db"), "", "", false}));
  EXPECT_TRUE(MSSQL::CanOpenSqlServer({"x", "1", dir.File("fresh.db"), "", "", false}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}
