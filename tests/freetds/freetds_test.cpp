#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "connectivity/core/Ado.h"
#include "connectivity/core/ConnString.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/RowExport.h"
#include "conversion/TableDdl.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using namespace std::chrono;
using testsupport::Rows;

namespace {

// A loopback listener that accepts and reads but never answers.
class SilentListener {
 public:
  SilentListener() {
    fd_ = testsupport::ListenOnLoopback(4, port_);
    thread_ = std::thread([this] {
      pollfd p{fd_, POLLIN, 0};
      while (!stop_) {
        if (poll(&p, 1, 100) <= 0) continue;
        int c = accept(fd_, nullptr, nullptr);
        if (c < 0) continue;
        char buf[512];
        pollfd q{c, POLLIN, 0};
        while (!stop_) {
          if (poll(&q, 1, 100) <= 0) continue;
          ssize_t n = read(c, buf, sizeof buf);
          if (n <= 0) break;
          if (bytes_ == 0) firstType_ = static_cast<unsigned char>(buf[0]);
          bytes_ += n;
        }
        close(c);
      }
    });
  }
  ~SilentListener() {
    stop_ = true;
    thread_.join();
    close(fd_);
  }
  int Port() const { return port_; }
  long Bytes() const { return bytes_; }
  int FirstType() const { return firstType_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<long> bytes_{0};
  std::atomic<int> firstType_{0};
  std::thread thread_;
};

int FreePort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  close(fd);
  return ntohs(a.sin_port);
}

const char* kCatalog = R"J({"database": "shop", "password": "Secret;1",
 "tables": [
  {"name": "Customers", "columns": [["Id", "int"], ["Name", "nvarchar(40)"], ["Balance", "money"],
     ["Joined", "datetime"]],
   "rows": [[1, "O'Brien", "12.5", "2001-05-03 14:05:09"], [2, null, null, null]]},
  {"name": "Odd ] name", "columns": [["A", "int"]], "rows": [[5]]},
  {"name": "sysdiagrams", "columns": [["A", "int"]], "rows": []},
  {"name": "EasyShop", "columns": [["A", "int"]], "rows": []},
  {"name": "V", "kind": "VIEW", "columns": [["A", "int"]], "rows": []},
  {"name": "Kinds", "columns": [
     ["i", "int"], ["si", "smallint"], ["ti", "tinyint"], ["bi", "bigint"], ["b", "bit"], ["f", "float"],
     ["r", "real"], ["m", "money"], ["sm", "smallmoney"], ["dt", "datetime"], ["sdt", "smalldatetime"],
     ["dec", "decimal(12,3)"], ["big", "numeric(38,2)"], ["nv", "nvarchar(20)"], ["nvm", "nvarchar(max)"],
     ["v", "varchar(10)"], ["vm", "varchar(max)"], ["nc", "nchar(3)"], ["c", "char(3)"], ["vb", "varbinary(4)"],
     ["vbm", "varbinary(max)"], ["bin", "binary(2)"], ["g", "uniqueidentifier"], ["d", "date"], ["t", "time"],
     ["dt2", "datetime2"], ["dto", "datetimeoffset"], ["x", "xml"], ["nt", "ntext"], ["tx", "text"]],
   "rows": [
     [2147483647, -32768, 255, 2147483000, true, 0.1, 1.5, "922337203685.4775", "-214748.3648",
      "2001-05-03 14:05:09.123", "2001-05-03 14:05:00", "-123456789.125", "1234567890123456.78",
      "Ærø ☃ \u4e2d", "long ünïcode", "plain", "max text", "abc", "xyz", "00ff10", "cafebabe", "0102",
      "6f9619ff-8b86-d011-b42d-00c04fc964ff", "1999-12-31", "14:05:09.1234567", "2010-01-02 03:04:05.6789",
      "2001-05-03T14:05:09+02:00", "<a>x</a>", "ntext ☃", "old text"],
     [null, null, null, null, false, null, null, null, null, "2000-01-01 00:00:00", null, null, null, null,
      null, null, null, null, null, null, null, null, null, null, null, null, null, null, null, null]]}
 ]})J";

}  // namespace

TEST(FreeTds, RefusedPortFailsPromptly) {
  auto start = steady_clock::now();
  EXPECT_FALSE(MSSQL::CanOpenSqlServer({"127.0.0.1", std::to_string(FreePort()), "shop", "sa", "x", false}));
  EXPECT_LT(steady_clock::now() - start, seconds(10));
}

