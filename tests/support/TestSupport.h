#pragma once
#include <string>
#include <vector>

#include "connectivity/core/Ado.h"
#include "connectivity/firebird/FireBird.h"
#include "connectivity/sqlserver/MSSQL.h"

namespace testsupport {

// A folder removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The full path of an installed ODBC driver library ("libtdsodbc.so"); throws when it is not there.
std::string FindOdbcDriverLibrary(const std::string& file);

// Points unixODBC at a private driver list in which "SQL Server" is the given driver library
// ("sqlite" for the SQLite ODBC driver, "freetds" for FreeTDS). Call before the first ODBC call.
void RegisterSqlServerDriver(const std::string& which);

// A fresh embedded Firebird database (SYSDBA, password "masterkey"), and its login.
FireBird::Login NewFirebirdDatabase(const TempDir& dir, const std::string& name = "target.fdb");
std::string FirebirdString(const FireBird::Login& login);

// A SQLite file reached through the ODBC driver registered as "SQL Server"; `setup` statements run on it.
MSSQL::Login NewSqliteSource(const TempDir& dir, const std::vector<std::string>& setup,
                             const std::string& name = "source.db");

// Runs a query on a Firebird database and returns every row as texts (NULL as "<null>").
std::vector<std::vector<std::string>> Rows(ado::Connection& conn, const std::string& sql);

// Waits until the file holds `text` (an endpoint's log naming a statement it holds); false when it
// does not within the time.
bool WaitForText(const std::string& path, const std::string& text, int timeoutMs = 30000);

// A socket listening on a free loopback port; its port goes to `port`.
int ListenOnLoopback(int backlog, int& port);

// A process started with arguments, stopped (SIGTERM, then SIGKILL) when the object goes.
class Process {
 public:
  explicit Process(const std::vector<std::string>& argv);
  ~Process();
  // First line the process printed on its standard output (the next one on each call).
  std::string FirstLine();
  void Signal(int sig);
  // The exit status once it ended within the time (as waitpid gives it), or -1.
  int Wait(int timeoutMs);
  int Pid() const { return pid_; }

 private:
  int pid_ = -1;
  int out_ = -1;
};

// The TDS endpoint on a free loopback port with a catalogue written by the test.
class TdsEndpoint {
 public:
  TdsEndpoint(const TempDir& dir, const std::string& catalogJson);
  int Port() const { return port_; }
  MSSQL::Login Login(const std::string& password) const;

 private:
  Process* proc_ = nullptr;
  int port_ = 0;

 public:
  ~TdsEndpoint();
};

// The Firebird server program of the firebird3.0-server package, started on a free port for one test
// and stopped with it. Its databases are reached as "localhost/PORT:path" with SYSDBA's password,
// which the package keeps in SYSDBA.password of its configuration folder.
class FirebirdServer {
 public:
  // Why no server can be started here (no package, or its password file cannot be read); empty when
  // one can.
  static std::string Unavailable();
  FirebirdServer();
  ~FirebirdServer();
  int Port() const { return port_; }
  const std::string& Password() const { return password_; }
  // The attach string of a file through this server.
  std::string Through(const std::string& path) const;
  // A fresh database file, created through the server, and its login.
  FireBird::Login NewDatabase(const TempDir& dir, const std::string& name = "server.fdb") const;
  // Ends the server at once, as a crash would.
  void Kill();

 private:
  TempDir root_;  // its configuration, security database and lock folder
  Process* proc_ = nullptr;
  int port_ = 0;
  std::string password_;
};

}  // namespace testsupport
