// A source shaped like a real application database, converted through FreeTDS into embedded Firebird
// and read back: every value arrives exactly, and what cannot arrive is named in the summary.
#include <gtest/gtest.h>

#include <algorithm>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "conversion/Names.h"
#include "conversion/Verify.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::Rows;

namespace {

std::string Json(const std::string& s) {
  std::string r = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') r += '\\', r += static_cast<char>(c);
    else if (c < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      r += buf;
    } else r += static_cast<char>(c);
  }
  return r + "\"";
}

std::string Repeat(const std::string& unit, size_t bytes) {
  std::string s;
  while (s.size() < bytes) s += unit;
  return s;
}

std::string Hex(const std::string& bytes) {
  static const char* h = "0123456789ABCDEF";
  std::string r;
  for (unsigned char c : bytes) r += h[c >> 4], r += h[c & 15];
  return r;
}

const std::string kLongA = "SalesOrderHeaderArchiveForReporting2019";
const std::string kLongB = "SalesOrderHeaderArchiveForReporting2020";
const std::string kLongCol1 = "CustomerPurchaseOrderNumberAsEntered";
const std::string kLongCol2 = "CustomerPurchaseOrderNumberAsPrinted";

class RealDataTest : public ::testing::Test {
 protected:
  void SetUp() override {
    body = "x" + Repeat("Ærø ☃ 中文 😀 it's ", 60000);
    bytes.clear();
    for (int i = 0; i < 150000; ++i) bytes += static_cast<char>((i * 7 + i / 256) & 0xFF);
    wideCell = Repeat("é", 999) + "z";  // 1000 characters, 1999 bytes
    std::string wideCols, wideRow;
    for (int i = 0; i < 60; ++i) {
      wideCols += std::string(i ? ", " : "") + "[\"w" + std::to_string(i) + "\", \"varchar(1000)\"]";
      wideRow += std::string(i ? ", " : "") + Json(wideCell);
    }
    std::string rejected;
    for (int i = 0; i < 5; ++i) rejected += ", [" + std::to_string(10 + i) + ", \"12345678901234567890123.45\"]";
    const std::string json = R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Texts", "columns": [["Id", "int"], ["Name", "varchar(10)"], ["Code", "nchar(10)"],
        ["Pad", "char(8)"], ["Emoji", "nvarchar(20)"], ["Nul", "varchar(20)"], ["NulLong", "nvarchar(max)"]],
       "rows": [[1, "Café Crème", "Ærø☃中文字符xy", "ab", "😀🎉 ok", )J" + Json(std::string("abc\0def", 7)) + ", " +
                             Json(std::string("\0lead", 5) + body) + R"J(],
                [2, "", null, "        ", "", null, null]]},
      {"name": ")J" + kLongA + R"J(", "columns": [["Id", "int"], [")J" + kLongCol1 + R"J(", "varchar(20)"],
        [")J" + kLongCol2 + R"J(", "varchar(20)"]], "rows": [[1, "entered", "printed"]]},
      {"name": ")J" + kLongB + R"J(", "columns": [["Id", "int"]], "rows": [[2]]},
      {"name": "Keys", "columns": [["Id", "bigint"], ["Small", "tinyint"]],
       "rows": [[9223372036854775807, 255], [-9223372036854775808, 0], [4294967296, 1]]},
      {"name": "Wide", "columns": [)J" + wideCols + R"J(], "rows": [[)J" + wideRow + "], [" + wideRow + R"J(]]},
      {"name": "Blobs", "columns": [["Id", "int"], ["Doc", "varchar(max)"], ["Pic", "varbinary(max)"],
        ["Stamp", "binary(8)"]],
       "rows": [[1, )J" + Json(Repeat("plain text, ", 40000)) + ", \"" + Hex(bytes) + R"J(", "0001020300FFFE10"]]},
      {"name": "Money", "columns": [["Id", "int"], ["Amount", "decimal(38,2)"]],
       "rows": [[1, "1234567890123456.78"], [2, "-0.01"], [3, "12345678901234567890123.45"])J" + rejected + R"J(]},
      {"name": "Kinds", "columns": [
         ["i", "int"], ["si", "smallint"], ["ti", "tinyint"], ["bi", "bigint"], ["b", "bit"], ["f", "float"],
         ["r", "real"], ["m", "money"], ["sm", "smallmoney"], ["dt", "datetime"], ["sdt", "smalldatetime"],
         ["dec", "decimal(12,3)"], ["nv", "nvarchar(20)"], ["v", "varchar(10)"], ["nc", "nchar(3)"],
         ["vb", "varbinary(4)"], ["bin", "binary(2)"], ["g", "uniqueidentifier"], ["d", "date"], ["t", "time"],
         ["dt2", "datetime2"], ["dto", "datetimeoffset"], ["x", "xml"], ["nt", "ntext"], ["tx", "text"],
         ["img", "image"]],
       "rows": [
         [2147483647, -32768, 255, 2147483000, true, 0.1, 1.5, "922337203685.4775", "-214748.3648",
          "2001-05-03 14:05:09.123", "2001-05-03 14:05:00", "-123456789.125", "Ærø ☃", "", "abc", "00ff10",
          "0102", "6f9619ff-8b86-d011-b42d-00c04fc964ff", "1999-12-31", "14:05:09.1234567",
          "2010-01-02 03:04:05.6789", "2001-05-03T14:05:09+02:00", "<a>x</a>", "ntext ☃", "old text", "ffd8ff"],
         [-1, 0, 0, -9000000000, false, 1.7976931348623157e308, -3.25, "0.0001", "0", "1900-01-01 00:00:00",
          "2079-06-06 23:59:00", "0.001", "", "  pad", "a", "", "0000", null, "0001-01-01", "00:00:00",
          "9999-12-31 23:59:59.9999", null, null, "", "", ""],
         [null, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null,
          null, null, null, null, null, null, null, null, null]]},
      {"name": "Systems", "columns": [["A", "int"]], "rows": [[1]]},
      {"name": "AnalysisResults", "columns": [["A", "int"]], "rows": [[2]]},
      {"name": "sysdiagrams", "columns": [["A", "int"]], "rows": [[3]]}
    ]})J";
    endpoint = std::make_unique<testsupport::TdsEndpoint>(dir, json);
    host.sql = endpoint->Login("pw");
    host.fb = testsupport::NewFirebirdDatabase(dir);
    conversion::ConversionRun(host).Run(host.Options());
    fb.Open(FireBird::ConnectionString(host.fb));
  }

  std::vector<std::vector<std::string>> Q(const std::string& sql) { return Rows(fb, sql); }

  testsupport::TempDir dir;
  std::unique_ptr<testsupport::TdsEndpoint> endpoint;
  testsupport::HeadlessHost host;
  ado::Connection fb;
  std::string body, bytes, wideCell;
};

