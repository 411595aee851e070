#include "connectivity/firebird/FireBird.h"

#include "connectivity/core/Ado.h"
#include "connectivity/core/ConnString.h"
#include "connectivity/core/RuntimeFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace FireBird {

std::string PrepareLockFolder() {
  constexpr const char* kShared = "/tmp/firebird";
  if (const char* own = std::getenv("FIREBIRD_LOCK"); own && *own) return {};
  // The engine makes the shared folder itself when it is not there; one that is there must let us in.
  if (access(kShared, F_OK) != 0 || access(kShared, W_OK | X_OK) == 0) return {};
  const std::string base = ado::RuntimeFolder();
  if (base.empty()) return {};
  const std::string folder = base + "/firebird-lock";
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
  setenv("FIREBIRD_LOCK", folder.c_str(), 1);
  return folder;
}

std::string ConnectionString(const Login& login) {
  auto q = [](const std::string& v) { return ado::QuoteValue(v, ado::BraceStyle::Odbc); };
  std::string inner = "Driver=Firebird/InterBase(r) driver;Dbname=" + q(login.database) + " ;CHARSET=UTF8;UID=" +
                      q(login.user) + ";Role=admin";
  return "Provider=MSDASQL.1;Password=" + q(login.password) + ";Persist Security Info=true;User ID=" + q(login.user) +
         ";Extended " + "Properties=" + ado::SqlString(inner);
}

ado::FirebirdTarget Target(const Login& login) {
  return {login.database, login.user, login.password, "UTF8", "admin"};
}

bool CanOpenFirebird(const Login& login, std::string* why) {
  return ado::CanOpen([&](ado::Connection& c) { c.Open(Target(login)); }, kLoginTestTimeout, why);
}

bool IsSystemName(const std::string& name) {
  int chars = 0;
  for (char c : name) {
    if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;  // UTF-8 continuation byte
    if (++chars == 4) return c == '$';
  }
  return false;
}

void ListFirebirdTables(const Login& login, std::vector<std::string>& list) {
  ado::Connection conn;
  conn.Open(Target(login));
  list.clear();
  ado::Recordset rs(conn.OpenSchemaTables());
  while (!rs.Eof()) {
    std::string name = rs.Fields("TABLE_NAME").value.ToString();
    if (!IsSystemName(name)) list.push_back(name);
    rs.MoveNext();
  }
  rs.Close();
  conn.Close();
}

}  // namespace FireBird
