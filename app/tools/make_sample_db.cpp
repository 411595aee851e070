// Creates the sample database that ships beside the program (SYSDBA / quillvane).
#include <cstdio>
#include <filesystem>

#include "connectivity/core/Ado.h"
#include "connectivity/firebird/FireBird.h"
#include "connectivity/firebird/FirebirdBackend.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_db OUT.fdb\n");
    return 2;
  }
  const std::string path = std::filesystem::absolute(argv[1]).string();
  try {
    std::filesystem::remove(path);
    ado::CreateFirebirdDatabase(path, "SYSDBA", "quillvane");
    ado::Connection conn;
    conn.Open(FireBird::ConnectionString({path, "SYSDBA", "quillvane"}));
    conn.Execute("CREATE TABLE \"Customers\" (\"Id\" INTEGER, \"Name\" VARCHAR(40), \"City\" VARCHAR(40))");
    conn.Execute("INSERT INTO \"Customers\" VALUES (1, 'Ada Lindqvist', 'Uppsala')");
    conn.Execute("INSERT INTO \"Customers\" VALUES (2, 'Tomas O''Reilly', 'Cork')");
    conn.Execute("CREATE TABLE \"Orders\" (\"Id\" INTEGER, \"CustomerId\" INTEGER, \"Total\" NUMERIC(18, 2), "
                 "\"Placed\" TIMESTAMP)");
    conn.Execute("INSERT INTO \"Orders\" VALUES (10, 1, 125.50, '03/14/2021 09:30:00')");
    conn.Execute("INSERT INTO \"Orders\" VALUES (11, 2, 19.99, '04/01/2021')");
    conn.Close();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sample_db: %s\n", e.what());
    return 1;
  }
  return 0;
}
