#include <gtest/gtest.h>

#include "connectivity/core/ConnString.h"
#include "connectivity/core/DbError.h"
#include "connectivity/core/ErrorTrap.h"
#include "connectivity/firebird/FireBird.h"
#include "connectivity/sqlserver/MSSQL.h"

using ado::ParseConnString;

TEST(SqlServerConnectionString, BothFormsAsTyped) {
  MSSQL::Login l{"db1", "1433", "shop", "sa", "pw", false};
  EXPECT_EQ(MSSQL::ConnectionString(l), "Driver={SQL Server};Server=db1,1433;Database=shop;Uid=sa;Pwd=pw;");
  l.local = true;
  l.port = "9999";
  EXPECT_EQ(MSSQL::ConnectionString(l), "Driver={SQL Server};Server=db1;Database=shop;Uid=sa;Pwd=pw;");
  l.local = false;
  l.port = "";
  EXPECT_EQ(MSSQL::ConnectionString(l), "Driver={SQL Server};Server=db1,;Database=shop;Uid=sa;Pwd=pw;");
}

TEST(SqlServerConnectionString, HostileValuesReadBackUnchanged) {
  for (std::string v : {"a;b", "{x}", "p}q", " lead", "trail ", "'quoted'", "mix;}{; "}) {
    MSSQL::Login l{"srv;1", "1433", v, v, v, false};
    auto m = ParseConnString(MSSQL::ConnectionString(l));
    EXPECT_EQ(m["pwd"], v);
    EXPECT_EQ(m["uid"], v);
    EXPECT_EQ(m["database"], v);
    EXPECT_EQ(m["server"], "srv;1,1433");
    EXPECT_EQ(m["driver"], "SQL Server");
  }
}

TEST(FirebirdConnectionString, PlainValuesAsTyped) {
  FireBird::Login l{"/data/my db.fdb", "SYSDBA", "masterkey"};
  EXPECT_EQ(FireBird::ConnectionString(l),
            "Provider=MSDASQL.1;Password=masterkey;Persist Security Info=true;User ID=SYSDBA;Extended "
            "Properties='Driver=Firebird/InterBase(r) driver;Dbname=/data/my db.fdb ;CHARSET=UTF8;UID=SYSDBA;Role=admin'");
}

TEST(FirebirdConnectionString, EveryPrintableValueRoundTrips) {
  std::string all;
  for (char c = 32; c < 127; ++c) all += c;
  for (std::string v : {all, std::string("o'brien"), std::string(" x "), std::string("}}"), std::string("a';b"),
                        std::string("'"), std::string("{")}) {
    auto outer = ParseConnString(FireBird::ConnectionString({v, v, v}));
    EXPECT_EQ(outer["password"], v);
    EXPECT_EQ(outer["user id"], v);
    auto inner = ParseConnString(outer["extended properties"]);
    EXPECT_EQ(inner["uid"], v);
    std::string db = inner["dbname"];
    ASSERT_FALSE(db.empty());
    // The blank written after the path belongs to the string, not to the path.
    if (!ado::NeedsQuoting(v)) {
      ASSERT_EQ(db.back(), ' ');
      db.pop_back();
    }
    EXPECT_EQ(db, v);
    EXPECT_EQ(inner["charset"], "UTF8");
    EXPECT_EQ(inner["role"], "admin");
  }
}

TEST(QuoteValue, FreeTdsKeepsBracesAndRefusesWhatItCannotCarry) {
  EXPECT_EQ(ado::QuoteValue("plain", ado::BraceStyle::FreeTds), "plain");
  EXPECT_EQ(ado::QuoteValue("a}b", ado::BraceStyle::FreeTds), "{a}b}");
  EXPECT_EQ(ado::QuoteValue("a}b", ado::BraceStyle::Odbc), "{a}}b}");
  EXPECT_THROW(ado::QuoteValue("x};y", ado::BraceStyle::FreeTds), ado::DbError);
}

TEST(ErrorTrap, MessageTextAndResumeNext) {
  EXPECT_EQ(trap::ApplicationErrorText("Boom", "Form1.PushButton1_Click", 104),
            "Boom\r\nin Brennhall2021/08/31.Form1.PushButton1_Click at line 104\r\rPlease email screenshot of this "
            "message to " +
                std::string(trap::kSupportEmail));
  std::vector<std::string> shown;
  trap::ErrorTrap t("Form2.Form_Load", [&](const std::string& s) { shown.push_back(s); });
  int ran = 0;
  EXPECT_FALSE(t.Step(100, [] { throw std::runtime_error("first"); }));
  EXPECT_TRUE(t.Step(102, [&] { ++ran; }));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("first\r\nin Brennhall2021/08/31.Form2.Form_Load at line 100"), std::string::npos);
  EXPECT_EQ(ran, 1);
}
