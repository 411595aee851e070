#include <gtest/gtest.h>

#include "connectivity/core/Ado.h"
#include "conversion/RowExport.h"
#include "conversion/TableDdl.h"
#include "support/TestSupport.h"

using testsupport::Rows;

// Every kind of column the ODBC source offers goes through the statement texts into Firebird and
// reads back as it was.
TEST(RoundTrip, SqliteSourceIntoFirebird) {
  testsupport::TempDir dir;
  auto source = testsupport::NewSqliteSource(
      dir, {"CREATE TABLE Mixed (I INTEGER, Small SMALLINT, Flag BIT, Amount DECIMAL(12,4), Ratio DOUBLE, "
            "Code CHAR(4), Name VARCHAR(60), Notes TEXT, Born DATE, Seen TIMESTAMP, At TIME, Blob VARBINARY(8))",
            "INSERT INTO Mixed VALUES (1, -3, 1, 1234.5678, 0.1, 'ab', 'O''Brien, Ærø ☃', 'line1\nline2', "
            "'2001-05-03', '2001-05-03 14:05:09', '14:05:09', X'00FF10')",
            "INSERT INTO Mixed VALUES (-2147483648, 32767, 0, -0.0001, -1.5e300, NULL, '3/4', '1,5', NULL, "
            "'2000-01-01 00:00:00', NULL, NULL)",
            "INSERT INTO Mixed VALUES (NULL, NULL, NULL, NULL, NULL, NULL, '', '12/30/1899', NULL, NULL, NULL, "
            "NULL)"});
  auto target = testsupport::NewFirebirdDatabase(dir);
  ado::Connection ms, fb;
  ms.Open(MSSQL::ConnectionString(source));
  fb.Open(FireBird::ConnectionString(target));
  ado::Recordset rs;
  rs.Open(conversion::SelectAllText("Mixed"), ms);
  auto ddl = conversion::BuildCreateTable("Mixed", rs, nullptr);
  fb.Execute(ddl.createTable);
  conversion::InsertBuilder builder("Mixed", ddl);
  for (; !rs.Eof(); rs.MoveNext()) fb.Execute(builder.Build(rs));
  fb.Flush();

  auto rows = Rows(fb, "SELECT * FROM \"Mixed\"");
  ASSERT_EQ(rows.size(), 3u) << ddl.createTable;
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1", "-3", "1", "1234.5678", "0.1", "ab", "O'Brien, Ærø ☃",
                                               "line1\nline2", "2001-05-03", "2001-05-03 14:05:09", "14:05:09",
                                               std::string("\x00\xff\x10", 3)}))
      << ddl.createTable;
  EXPECT_EQ(rows[1], (std::vector<std::string>{"-2147483648", "32767", "0", "-0.0001", "-1.5e+300", "<null>", "3/4",
                                               "1,5", "<null>", "2000-01-01 00:00:00", "<null>", "<null>"}));
  // Empty text stays empty, apart from NULL.
  EXPECT_EQ(rows[2][6], "");
  EXPECT_EQ(rows[2][7], "12/30/1899");
}
