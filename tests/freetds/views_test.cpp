// Views translated into Firebird's, through FreeTDS and the project's endpoint into embedded Firebird:
// what the application reads through them, in Firebird's own values.
#include <gtest/gtest.h>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "support/EndpointFixture.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::Rows;

namespace {

using Table = std::vector<std::vector<std::string>>;

// A few tables of a trading sample and views over them as SQL Server keeps their text: money arithmetic
// with a real discount, a view on a view listed before it, joins, date ranges, string + and a schema.
const char* const kCatalog = R"json({"database": "trade",
 "tables": [
  {"name": "Products", "columns": [["ProductID", "int"], ["ProductName", "nvarchar(40)"], ["UnitPrice", "money"]],
   "primary_key": {"name": "PK_Products", "columns": ["ProductID"]},
   "rows": [[11, "Queso Cabrales", 14.0], [42, "Singaporean Hokkien", 9.8], [51, "Manjimup Dried Apples", 42.4]]},
  {"name": "Order Details", "columns": [["OrderID", "int"], ["ProductID", "int"], ["UnitPrice", "money"],
     ["Quantity", "smallint"], ["Discount", "real"]],
   "primary_key": {"name": "PK_Order_Details", "columns": ["OrderID", "ProductID"]},
   "rows": [[10248, 11, 14.0, 12, 0.0], [10248, 42, 9.8, 10, 0.0], [10250, 51, 42.4, 35, 0.15], [10251, 42, 9.8, 6, 0.05]]},
  {"name": "Orders", "columns": [["OrderID", "int"], ["CustomerID", "nchar(5)"], ["OrderDate", "datetime"],
     ["ShippedDate", "datetime"]],
   "primary_key": {"name": "PK_Orders", "columns": ["OrderID"]},
   "rows": [[10248, "VINET", "1996-07-04 00:00:00", "1996-07-16 00:00:00"], [10250, "HANAR", "1997-07-08 00:00:00", null],
            [10251, "VICTE", "1997-07-08 00:00:00", "1997-07-15 00:00:00"]]},
  {"schema": "Sales", "name": "Customer", "columns": [["CustomerID", "nchar(5)"], ["FirstName", "nvarchar(20)"],
     ["LastName", "nvarchar(20)"]],
   "primary_key": {"name": "PK_Customer", "columns": ["CustomerID"]},
   "rows": [["HANAR", "Mario", "Pontes"], ["VINET", "Paul", "Henriot"], ["VICTE", "Mary", null]]}],
 "objects": [
  {"schema": "dbo", "name": "A Subtotals", "type": "VIEW",
   "definition": "create view [A Subtotals] AS\nSELECT [Order Details Extended].OrderID, SUM(ExtendedPrice) AS Subtotal\nFROM [Order Details Extended]\nGROUP BY [Order Details Extended].OrderID"},
  {"schema": "dbo", "name": "Order Details Extended", "type": "VIEW",
   "definition": "create view \"Order Details Extended\" AS\nSELECT \"Order Details\".OrderID, \"Order Details\".ProductID, Products.ProductName, \n\t\"Order Details\".UnitPrice, \"Order Details\".Quantity, \"Order Details\".Discount, \n\t(CONVERT(money,(\"Order Details\".UnitPrice*Quantity*(1-Discount)/100))*100) AS ExtendedPrice\nFROM Products INNER JOIN \"Order Details\" ON Products.ProductID = \"Order Details\".ProductID\n--ORDER BY \"Order Details\".OrderID"},
  {"schema": "dbo", "name": "Orders 1997", "type": "VIEW",
   "definition": "CREATE VIEW [dbo].[Orders 1997] AS SELECT TOP 100 PERCENT o.OrderID, YEAR(o.OrderDate) AS Yr, DATEPART(quarter, o.OrderDate) AS Qtr, DATEDIFF(day, o.OrderDate, o.ShippedDate) AS Days, ISNULL(c.FirstName + N' ' + c.LastName, c.FirstName) AS Name, LEN(o.CustomerID) AS L FROM Orders o LEFT OUTER JOIN Sales.Customer AS c ON c.CustomerID = o.CustomerID WHERE o.OrderDate BETWEEN '19970101' AND '19971231' ORDER BY o.OrderID;"},
  {"schema": "Sales", "name": "Everyone", "type": "VIEW",
   "definition": "CREATE VIEW Sales.Everyone (Id, First, Last) AS SELECT * FROM Customer WHERE CustomerID IN (SELECT CustomerID FROM dbo.Orders) UNION ALL SELECT CustomerID, N'none', NULL FROM Customer WHERE 1 = 0"},
  {"schema": "dbo", "name": "As XML", "type": "VIEW",
   "definition": "CREATE VIEW [As XML] AS SELECT (SELECT ProductName FROM Products FOR XML PATH('')) AS Names"},
  {"schema": "dbo", "name": "Applied", "type": "VIEW",
   "definition": "CREATE VIEW Applied AS SELECT o.OrderID, d.Quantity FROM Orders o CROSS APPLY (SELECT TOP 1 Quantity FROM [Order Details] WHERE OrderID = o.OrderID) d"},
  {"schema": "dbo", "name": "Refused", "type": "VIEW",
   "definition": "CREATE VIEW Refused AS SELECT OrderID, Quantity FROM [Order Details] GROUP BY OrderID"}]
})json";

