// Firebird's own types, the user's casts, and empty values kept apart from NULL: converted through FreeTDS
// and checked in Firebird's system tables and values.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::Rows;
using Table = std::vector<std::vector<std::string>>;

namespace {

const float kReals[] = {1.5f, 0.1f, 3.4028235e38f, -2.5e-10f, 16777215.0f, 1.17549435e-38f, 0.3333333f, -7.0f};

std::string RealRows() {
  std::string rows;
  for (size_t i = 0; i < std::size(kReals); ++i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s[%zu, %.9g]", i ? ", " : "", i, static_cast<double>(kReals[i]));
    rows += buf;
  }
  return rows;
}

const std::string kCatalog = R"J({"database": "shop", "password": "pw", "tables": [
  {"name": "People", "columns": [["Id", "int"], ["Name", "nvarchar(40)"], ["Born", "time(3)"], ["Seen", "time"],
     ["Stamp", "datetime2"]],
   "rows": [[1, "Zoë", "12:34:56.123", "01:02:03.1234567", "2020-01-02 03:04:05.1234567"],
            [2, "Anna", "00:00:00", "00:00:00", "2020-01-02 00:00:00"],
            [3, "Émile", null, null, null], [4, "bob", "23:59:59.999", "23:59:59.9999999", "9999-12-31 23:59:59.9999999"]]},
  {"name": "Amounts", "columns": [["Id", "int"], ["Total", "decimal(38,4)"]],
   "rows": [[1, "1.5"], [2, "123456789012345678901234567890.1234"], [3, null], [4, "-0.0001"]]},
  {"name": "Moments", "columns": [["Id", "int"], ["At", "datetimeoffset"]],
   "rows": [[1, "2001-05-03T14:05:09.1234+02:00"], [2, "2001-12-31T23:30:00-01:00"], [3, null]]},
  {"name": "Reals", "columns": [["Id", "int"], ["R", "real"]], "rows": [)J" + RealRows() + R"J(]},
  {"name": "Empties", "columns": [["Id", "int"], ["nv", "nvarchar(10)"], ["v", "varchar(10)"], ["nc", "nchar(2)"],
     ["nvm", "nvarchar(max)"], ["vm", "varchar(max)"], ["vb", "varbinary(10)"], ["vbm", "varbinary(max)"],
     ["must", "nvarchar(5)"], ["mustb", "varbinary(5)"]],
   "not_null": ["must", "mustb"],
   "rows": [[1, "", "", "  ", "", "", "", "", "", ""],
            [2, null, null, null, null, null, null, null, "x", "01"],
            [3, "a", "b", "cd", "e", "f", "0A", "0B", "y", "02"]]}]})J";

class TypesTest : public ::testing::Test {
 protected:
  void SetUp() override { host.sql = endpoint.Login("pw"); }

  // Converts into a fresh database, executing at once or through the preview's literal statements.
  ado::Connection& Convert(const std::string& file, bool literal) {
    host.fb = testsupport::NewFirebirdDatabase(dir, file);
    host.preview = literal;
    host.onPreview = [](testsupport::HeadlessHost& h) {
      for (const auto& r : testsupport::ExecuteScript(h)) ADD_FAILURE() << r;
    };
    conversion::ConversionRun(host).Run(host.Options());
    fb = std::make_unique<ado::Connection>();
    fb->Open(FireBird::ConnectionString(host.fb));
    return *fb;
  }

  // Firebird's field type, length in characters and character set of a column.
  Table TypeOf(const std::string& table, const std::string& column) {
    return Rows(*fb, "SELECT F.RDB$FIELD_TYPE, F.RDB$CHARACTER_LENGTH, TRIM(C.RDB$CHARACTER_SET_NAME) FROM "
                     "RDB$RELATION_FIELDS R JOIN RDB$FIELDS F ON F.RDB$FIELD_NAME = R.RDB$FIELD_SOURCE LEFT JOIN "
                     "RDB$CHARACTER_SETS C ON C.RDB$CHARACTER_SET_ID = F.RDB$CHARACTER_SET_ID WHERE "
                     "R.RDB$RELATION_NAME = '" + table + "' AND R.RDB$FIELD_NAME = '" + column + "'");
  }

  testsupport::TempDir dir;
  testsupport::TdsEndpoint endpoint{dir, kCatalog};
  testsupport::HeadlessHost host;
  std::unique_ptr<ado::Connection> fb;
};

}  // namespace