TEST(FreeTds, SilentServerTimesOutAndThePortAfterTheCommaIsUsed) {
  SilentListener silent;
  auto start = steady_clock::now();
  EXPECT_FALSE(MSSQL::CanOpenSqlServer({"127.0.0.1", std::to_string(silent.Port()), "shop", "sa", "x", false}));
  auto took = steady_clock::now() - start;
  EXPECT_LT(took, seconds(MSSQL::kLoginTestTimeout + 10));
  EXPECT_GT(silent.Bytes(), 0);
  EXPECT_EQ(silent.FirstType(), 0x12);  // TDS pre-login packet
}

class EndpointTest : public ::testing::Test {
 protected:
  testsupport::TempDir dir;
  testsupport::TdsEndpoint endpoint{dir, kCatalog};
};

TEST_F(EndpointTest, LoginWithThePasswordOnly) {
  EXPECT_TRUE(MSSQL::CanOpenSqlServer(endpoint.Login("Secret;1")));
  EXPECT_FALSE(MSSQL::CanOpenSqlServer(endpoint.Login("Secret")));
  EXPECT_EQ(MSSQL::ConnectionString(endpoint.Login("Secret;1")),
            "Driver={SQL Server};Server=127.0.0.1," + std::to_string(endpoint.Port()) +
                ";Database=shop;Uid=sa;Pwd={Secret;1};");
}

TEST(FreeTdsPasswords, AwkwardPasswordsReachTheServerIntact) {
  for (std::string pw : {"a}b", "{x", "it's", " lead", "trail ", "}", "semi;colon}"}) {
    testsupport::TempDir dir;
    std::string json = std::string(R"({"database": "shop", "password": )") + "\"" + pw + "\"" +
                       R"(, "tables": []})";
    testsupport::TdsEndpoint endpoint(dir, json);
    EXPECT_TRUE(MSSQL::CanOpenSqlServer(endpoint.Login(pw))) << "[" << pw << "]";
    EXPECT_FALSE(MSSQL::CanOpenSqlServer(endpoint.Login(pw + "x"))) << "[" << pw << "]";
  }
  EXPECT_THROW(MSSQL::ConnectionString({"h", "1", "d", "u", "a};b", false}), ado::DbError);
}

TEST_F(EndpointTest, CatalogueFilters) {
  std::vector<MSSQL::TableRef> refs;
  MSSQL::ListSqlServerTables(endpoint.Login("Secret;1"), refs);
  std::vector<std::string> list;
  for (const auto& r : refs) {
    EXPECT_EQ(r.schema, "dbo") << r.name;
    list.push_back(MSSQL::DisplayName(r));
  }
  std::sort(list.begin(), list.end());
  // sysrowsets is reported as a system table; sysdiagrams is a diagram table; EasyShop is user data.
  EXPECT_EQ(list, (std::vector<std::string>{"Customers", "EasyShop", "Kinds", "Odd ] name"}));
}