class ViewsTest : public testsupport::EndpointFixture {
 protected:
  ViewsTest() : EndpointFixture(kCatalog) {}
};

}  // namespace

TEST_F(ViewsTest, ViewsArriveAndReadAsTheSourcesDid) {
  conversion::ConversionRun(host).Run(host.Options());
  ado::Connection& c = Target();
  // SQL Server's money arithmetic with a real discount, to the cent: 42.40 * 35 * (1 - 0.15) is 1261.40
  // there, and 9.80 * 6 * 0.95 is 55.86.
  EXPECT_EQ(Rows(c, "SELECT \"OrderID\", \"ProductName\", \"ExtendedPrice\" FROM \"Order Details Extended\" ORDER BY 1, 2"),
            (Table{{"10248", "Queso Cabrales", "168.0000"},
                   {"10248", "Singaporean Hokkien", "98.0000"},
                   {"10250", "Manjimup Dried Apples", "1261.4000"},
                   {"10251", "Singaporean Hokkien", "55.8600"}}));
  // A view on a view, listed before the view it reads.
  EXPECT_EQ(Rows(c, "SELECT \"OrderID\", \"Subtotal\" FROM \"A Subtotals\" ORDER BY 1"),
            (Table{{"10248", "266.0000"}, {"10250", "1261.4000"}, {"10251", "55.8600"}}));
  // Date literals, parts and differences, a join across schemas, string + as ||, NULL through ISNULL.
  EXPECT_EQ(Rows(c, "SELECT * FROM \"Orders 1997\""),
            (Table{{"10250", "1997", "3", "<null>", "Mario Pontes", "5"}, {"10251", "1997", "3", "7", "Mary", "5"}}));
  // *, a schema's own table named without its schema, IN (subquery), UNION ALL, the header's column names.
  EXPECT_EQ(Rows(c, "SELECT \"Id\", \"First\", \"Last\" FROM \"Sales.Everyone\" ORDER BY 1"),
            (Table{{"HANAR", "Mario", "Pontes"}, {"VICTE", "Mary", "<null>"}, {"VINET", "Paul", "Henriot"}}));
  // The views that did not arrive are named with the construct, or Firebird's words.
  EXPECT_NE(host.summary.find("view As XML: not translated (FOR XML)"), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("view Applied: not translated (CROSS APPLY)"), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("view Refused: Firebird refused it: "), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("Not carried over: 3 views"), std::string::npos) << host.summary;
  EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$VIEW_BLR IS NOT NULL AND RDB$SYSTEM_FLAG = 0"),
            (Table{{"4"}}));
}

