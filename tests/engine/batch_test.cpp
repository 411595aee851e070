#include <gtest/gtest.h>

#include <set>

#include "conversion/ConversionRun.h"
#include "conversion/RowBatch.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::HeadlessHost;
using testsupport::Rows;

namespace {

// The rows of a SQLite table whose Code column is too long for Firebird in the rows `bad`.
std::vector<std::string> TableWithBadRows(int rows, const std::set<int>& bad) {
  std::vector<std::string> setup{"CREATE TABLE Batch (Id INTEGER, Code VARCHAR(5))"};
  for (int i = 1; i <= rows; ++i)
    setup.push_back("INSERT INTO Batch VALUES (" + std::to_string(i) + ", '" + (bad.count(i) ? "far too long" : "ok") + "')");
  return setup;
}

struct Outcome {
  std::string summary;
  std::vector<std::vector<std::string>> ids;  // Id of every row Firebird holds, in order
  std::string distinct;
};

Outcome Convert(const std::vector<std::string>& setup, size_t batchRows) {
  testsupport::TempDir dir;
  HeadlessHost host;
  host.copyKeys = false;
  host.sql = testsupport::NewSqliteSource(dir, setup);
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  run.SetBatchRows(batchRows);
  run.Run();
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  return {host.summary, Rows(c, "SELECT \"Id\" FROM \"Batch\" ORDER BY 1"),
          Rows(c, "SELECT COUNT(DISTINCT \"Id\") FROM \"Batch\"")[0][0]};
}

}  // namespace

// A block Firebird refuses is replayed row by row: the bad row is rejected with its own number and
// message whether it stands first, in the middle or last in its block, or in the last, shorter block;
// every other row arrives once.
TEST(BatchTest, ExactlyTheBadRowsOfABlockAreRejected) {
  const std::set<int> bad{1, 57, 100, 101, 250};
  const Outcome batched = Convert(TableWithBadRows(250, bad), 0);
  EXPECT_NE(batched.summary.find("Table \"Batch\": 250 rows read, 245 written, 5 rejected"), std::string::npos)
      << batched.summary;
  for (int row : bad)
    EXPECT_NE(batched.summary.find("    row " + std::to_string(row) + ": Dynamic SQL Error\n"),
              std::string::npos)
        << row << "\n" << batched.summary;
  ASSERT_EQ(batched.ids.size(), 245u);
  EXPECT_EQ(batched.distinct, "245");
  for (const auto& r : batched.ids) EXPECT_EQ(bad.count(std::stoi(r[0])), 0u) << r[0];
  // Row by row, the same rows arrive and the same summary is given.
  const Outcome single = Convert(TableWithBadRows(250, bad), 1);
  EXPECT_EQ(single.ids, batched.ids);
  EXPECT_EQ(single.summary, batched.summary);
}

// The widest tables go in smaller blocks: 1,024 columns, every value in place.
TEST(BatchTest, AWideTableGoesInBlocksFirebirdTakes) {
  std::string create = "CREATE TABLE Batch (Id INTEGER";
  std::string values;
  for (int k = 1; k < 1024; ++k) create += ", C" + std::to_string(k) + " INTEGER";
  std::vector<std::string> setup{create + ")"};
  for (int i = 1; i <= 70; ++i) {
    std::string insert = "INSERT INTO Batch VALUES (" + std::to_string(i);
    for (int k = 1; k < 1024; ++k) insert += ", " + std::to_string(i * 10000 + k);
    setup.push_back(insert + ")");
  }
  testsupport::TempDir dir;
  HeadlessHost host;
  host.copyKeys = false;
  host.sql = testsupport::NewSqliteSource(dir, setup);
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run();
  EXPECT_EQ(host.shown, std::vector<std::string>{"Done."}) << host.summary;
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(c, "SELECT COUNT(*), SUM(\"Id\"), SUM(\"C1023\" - \"Id\" * 10000) FROM \"Batch\" WHERE \"C512\" = \"Id\" * 10000 + 512"),
            (std::vector<std::vector<std::string>>{{"70", "2485", "71610"}}));
}

TEST(BatchTest, BlockSizeStaysWithinFirebirdsLimits) {
  conversion::TableDdl ddl;
  auto column = [](long length, bool blob) {
    conversion::ColumnType c;
    c.length = length;
    c.blob = blob;
    return c;
  };
  auto rows = [&](size_t n, long length, bool blob) {
    ddl.columns.assign(n, column(length, blob));
    ddl.columnNames.assign(n, "C");
    return conversion::BatchRowsFor(ddl);
  };
  EXPECT_EQ(rows(8, 40, false), 100u);     // a usual table: the measured best
  EXPECT_EQ(rows(1024, 0, false), 2u);     // wide rows: few parameters, quick to prepare
  EXPECT_EQ(rows(30, 0, false), 68u);
  EXPECT_EQ(rows(4, 8000, false), 8u);     // long texts: the declared bytes stay near 1 MB
  EXPECT_EQ(rows(10, 8000, false), 3u);
  EXPECT_EQ(rows(40, 8000, false), 1u);    // rows past a megabyte go one by one
  EXPECT_EQ(rows(20, 0, true), 100u);      // a blob parameter is an 8-byte id
}