TEST_F(EndpointTest, EveryTypeArrivesInFirebird) {
  ado::Connection ms, fb;
  ms.Open(MSSQL::ConnectionString(endpoint.Login("Secret;1")));
  auto target = testsupport::NewFirebirdDatabase(dir);
  fb.Open(FireBird::ConnectionString(target));

  ado::Recordset odd;
  EXPECT_EQ(MSSQL::CountRows(ms, "Odd ] name"), 1);
  odd.Open(conversion::SelectAllText("Odd ] name"), ms);
  EXPECT_EQ(odd.Fields(0).value.integer, 5);
  odd.Close();

  ado::Recordset rs;
  EXPECT_EQ(MSSQL::CountRows(ms, "Kinds"), 2);
  rs.Open(conversion::SelectAllText("Kinds"), ms);
  auto col = [&](const char* n) -> const ado::Field& { return rs.Fields(n); };
  EXPECT_EQ(col("ti").Type, 17);
  EXPECT_EQ(col("bi").Type, 20);
  EXPECT_EQ(col("b").Type, 11);
  EXPECT_EQ(col("m").Type, 131);
  EXPECT_EQ(col("m").Precision, 19);
  EXPECT_EQ(col("m").NumericScale, 4);
  EXPECT_EQ(col("nv").Type, 202);
  EXPECT_EQ(col("nv").DefinedSize, 20);
  EXPECT_EQ(col("nvm").Type, 203);
  EXPECT_EQ(col("vm").Type, 201);
  EXPECT_EQ(col("vbm").Type, 205);
  EXPECT_EQ(col("t").Type, 134);
  EXPECT_EQ(col("x").Type, 203);
  EXPECT_EQ(col("g").Type, 72);

  auto ddl = conversion::BuildCreateTable("Kinds", rs, nullptr);
  EXPECT_NE(ddl.createTable.find("\"m\" NUMERIC(18, 4)"), std::string::npos) << ddl.createTable;
  // (max) columns are blobs, text or binary.
  EXPECT_NE(ddl.createTable.find("\"vm\" BLOB SUB_TYPE TEXT CHARACTER SET UTF8"), std::string::npos) << ddl.createTable;
  EXPECT_NE(ddl.createTable.find("\"nvm\" BLOB SUB_TYPE TEXT CHARACTER SET UTF8"), std::string::npos) << ddl.createTable;
  EXPECT_NE(ddl.createTable.find("\"vbm\" BLOB SUB_TYPE BINARY"), std::string::npos) << ddl.createTable;
  fb.Execute(ddl.createTable);
  conversion::InsertBuilder builder("Kinds", ddl);
  for (; !rs.Eof(); rs.MoveNext()) {
    const std::string& sql = builder.Build(rs);
    EXPECT_NO_THROW(fb.Execute(sql)) << sql;
  }
  fb.Flush();
  auto rows = Rows(fb, "SELECT * FROM \"Kinds\"");
  ASSERT_EQ(rows.size(), 2u);
  const std::vector<std::string> want{
      "2147483647", "-32768", "255", "2147483000", "1", "0.1", "1.5", "922337203685.4775", "-214748.3648",
      "2001-05-03 14:05:09", "2001-05-03 14:05:00", "-123456789.125", "1234567890123456.78", "Ærø ☃ 中",
      "long ünïcode", "plain", "max text", "abc", "xyz", std::string("\x00\xff\x10", 3), "\xca\xfe\xba\xbe",
      std::string("\x01\x02", 2), "6F9619FF-8B86-D011-B42D-00C04FC964FF", "1999-12-31", "14:05:09",
      "2010-01-02 03:04:05", "2001-05-03 14:05:09.0000000 +02:00", "<a>x</a>", "ntext ☃", "old text"};
  ASSERT_EQ(rows[0].size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(rows[0][i], want[i]) << "column " << i;
  EXPECT_EQ(rows[1][4], "0");
  EXPECT_EQ(rows[1][9], "2000-01-01 00:00:00");
  // time(7) and datetime2(7) are TIME and TIMESTAMP, their digits past ten-thousandths cut.
  EXPECT_EQ(Rows(fb, "SELECT CAST(\"t\" AS VARCHAR(20)), CAST(\"dt2\" AS VARCHAR(30)) FROM \"Kinds\" WHERE \"i\" = 2147483647"),
            (std::vector<std::vector<std::string>>{{"14:05:09.1234", "2010-01-02 03:04:05.6789"}}));
  // Fractions of seconds are kept to a ten-thousandth; datetime2(7) and time(7) keep all seven digits as text.
  auto frac = Rows(fb, "SELECT EXTRACT(MILLISECOND FROM \"dt\") FROM \"Kinds\" WHERE \"i\" IS NOT NULL");
  EXPECT_EQ(frac[0][0], "123.0");
}

// Texts far longer than one literal arrive whole, through the run itself.
TEST(FreeTdsLongText, MaxColumnsArriveWhole) {
  testsupport::TempDir dir;
  // The leading "x" puts a character made of two UTF-16 units across the driver's first part boundary.
  std::string body = "x";
  while (body.size() < 200000) body += "Ærø ☃ it's 😀";
  std::string json = R"J({"database": "shop", "tables": [{"name": "Long", "columns": [["Id", "int"],
      ["Body", "nvarchar(max)"], ["Old", "ntext"]], "rows": [[1, ")J" + body + "\", \"" + body + R"J("]]}]})J";
  testsupport::TdsEndpoint endpoint(dir, json);
  testsupport::HeadlessHost host;
  host.sql = endpoint.Login("any");
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_EQ(host.shown, std::vector<std::string>{"Done."});
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  auto rows = Rows(c, "SELECT \"Body\", \"Old\" FROM \"Long\"");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], body);
  EXPECT_EQ(rows[0][1], body);
}