TEST_F(ViewsTest, ASecondRunReplacesTablesThatViewsRead) {
  conversion::ConversionRun(host).Run(host.Options());
  testsupport::HeadlessHost again;
  again.sql = host.sql;
  again.fb = host.fb;
  again.answers = {conversion::kYes, conversion::kYes, conversion::kYes, conversion::kYes};
  {
    // A view of Firebird's own reads a table the run replaces, and another reads that view.
    ado::Connection& c = Target();
    c.Execute("CREATE VIEW \"Mine\" AS SELECT \"OrderID\", \"Quantity\" FROM \"Order Details\" WHERE \"Quantity\" > 10");
    c.Flush();
    c.Execute("CREATE VIEW \"Mine Too\" (\"N\") AS SELECT COUNT(*) FROM \"Mine\"");
    c.Flush();
  }
  fb.Close();
  conversion::ConversionRun(again).Run(again.Options());
  // Every table was replaced, every view made again under its own name.
  EXPECT_EQ(again.summary.find("could not"), std::string::npos) << again.summary;
  EXPECT_EQ(again.summary.find("Names changed"), std::string::npos) << again.summary;
  EXPECT_NE(again.summary.find("Table \"Order Details\": 4 rows read, 4 written"), std::string::npos) << again.summary;
  EXPECT_EQ(Rows(Target(), "SELECT \"N\" FROM \"Mine Too\""), (Table{{"2"}}));
  EXPECT_EQ(Rows(Target(), "SELECT SUM(\"Subtotal\") FROM \"A Subtotals\""), (Table{{"1583.2600"}}));
}

// With a preview for each table, what comes after the last table (sequences, their triggers, views) has
// a preview of its own, and "Execute SQL" there makes it.
TEST_F(ViewsTest, APreviewForEachTableShowsTheViewsInOneOfTheirOwn) {
  host.preview = true;
  host.perTable = true;
  std::vector<std::vector<std::string>> scripts;
  std::vector<std::string> refused;
  host.onPreview = [&](testsupport::HeadlessHost& h) {
    scripts.push_back(h.script);
    for (const auto& r : testsupport::ExecuteScript(h)) refused.push_back(r);
    h.outcome.SQLFormOK = true;
    h.outcome.SQLTableOK = false;  // on to the next table
  };
  conversion::ConversionRun(host).Run(host.Options());
  ASSERT_EQ(scripts.size(), 5u) << host.summary;
  // Only the view Firebird refuses, when the preview runs it.
  ASSERT_EQ(refused.size(), 1u) << ::testing::PrintToString(refused);
  EXPECT_EQ(refused[0].rfind("CREATE OR ALTER VIEW \"Refused\"", 0), 0u) << refused[0];
  ASSERT_FALSE(scripts.back().empty());
  EXPECT_EQ(scripts.back()[0].rfind("CREATE OR ALTER VIEW", 0), 0u) << scripts.back()[0];
  EXPECT_EQ(Rows(Target(), "SELECT \"Subtotal\" FROM \"A Subtotals\" WHERE \"OrderID\" = 10250"), (Table{{"1261.4000"}}));
}

