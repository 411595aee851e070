#include "connectivity/MSSQL.h"

#include "connectivity/Ado.h"
#include "connectivity/ConnString.h"
#include "connectivity/OdbcBackend.h"
#include "connectivity/UiYield.h"

namespace MSSQL {

static ado::BraceStyle DriverStyle() {
  // FreeTDS reads a braced value up to its first "};" and keeps "}}" as two characters.
  std::string lib = ado::OdbcDriverLibrary("SQL Server");
  return lib.find("tdsodbc") != std::string::npos ? ado::BraceStyle::FreeTds : ado::BraceStyle::Odbc;
}

std::string ConnectionString(const Login& login) {
  ado::BraceStyle style = DriverStyle();
  auto q = [&](const std::string& v) { return ado::QuoteValue(v, style); };
  std::string server = login.local ? login.server : login.server + "," + login.port;
  return "Driver={SQL Server};Server=" + q(server) + ";Database=" + q(login.database) + ";Uid=" + q(login.user) +
         ";Pwd=" + q(login.password) + ";";
}

bool CanOpenSqlServer(const Login& login, std::string* why) {
  return ado::CanOpen([&](ado::Connection& c) { c.Open(ConnectionString(login)); }, kLoginTestTimeout, why);
}

bool IsDiagramTable(const std::string& name) {
  const std::string n = ado::ToLower(name);
  return n == "sysdiagrams" || n == "dtproperties";
}

void ListSqlServerTables(const Login& login, std::vector<std::string>& list, std::vector<std::string>* leftOut) {
  ado::Connection conn;
  conn.Open(ConnectionString(login));
  ado::Recordset rs(conn.OpenSchemaTables());
  list.clear();
  while (!rs.Eof()) {
    if (rs.Fields("TABLE_TYPE").value.ToString() == "TABLE") {
      ui::Yield();
      std::string name = rs.Fields("TABLE_NAME").value.ToString();
      if (!IsDiagramTable(name)) list.push_back(name);
      else if (leftOut) leftOut->push_back(name);
    }
    rs.MoveNext();
  }
  rs.Close();
  conn.Close();
}

std::string QuotedName(const std::string& name) {
  std::string r = "[";
  for (char ch : name) {
    r += ch;
    if (ch == ']') r += ']';
  }
  return r + "]";
}

long long CountRows(ado::Connection& conn, const std::string& table) {
  const std::string from = " FROM " + QuotedName(table);
  try {
    return conn.Active().Scalar("SELECT COUNT_BIG(*)" + from);
  } catch (const ado::DbError& e) {
    if (e.ConnectionLost()) throw;
    return conn.Active().Scalar("SELECT COUNT(*)" + from);
  }
}

}  // namespace MSSQL
