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