TEST_F(TypesTest, TextNumbersAndTimesArriveAsFirebirdsOwnTypes) {
  for (bool literal : {false, true}) {
    SCOPED_TRACE(literal ? "literal statements" : "prepared statements");
    ado::Connection& c = Convert(literal ? "literal.fdb" : "prepared.fdb", literal);
    // nvarchar(40): a VARCHAR of 40 UTF8 characters (type 37) that sorts as text and takes an index.
    EXPECT_EQ(TypeOf("People", "Name"), (Table{{"37", "40", "UTF8"}}));
    // Ordered as the source's case-insensitive collation orders it: alphabetically.
    EXPECT_EQ(Rows(c, "SELECT \"Name\" FROM \"People\" ORDER BY \"Name\""), (Table{{"Anna"}, {"bob"}, {"Émile"}, {"Zoë"}}));
    EXPECT_NO_THROW(c.Execute("CREATE INDEX IX_PEOPLE_NAME ON \"People\" (\"Name\")"));
    // time(3) is a TIME (13) with its milliseconds; time(7) and datetime2(7) are TIME and TIMESTAMP (35),
    // their digits past ten-thousandths cut (never rounded: the last moment of a day stays in it), counted
    // and named, and no row is lost for them.
    EXPECT_EQ(TypeOf("People", "Born")[0][0], "13");
    EXPECT_EQ(Rows(c, "SELECT EXTRACT(MILLISECOND FROM \"Born\") FROM \"People\" ORDER BY \"Id\""),
              (Table{{"123.0"}, {"0.0"}, {"<null>"}, {"999.0"}}));
    EXPECT_EQ(TypeOf("People", "Seen")[0][0], "13");
    EXPECT_EQ(TypeOf("People", "Stamp")[0][0], "35");
    EXPECT_EQ(Rows(c, "SELECT CAST(\"Seen\" AS VARCHAR(20)), CAST(\"Stamp\" AS VARCHAR(30)) FROM \"People\" ORDER BY \"Id\""),
              (Table{{"01:02:03.1234", "2020-01-02 03:04:05.1234"},
                     {"00:00:00.0000", "2020-01-02 00:00:00.0000"},
                     {"<null>", "<null>"},
                     {"23:59:59.9999", "9999-12-31 23:59:59.9999"}}));
    EXPECT_EQ(Rows(c, "SELECT COUNT(*) FROM \"People\" WHERE \"Stamp\" < CURRENT_TIMESTAMP"), (Table{{"2"}}));
    for (const char* column : {"Seen", "Stamp"})
      EXPECT_NE(host.summary.find(std::string("column \"") + column + "\": 2 values had digits past 1/10000 s, kept to 1/10000 s"),
                std::string::npos)
          << host.summary;
    // real is a FLOAT (10) holding the source's very value.
    EXPECT_EQ(TypeOf("Reals", "R")[0][0], "10");
    const auto reals = Rows(c, "SELECT \"R\" FROM \"Reals\" ORDER BY \"Id\"");
    ASSERT_EQ(reals.size(), std::size(kReals));
    for (size_t i = 0; i < reals.size(); ++i) EXPECT_EQ(std::stof(reals[i][0]), kReals[i]) << i;
    // Ordered as numbers, not as text.
    EXPECT_EQ(Rows(c, "SELECT FIRST 1 \"Id\" FROM \"Reals\" ORDER BY \"R\" DESC")[0][0], "2");
    // decimal(38,4): the value past 18 digits is rejected and named, the others arrive.
    EXPECT_EQ(Rows(c, "SELECT \"Id\", \"Total\" FROM \"Amounts\" ORDER BY \"Id\""),
              (Table{{"1", "1.5000"}, {"3", "<null>"}, {"4", "-0.0001"}})) << host.summary;
    EXPECT_NE(host.summary.find("row 2: The value 123456789012345678901234567890.1234 does not fit"), std::string::npos)
        << host.summary;
  }
}