TEST_F(RealDataTest, EveryValueArrivesExactlyAndEveryLossIsNamed) {
  // Text: accented text filling its column, padding of char(n), emoji, NUL inside and at the start.
  auto t = Q("SELECT \"Name\", \"Code\", \"Pad\", \"Emoji\", \"Nul\", \"NulLong\" FROM \"Texts\" ORDER BY \"Id\"");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0][0], "Café Crème");
  EXPECT_EQ(t[0][1], "Ærø☃中文字符xy");
  EXPECT_EQ(t[0][2], "ab      ");
  EXPECT_EQ(t[0][3], "😀🎉 ok");
  EXPECT_EQ(t[0][4], std::string("abc\0def", 7));
  EXPECT_EQ(t[0][5], std::string("\0lead", 5) + body);
  EXPECT_EQ(t[1][2], "        ");
  EXPECT_EQ(Q("SELECT CHAR_LENGTH(\"Name\") FROM \"Texts\" WHERE \"Id\" = 1")[0][0], "10");

  // Long names: shortened to 31 bytes, two that share their first 31 bytes stay two.
  auto tables = Q("SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1");
  std::vector<std::string> names;
  for (const auto& r : tables) names.push_back(r[0]);
  std::vector<std::string> archive;
  for (const auto& n : names)
    if (n.rfind("SalesOrderHeaderArchiveF", 0) == 0) archive.push_back(n);
  ASSERT_EQ(archive.size(), 2u);
  EXPECT_NE(archive[0], archive[1]);
  for (const auto& n : archive) EXPECT_LE(n.size(), 31u);
  // "SYS" inside a name is user data; the diagram table is not.
  EXPECT_NE(std::find(names.begin(), names.end(), "Systems"), names.end());
  EXPECT_NE(std::find(names.begin(), names.end(), "AnalysisResults"), names.end());
  EXPECT_EQ(std::find(names.begin(), names.end(), "sysdiagrams"), names.end());
  size_t archived = 0;
  for (const auto& n : archive) {
    auto cols = Q("SELECT TRIM(RDB$FIELD_NAME) FROM RDB$RELATION_FIELDS WHERE RDB$RELATION_NAME = '" + n +
                  "' ORDER BY RDB$FIELD_POSITION");
    if (cols.size() != 3) continue;
    ++archived;
    EXPECT_NE(cols[1][0], cols[2][0]);
    EXPECT_EQ(Q("SELECT * FROM \"" + n + "\"")[0], (std::vector<std::string>{"1", "entered", "printed"}));
  }
  EXPECT_EQ(archived, 1u);

  // 64-bit keys and the full tinyint range.
  EXPECT_EQ(Q("SELECT \"Id\", \"Small\" FROM \"Keys\" ORDER BY \"Id\""),
            (std::vector<std::vector<std::string>>{
                {"-9223372036854775808", "0"}, {"4294967296", "1"}, {"9223372036854775807", "255"}}));

  // A table too wide for one Firebird record, every column full.
  auto wide = Q("SELECT * FROM \"Wide\"");
  ASSERT_EQ(wide.size(), 2u);
  ASSERT_EQ(wide[0].size(), 60u);
  for (const auto& row : wide)
    for (const auto& v : row) EXPECT_EQ(v, wideCell);

  // Long text and a binary far over one literal; binary(8) keeps its bytes.
  auto b = Q("SELECT \"Doc\", \"Pic\", \"Stamp\" FROM \"Blobs\"");
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(b[0][0], Repeat("plain text, ", 40000));
  EXPECT_EQ(b[0][1], bytes);
  EXPECT_EQ(b[0][2], std::string("\x00\x01\x02\x03\x00\xff\xfe\x10", 8));

  // Decimals beyond 18 digits: what fits arrives digit for digit, what does not is rejected, not rounded.
  EXPECT_EQ(Q("SELECT \"Id\", \"Amount\" FROM \"Money\" ORDER BY \"Id\""),
            (std::vector<std::vector<std::string>>{{"1", "1234567890123456.78"}, {"2", "-0.01"}}));

  // Only the first rejected row of a table costs a message; the summary lists all six.
  size_t errors = 0;
  for (const auto& s : host.shown) errors += s.rfind("ERROR: ", 0) == 0;
  EXPECT_EQ(errors, 1u);
  EXPECT_EQ(host.shown.back(), "Done.");
  const std::string& sum = host.summary;
  EXPECT_NE(sum.find("Table \"Money\": 8 rows read, 2 written, 6 rejected\n    row 3: "), std::string::npos) << sum;
  for (int row = 4; row <= 8; ++row) EXPECT_NE(sum.find("    row " + std::to_string(row) + ": "), std::string::npos);
  EXPECT_NE(sum.find("Table \"Texts\": 2 rows read, 2 written, 0 rejected"), std::string::npos) << sum;
  EXPECT_NE(sum.find("table \"" + kLongA + "\" is \""), std::string::npos) << sum;
  EXPECT_NE(sum.find("table \"" + kLongB + "\" is \""), std::string::npos) << sum;
  EXPECT_NE(sum.find("\"" + kLongCol1 + "\" is \""), std::string::npos) << sum;
  EXPECT_NE(sum.find("\"sysdiagrams\": SQL Server's own diagram table"), std::string::npos) << sum;
}