namespace {

// Views written as the trading sample writes them (quoted names, nested joins in parentheses, date
// ranges as '19970101', t.*, a subquery, UNION), over a few rows of its tables.
const char* const kTrading = R"json({"database": "trade",
 "tables": [
  {"name": "Categories", "columns": [["CategoryID", "int"], ["CategoryName", "nvarchar(15)"]],
   "primary_key": {"name": "PK_Categories", "columns": ["CategoryID"]},
   "rows": [[1, "Beverages"], [4, "Dairy Products"]]},
  {"name": "Products", "columns": [["ProductID", "int"], ["ProductName", "nvarchar(40)"], ["CategoryID", "int"],
     ["UnitPrice", "money"], ["Discontinued", "bit"]],
   "primary_key": {"name": "PK_Products", "columns": ["ProductID"]},
   "rows": [[1, "Chai", 1, 18.0, 0], [11, "Queso Cabrales", 4, 21.0, 0], [24, "Guarana", 1, 4.5, 1]]},
  {"name": "Customers", "columns": [["CustomerID", "nchar(5)"], ["CompanyName", "nvarchar(40)"], ["City", "nvarchar(15)"]],
   "primary_key": {"name": "PK_Customers", "columns": ["CustomerID"]},
   "rows": [["ALFKI", "Alfreds Futterkiste", "Berlin"], ["BONAP", "Bon app'", "Marseille"]]},
  {"name": "Suppliers", "columns": [["SupplierID", "int"], ["CompanyName", "nvarchar(40)"], ["City", "nvarchar(15)"]],
   "primary_key": {"name": "PK_Suppliers", "columns": ["SupplierID"]},
   "rows": [[1, "Exotic Liquids", "London"]]},
  {"name": "Orders", "columns": [["OrderID", "int"], ["CustomerID", "nchar(5)"], ["OrderDate", "datetime"], ["ShippedDate", "datetime"]],
   "primary_key": {"name": "PK_Orders", "columns": ["OrderID"]},
   "rows": [[10400, "ALFKI", "1997-01-01 00:00:00", "1997-01-16 00:00:00"], [10401, "BONAP", "1996-12-30 00:00:00", "1997-01-02 00:00:00"],
            [10402, "ALFKI", "1998-01-02 00:00:00", null]]},
  {"name": "Order Details", "columns": [["OrderID", "int"], ["ProductID", "int"], ["UnitPrice", "money"],
     ["Quantity", "smallint"], ["Discount", "real"]],
   "primary_key": {"name": "PK_Order_Details", "columns": ["OrderID", "ProductID"]},
   "rows": [[10400, 1, 14.4, 21, 0.0], [10400, 11, 16.8, 35, 0.25], [10401, 24, 3.6, 18, 0.2], [10402, 1, 18.0, 60, 0.1]]}],
 "objects": [
  {"schema": "dbo", "name": "Alphabetical list of products", "type": "VIEW",
   "definition": "create view \"Alphabetical list of products\" AS\nSELECT Products.*, Categories.CategoryName\nFROM Categories INNER JOIN Products ON Categories.CategoryID = Products.CategoryID\nWHERE (((Products.Discontinued)=0))\n"},
  {"schema": "dbo", "name": "Customer and Suppliers by City", "type": "VIEW",
   "definition": "create view \"Customer and Suppliers by City\" AS\nSELECT City, CompanyName, 'Customers' AS Relationship \nFROM Customers\nUNION SELECT City, CompanyName, 'Suppliers'\nFROM Suppliers\n--ORDER BY City, CompanyName\n"},
  {"schema": "dbo", "name": "Products Above Average Price", "type": "VIEW",
   "definition": "create view \"Products Above Average Price\" AS\nSELECT Products.ProductName, Products.UnitPrice\nFROM Products\nWHERE Products.UnitPrice>(SELECT AVG(UnitPrice) From Products)\n--ORDER BY Products.UnitPrice DESC\n"},
  {"schema": "dbo", "name": "Quarterly Orders", "type": "VIEW",
   "definition": "create view \"Quarterly Orders\" AS\nSELECT DISTINCT Customers.CustomerID, Customers.CompanyName, Customers.City\nFROM Customers RIGHT JOIN Orders ON Customers.CustomerID = Orders.CustomerID\nWHERE Orders.OrderDate BETWEEN '19970101' And '19971231'\n"},
  {"schema": "dbo", "name": "Product Sales for 1997", "type": "VIEW",
   "definition": "create view \"Product Sales for 1997\" AS\nSELECT Categories.CategoryName, Products.ProductName, \nSum(CONVERT(money,(\"Order Details\".UnitPrice*Quantity*(1-Discount)/100))*100) AS ProductSales\nFROM (Categories INNER JOIN Products ON Categories.CategoryID = Products.CategoryID) \n\tINNER JOIN (Orders \n\t\tINNER JOIN \"Order Details\" ON Orders.OrderID = \"Order Details\".OrderID) \n\tON Products.ProductID = \"Order Details\".ProductID\nWHERE (((Orders.ShippedDate) Between '19970101' And '19971231'))\nGROUP BY Categories.CategoryName, Products.ProductName\n"},
  {"schema": "dbo", "name": "Order Dates", "type": "VIEW",
   "definition": "CREATE VIEW [Order Dates] AS SELECT OrderID, CONVERT(varchar(10), OrderDate, 120) AS Day, CONVERT(char(8), OrderDate, 112) AS Compact, CONVERT(varchar(10), ShippedDate, 103) AS British, CONVERT(varchar(23), OrderDate, 121) AS [Full], CONVERT(varchar(8), OrderDate, 108) AS Clock FROM Orders"},
  {"schema": "dbo", "name": "Second Product", "type": "VIEW",
   "definition": "CREATE VIEW [Second Product] AS SELECT ProductID, CONCAT(ProductName, N' #', ProductID) AS Label, IIF(Discontinued = 1, N'gone', N'sold') AS State FROM Products ORDER BY ProductID OFFSET 1 ROWS FETCH NEXT 1 ROWS ONLY"},
  {"schema": "dbo", "name": "Ranked Products", "type": "VIEW",
   "definition": "CREATE VIEW [Ranked Products] AS SELECT ProductName, RANK() OVER (ORDER BY UnitPrice DESC) AS PriceRank, SUM(UnitPrice) OVER (PARTITION BY CategoryID) AS CategoryTotal FROM Products"},
  {"schema": "dbo", "name": "Category Sales for 1997", "type": "VIEW",
   "definition": "create view \"Category Sales for 1997\" AS\nSELECT \"Product Sales for 1997\".CategoryName, Sum(\"Product Sales for 1997\".ProductSales) AS CategorySales\nFROM \"Product Sales for 1997\"\nGROUP BY \"Product Sales for 1997\".CategoryName\n"}]
})json";

