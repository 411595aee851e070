// The demo source as scripts/demo/run-demo.sh starts it, converted whole into a fresh database.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "conversion/ConversionRun.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

TEST(Demo, EveryDemoTableArrivesWithEveryRow) {
  testsupport::TempDir dir;
  const std::string catalog = dir.File("demo.json");
  ASSERT_EQ(std::system(("python3 " DEMO_CATALOG " > " + catalog).c_str()), 0);
  std::stringstream json;
  json << std::ifstream(catalog).rdbuf();
  testsupport::TdsEndpoint endpoint(dir, json.str());
  testsupport::HeadlessHost host;
  host.sql = {"127.0.0.1", std::to_string(endpoint.Port()), "DemoShop", "demo", "demo", false};
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun(host).Run(host.Options());
  EXPECT_EQ(host.shown, std::vector<std::string>{"Done."});
  EXPECT_EQ(host.summary, "");
  const std::vector<std::pair<std::string, int>> want{
      {"Categories", 4},  {"Suppliers", 8},    {"Products", 12}, {"Customers", 300},
      {"Employees", 12},  {"Stores", 6},       {"Orders", 1200}, {"OrderLines", 3000},
      {"Payments", 900},  {"Reviews", 400},    {"Inventory", 72}, {"Shipments", 600}};
  ado::Connection c;
  c.Open(FireBird::ConnectionString(host.fb));
  for (const auto& [table, rows] : want)
    EXPECT_EQ(testsupport::Rows(c, "SELECT COUNT(*) FROM \"" + table + "\"")[0][0], std::to_string(rows)) << table;
  // Accented text and the picture arrive as they are.
  EXPECT_EQ(testsupport::Rows(c, "SELECT \"Name\" FROM \"Products\" WHERE \"ProductId\" = 1")[0][0], "Crème brûlée set");
  const std::string picture = testsupport::Rows(c, "SELECT \"Picture\" FROM \"Products\" WHERE \"ProductId\" = 1")[0][0];
  EXPECT_EQ(picture.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
}