// The rows executed at once go through prepared statements; the preview's literal statements, run as
// "Execute SQL" runs them, must store the very same values.
TEST_F(RealDataTest, PreparedAndLiteralStatementsStoreTheSameValues) {
  testsupport::HeadlessHost literal;
  literal.sql = endpoint->Login("pw");
  literal.fb = testsupport::NewFirebirdDatabase(dir, "literal.fdb");
  literal.preview = true;
  literal.onPreview = [](testsupport::HeadlessHost& h) {
    // Refused rows are refused as in the direct run (the decimals past 18 digits are not in the script at all).
    testsupport::ExecuteScript(h);
  };
  conversion::ConversionRun(literal).Run(literal.Options());
  ado::Connection other;
  other.Open(FireBird::ConnectionString(literal.fb));
  auto tables = Q("SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1");
  ASSERT_GE(tables.size(), 10u);
  EXPECT_EQ(tables, Rows(other, "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1"));
  for (const auto& t : tables) {
    const std::string sql = "SELECT * FROM \"" + t[0] + "\"";
    auto a = Q(sql), b = Rows(other, sql);
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b) << t[0];
  }
  // The kinds arrived, NULLs and empty values included.
  auto kinds = Q("SELECT \"f\", CAST(\"dt2\" AS VARCHAR(30)), \"img\", \"v\" FROM \"Kinds\" ORDER BY \"i\" NULLS FIRST");
  ASSERT_EQ(kinds.size(), 3u);
  EXPECT_EQ(kinds[0], (std::vector<std::string>{"<null>", "<null>", "<null>", "<null>"}));
  EXPECT_EQ(kinds[1][0], "1.7976931348623157e+308");
  EXPECT_EQ(kinds[1][1], "9999-12-31 23:59:59.9999");
  EXPECT_EQ(kinds[2][2], "\xff\xd8\xff");
  EXPECT_EQ(kinds[2][3], "");  // an empty text stays empty, apart from NULL
}