TEST_F(TypesTest, EmptyIsNeverNull) {
  for (bool literal : {false, true}) {
    SCOPED_TRACE(literal ? "literal statements" : "prepared statements");
    ado::Connection& c = Convert(literal ? "literal.fdb" : "prepared.fdb", literal);
    EXPECT_NE(host.summary.find("Table \"Empties\": 3 rows read, 3"), std::string::npos) << host.summary;
    const std::string lengths =
        "SELECT OCTET_LENGTH(\"nv\"), OCTET_LENGTH(\"v\"), OCTET_LENGTH(\"nc\"), OCTET_LENGTH(\"nvm\"), "
        "OCTET_LENGTH(\"vm\"), OCTET_LENGTH(\"vb\"), OCTET_LENGTH(\"vbm\"), OCTET_LENGTH(\"must\"), "
        "OCTET_LENGTH(\"mustb\") FROM \"Empties\" ORDER BY \"Id\"";
    EXPECT_EQ(Rows(c, lengths), (Table{{"0", "0", "2", "0", "0", "0", "0", "0", "0"},
                                      {"<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "<null>", "1", "1"},
                                      {"1", "1", "2", "1", "1", "1", "1", "1", "1"}}));
    // The empty values are values: IS NULL finds only the row that held NULL.
    EXPECT_EQ(Rows(c, "SELECT \"Id\" FROM \"Empties\" WHERE \"nvm\" IS NULL OR \"vbm\" IS NULL"), (Table{{"2"}}));
  }
}

TEST_F(TypesTest, ClassicRulesAndCasts) {
  host.rules = conversion::TypeRules::Classic;
  ado::Connection& classic = Convert("classic.fdb", false);
  EXPECT_EQ(TypeOf("People", "Name")[0][0], "261");  // a blob
  EXPECT_EQ(TypeOf("Reals", "R")[0][0], "37");       // text
  EXPECT_EQ(Rows(classic, "SELECT \"R\" FROM \"Reals\" WHERE \"Id\" = 0")[0][0], "1.5");

  // A column cast keeps the wide decimal whole as text; a type cast makes every real a DOUBLE PRECISION.
  host.rules = conversion::TypeRules::Firebird;
  host.casts = {"Amounts.Total=VARCHAR(60)", "real=DOUBLE PRECISION", "datetimeoffset=TIMESTAMP", "Nobody.Nothing=INTEGER"};
  ado::Connection& cast = Convert("cast.fdb", false);
  EXPECT_EQ(TypeOf("Amounts", "Total"), (Table{{"37", "60", "UTF8"}}));
  EXPECT_EQ(TypeOf("Reals", "R")[0][0], "27");
  EXPECT_EQ(Rows(cast, "SELECT \"Total\" FROM \"Amounts\" WHERE \"Id\" = 2")[0][0], "123456789012345678901234567890.1234");
  EXPECT_NE(host.summary.find("The cast rule \"Nobody.Nothing=INTEGER\" names no column"), std::string::npos) << host.summary;
  // A datetimeoffset cast to TIMESTAMP is the instant in UTC.
  EXPECT_EQ(Rows(cast, "SELECT \"At\", EXTRACT(MILLISECOND FROM \"At\") FROM \"Moments\" ORDER BY \"Id\""),
            (Table{{"2001-05-03 12:05:09", "123.4"}, {"2002-01-01 00:30:00", "0.0"}, {"<null>", "<null>"}}));
  const auto row = std::find_if(host.datatypes.begin(), host.datatypes.end(),
                                [](const auto& r) { return r[0] == "Amounts" && r[1] == "Total"; });
  ASSERT_NE(row, host.datatypes.end());
  EXPECT_EQ((*row)[2], "cast Amounts.Total=VARCHAR(60)");

  // A type Firebird refuses stops the run before anything is written, naming the rule.
  host.casts = {"People.Name=VARCHAR(10) CHARACTER SET NOSUCHSET"};
  host.shown.clear();
  ado::Connection& refused = Convert("refused.fdb", false);
  ASSERT_EQ(host.shown.size(), 1u);
  EXPECT_NE(host.shown[0].find("People.Name=VARCHAR(10) CHARACTER SET NOSUCHSET"), std::string::npos);
  EXPECT_EQ(Rows(refused, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0")[0][0], "0");
}

TEST_F(TypesTest, CommandLineCastsAndTheirErrors) {
  auto fb = testsupport::NewFirebirdDatabase(dir);
  setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
  setenv("TYPES_PW", "pw", 1);
  setenv("FB_PW", "masterkey", 1);
  auto run = [&](std::vector<std::string> more) {
    std::vector<std::string> args{TARNWICK_EXE, "convert", "--server", "127.0.0.1", "--port",
                                  std::to_string(endpoint.Port()), "--user", "sa", "--database", "shop",
                                  "--password-env", "TYPES_PW", "--firebird", fb.database, "--firebird-password-env",
                                  "FB_PW", "--overwrite", "yes"};
    args.insert(args.end(), more.begin(), more.end());
    testsupport::Process p(args);
    const int status = p.Wait(60000);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  auto tables = [&] {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    return Rows(c, "SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0")[0][0];
  };
  for (const char* bad : {"Orders.Total", "=INTEGER", "Amounts.Total=NUMBERX", "Amounts.Total=NUMERIC(30,2)",
                          "People.Name=VARCHAR(10) CHARACTER SET NOSUCHSET"}) {
    EXPECT_EQ(run({"--cast", bad}), 2) << bad;
    EXPECT_EQ(tables(), "0") << bad;
  }
  EXPECT_EQ(run({"--type-rules", "modern"}), 2);
  // The classic rules make datetime2(7) a TIMESTAMP as well: its values with digits past ten-thousandths
  // are kept to ten-thousandths, and no row is rejected for them.
  EXPECT_EQ(run({"--cast", "Amounts.Total=VARCHAR(60)", "--type-rules", "classic"}), 0);
  ado::Connection c;
  c.Open(FireBird::ConnectionString(fb));
  EXPECT_EQ(Rows(c, "SELECT \"Total\" FROM \"Amounts\" WHERE \"Id\" = 2")[0][0], "123456789012345678901234567890.1234");
  EXPECT_EQ(Rows(c, "SELECT \"Id\", CAST(\"Stamp\" AS VARCHAR(30)) FROM \"People\" ORDER BY 1"),
            (Table{{"1", "2020-01-02 03:04:05.1234"}, {"2", "2020-01-02 00:00:00.0000"}, {"3", "<null>"},
                   {"4", "9999-12-31 23:59:59.9999"}}));
}