class TradingViewsTest : public testsupport::EndpointFixture {
 protected:
  TradingViewsTest() : EndpointFixture(kTrading) {}
};

}  // namespace

TEST_F(TradingViewsTest, TheSamplesViewsGiveTheSamplesAnswers) {
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_EQ(host.summary.find("Not carried over"), std::string::npos) << host.summary;
  ado::Connection& c = Target();
  EXPECT_EQ(Rows(c, "SELECT \"ProductID\", \"ProductName\", \"CategoryName\" FROM \"Alphabetical list of products\" ORDER BY 1"),
            (Table{{"1", "Chai", "Beverages"}, {"11", "Queso Cabrales", "Dairy Products"}}));
  EXPECT_EQ(Rows(c, "SELECT * FROM \"Customer and Suppliers by City\" ORDER BY 1"),
            (Table{{"Berlin", "Alfreds Futterkiste", "Customers"}, {"London", "Exotic Liquids", "Suppliers"},
                   {"Marseille", "Bon app'", "Customers"}}));
  EXPECT_EQ(Rows(c, "SELECT * FROM \"Products Above Average Price\" ORDER BY 1"),
            (Table{{"Chai", "18.0000"}, {"Queso Cabrales", "21.0000"}}));
  EXPECT_EQ(Rows(c, "SELECT \"CustomerID\" FROM \"Quarterly Orders\""), (Table{{"ALFKI"}}));
  // 14.40 * 21 = 302.40; 16.80 * 35 * 0.75 = 441.00; 3.60 * 18 * 0.8 = 51.84 (shipped in 1997, ordered in 1996).
  EXPECT_EQ(Rows(c, "SELECT * FROM \"Product Sales for 1997\" ORDER BY 2"),
            (Table{{"Beverages", "Chai", "302.4000"}, {"Beverages", "Guarana", "51.8400"}, {"Dairy Products", "Queso Cabrales", "441.0000"}}));
  // Dates as text in the styles reports use.
  EXPECT_EQ(Rows(c, "SELECT * FROM \"Order Dates\" ORDER BY 1"),
            (Table{{"10400", "1997-01-01", "19970101", "16/01/1997", "1997-01-01 00:00:00.000", "00:00:00"},
                   {"10401", "1996-12-30", "19961230", "02/01/1997", "1996-12-30 00:00:00.000", "00:00:00"},
                   {"10402", "1998-01-02", "19980102", "<null>", "1998-01-02 00:00:00.000", "00:00:00"}}));
  // IIF, CONCAT and OFFSET ... FETCH.
  EXPECT_EQ(Rows(c, "SELECT * FROM \"Second Product\""), (Table{{"11", "Queso Cabrales #11", "sold"}}));
  // Window functions, which Firebird has too.
  EXPECT_EQ(Rows(c, "SELECT * FROM \"Ranked Products\" ORDER BY 2"),
            (Table{{"Queso Cabrales", "1", "21.0000"}, {"Chai", "2", "22.5000"}, {"Guarana", "3", "22.5000"}}));
  EXPECT_EQ(Rows(c, "SELECT * FROM \"Category Sales for 1997\" ORDER BY 1"),
            (Table{{"Beverages", "354.2400"}, {"Dairy Products", "441.0000"}}));
}