TEST_F(RealDataTest, DatatypesViewShowsTheTypesAsCreated) {
  auto type = [&](const std::string& table, const std::string& column) -> std::string {
    for (const auto& r : host.datatypes)
      if (r[0] == table && r[1] == column) return r[3];
    return "<none>";
  };
  // Text under the database's case-insensitive collation compares as it did there.
  EXPECT_EQ(type("Texts", "Name"), "VARCHAR(10) CHARACTER SET UTF8 COLLATE UNICODE_CI");
  EXPECT_EQ(type("Texts", "Emoji"), "VARCHAR(20) CHARACTER SET UTF8 COLLATE UNICODE_CI");
  EXPECT_EQ(type("Texts", "NulLong"), "BLOB SUB_TYPE TEXT CHARACTER SET UTF8 COLLATE UNICODE_CI");
  EXPECT_EQ(type("Keys", "Id"), "BIGINT");
  EXPECT_EQ(type("Blobs", "Pic"), "BLOB SUB_TYPE BINARY");
  EXPECT_EQ(type("Blobs", "Stamp"), "VARCHAR(8) CHARACTER SET OCTETS");
  // The record holds 16 of the 60 varchar(1000) columns; the rest became blobs, as the view says.
  int varchars = 0, blobs = 0;
  for (const auto& r : host.datatypes) {
    if (r[0] != "Wide") continue;
    varchars += r[3] == "VARCHAR(1000) CHARACTER SET UTF8 COLLATE UNICODE_CI";
    blobs += r[3] == "BLOB SUB_TYPE TEXT CHARACTER SET UTF8 COLLATE UNICODE_CI";
  }
  EXPECT_EQ(varchars + blobs, 60);
  EXPECT_GE(varchars, 15);
}

}  // namespace

// Read back from both databases, every table of the catalogue is identical to its source: every kind of
// column, long texts and blobs whole, wide rows, the decimal rows the run rejected expected as missing.
TEST_F(RealDataTest, EveryTableVerifiesIdentical) {
  ado::Connection ms;
  ms.Open(MSSQL::ConnectionString(host.sql));
  int verified = 0;
  std::vector<std::string> tables{"Texts", kLongA, kLongB, "Keys", "Wide", "Blobs", "Money", "Kinds", "Systems", "AnalysisResults"};
  const std::vector<std::string> targets = conversion::NameShortener::ShortenAll(tables);
  for (size_t i = 0; i < tables.size(); ++i) {
    const std::string& table = tables[i];
    const std::string& target = targets[i];
    const long long rejected = table == "Money" ? 6 : 0;
    const conversion::TableVerdict v = conversion::VerifyTable(ms, fb, {"", table}, table, target, {}, {}, rejected);
    EXPECT_TRUE(v.Identical()) << table << ": " << v.Text() << "\n" << ::testing::PrintToString(v.examples);
    ++verified;
  }
  EXPECT_EQ(verified, 10);
}
