// Verify through FreeTDS on tables without a key: rows that sort alike are compared as a multiset of
// whole rows, and a difference names the row's values.
#include <gtest/gtest.h>

#include "conversion/ConversionRun.h"
#include "conversion/Verify.h"
#include "support/EndpointFixture.h"

namespace {

class KeylessVerifyTest : public testsupport::EndpointFixture {
 protected:
  KeylessVerifyTest()
      : EndpointFixture(R"J({"database": "shop", "password": "pw", "tables": [
  {"name": "K2", "columns": [["F", "float"], ["S", "nvarchar(5)"]], "rows": [[-0.0, "a"], [0.0, "a"], [1.5, "b"]]},
  {"name": "Blobs", "columns": [["A", "int"], ["D", "varbinary(max)"]],
   "rows": [[1, "01"], [1, "02"], [1, "02"], [2, null]]}]})J") {}

  conversion::TableVerdict Verdict(const std::string& table) {
    ado::Connection ms;
    MSSQL::Open(ms, host.sql);
    return conversion::VerifyTable(ms, Target(), {"dbo", table}, table, table, {}, {}, 0);
  }
};

}  // namespace

// -0.0 and 0.0 are equal, as in SQL Server: the two rows arrive and verify identical.
TEST_F(KeylessVerifyTest, NegativeZeroRowsVerifyIdentical) {
  host.verify = true;
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  EXPECT_FALSE(run.VerifyFoundDifferences()) << host.summary;
  EXPECT_NE(host.summary.find("Table \"K2\": identical (3 rows)"), std::string::npos) << host.summary;
  EXPECT_NE(host.summary.find("Table \"Blobs\": identical (4 rows)"), std::string::npos) << host.summary;
  EXPECT_EQ(testsupport::Rows(Target(), "SELECT COUNT(*) FROM \"K2\" WHERE \"F\" = 0")[0][0], "2");
}

// Rows equal in every sortable column but one blob: a changed blob is a row missing and a row extra,
// each shown with its values; a duplicate gone is counted once per copy.
TEST_F(KeylessVerifyTest, ADifferenceNamesTheWholeRow) {
  conversion::ConversionRun(host).Run(host.Options());
  Target().Execute("UPDATE \"Blobs\" SET \"D\" = x'03' WHERE \"D\" = x'01'");
  Target().Execute("DELETE FROM \"Blobs\" WHERE \"D\" = x'02'");
  Target().Flush();
  const conversion::TableVerdict v = Verdict("Blobs");
  EXPECT_EQ(v.rows, 4);
  EXPECT_EQ(v.missing, 3);
  EXPECT_EQ(v.extra, 1);
  EXPECT_EQ(v.differing, 0);
  EXPECT_EQ(v.examples, (std::vector<std::string>{"row (A = 1, D = 0x01): missing in Firebird",
                                                  "row (A = 1, D = 0x02): missing in Firebird (2 times)",
                                                  "row (A = 1, D = 0x03): in Firebird only"}));
}

namespace {

// 300 rows keyed by text of mixed case and accents, listed out of order, and 300 keyed by GUIDs.
std::string TextKeyCatalog() {
  const char* const heads[] = {"apple", "Banana", "éclair", "Zebra", "österreich", "cherry", "Éden", "delta", "Ärger", "bravo"};
  std::string text, guid;
  for (int i = 0; i < 300; ++i) {
    const int k = (i * 7919) % 300;  // out of order
    text += std::string(i ? ", " : "") + "[\"" + heads[k % 10] + " " + std::to_string(k) + "\", " + std::to_string(k) + "]";
    char g[40];
    std::snprintf(g, sizeof g, "%08X-%04X-4%03X-8%03X-%012X", k * 2654435761u, k * 40503u & 0xFFFF, k & 0xFFF, (k * 7) & 0xFFF, k * 97);
    guid += std::string(i ? ", " : "") + "[\"" + g + "\", " + std::to_string(k) + "]";
  }
  return R"J({"database": "shop", "password": "pw", "tables": [
    {"name": "Words", "columns": [["W", "nvarchar(40)"], ["N", "int"]], "primary_key": {"name": "PK_W", "columns": ["W"]},
     "rows": [)J" + text + R"J(]},
    {"name": "Guids", "columns": [["G", "uniqueidentifier"], ["N", "int"]], "primary_key": {"name": "PK_G", "columns": ["G"]},
     "rows": [)J" + guid + "]}]}";
}

class TextKeyResumeTest : public testsupport::EndpointFixture {
 protected:
  TextKeyResumeTest() : EndpointFixture(catalog_.c_str()) {}
  static inline const std::string catalog_ = TextKeyCatalog();
};

}  // namespace

// A stopped copy of tables keyed by text of mixed case and accents, and by GUIDs, taken up again: the
// text-keyed table goes on after its largest key (read in binary order on both sides), the GUID-keyed
// one is replaced with the reason; every row arrives exactly once and both verify identical.
TEST_F(TextKeyResumeTest, ResumeCopiesEveryRowOnce) {
  // Tables go last to first: Guids, then Words. The first run stops in Guids, the second in Words.
  auto stopAt = [](testsupport::HeadlessHost& h, const char* table) {
    h.onRow = [&h, table](const std::string& t, long long row) {
      if (t == table && row == 120) h.stop = true;
    };
  };
  stopAt(host, "Guids");
  conversion::ConversionRun(host).Run(host.Options());
  ASSERT_NE(host.summary.find("Table \"Guids\": 120 rows read"), std::string::npos) << host.summary;

  testsupport::HeadlessHost second;
  second.sql = host.sql;
  second.fb = host.fb;
  second.resume = true;
  stopAt(second, "Words");
  conversion::ConversionRun(second).Run(second.Options());
  EXPECT_NE(second.summary.find("Table \"Guids\": 300 rows read, 300 written, 0 rejected\n    replaced, not resumed: its "
                                "first rows cannot be told: its key is a uniqueidentifier, which SQL Server orders "
                                "otherwise than Firebird holds it"),
            std::string::npos)
      << second.summary;
  ASSERT_NE(second.summary.find("Table \"Words\": 120 rows read"), std::string::npos) << second.summary;

  testsupport::HeadlessHost third;
  third.sql = host.sql;
  third.fb = host.fb;
  third.resume = true;
  third.verify = true;
  conversion::ConversionRun run(third);
  run.Run(third.Options());
  const std::string& s = third.summary;
  EXPECT_FALSE(run.VerifyFoundDifferences()) << s;
  EXPECT_NE(s.find("Table \"Words\": 300 rows read, 300 written, 0 rejected\n    resumed: 120 rows were in Firebird "
                   "already; copied from the first row after W = "),
            std::string::npos)
      << s;
  for (const char* t : {"Words", "Guids"}) {
    EXPECT_NE(s.find("Table \"" + std::string(t) + "\": identical (300 rows)"), std::string::npos) << t << "\n" << s;
    EXPECT_EQ(testsupport::Rows(Target(), "SELECT COUNT(*), COUNT(DISTINCT \"N\") FROM \"" + std::string(t) + "\""),
              (std::vector<std::vector<std::string>>{{"300", "300"}}))
        << t;
  }
}
