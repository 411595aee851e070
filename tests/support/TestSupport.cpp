#include "support/TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "connectivity/firebird/FirebirdBackend.h"

namespace testsupport {

TempDir::TempDir() {
  char tmpl[] = "/tmp/tarnwick-test-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string FindOdbcDriverLibrary(const std::string& file) {
  // Debian keeps ODBC drivers in the multiarch folder's odbc/ (x86_64-linux-gnu, aarch64-linux-gnu, ...).
  namespace fs = std::filesystem;
  std::vector<fs::path> dirs;
  std::error_code ec;
  for (const char* root : {"/usr/lib", "/usr/local/lib", "/usr/lib64"}) {
    dirs.emplace_back(fs::path(root) / "odbc");
    dirs.emplace_back(root);
    for (const auto& e : fs::directory_iterator(root, ec))
      if (e.is_directory(ec) && e.path().filename().string().find("-linux-") != std::string::npos)
        dirs.push_back(e.path() / "odbc");
  }
  for (const auto& d : dirs)
    if (fs::exists(d / file, ec)) return (d / file).string();
  throw std::runtime_error("ODBC driver library " + file + " not found; run scripts/install-deps.sh");
}

void RegisterSqlServerDriver(const std::string& which) {
  static TempDir dir;
  const std::string lib = FindOdbcDriverLibrary(which == "freetds" ? "libtdsodbc.so" : "libsqlite3odbc.so");
  std::ofstream(dir.File("odbcinst.ini")) << "[SQL Server]\nDescription=test driver\nDriver=" << lib << "\n";
  std::ofstream(dir.File("odbc.ini")) << "";
  setenv("ODBCSYSINI", dir.Path().c_str(), 1);
  setenv("ODBCINSTINI", "odbcinst.ini", 1);
  setenv("ODBCINI", dir.File("odbc.ini").c_str(), 1);
}

FireBird::Login NewFirebirdDatabase(const TempDir& dir, const std::string& name) {
  const std::string path = dir.File(name);
  ado::CreateFirebirdDatabase(path, "SYSDBA", "masterkey");
  return {path, "SYSDBA", "masterkey"};
}

std::string FirebirdString(const FireBird::Login& login) { return FireBird::ConnectionString(login); }

MSSQL::Login NewSqliteSource(const TempDir& dir, const std::vector<std::string>& setup, const std::string& name) {
  MSSQL::Login login{"localhost", "1433", dir.File(name), "sa", "secret", false};
  ado::Connection conn;
  conn.Open(MSSQL::ConnectionString(login));
  for (const auto& s : setup) conn.Execute(s);
  conn.Close();
  return login;
}

std::vector<std::vector<std::string>> Rows(ado::Connection& conn, const std::string& sql) {
  std::vector<std::vector<std::string>> out;
  ado::Recordset rs(conn.Active().Query(sql));
  while (!rs.Eof()) {
    std::vector<std::string> row;
    for (int i = 0; i < rs.FieldCount(); ++i) {
      const ado::Value& v = rs.Fields(i).value;
      row.push_back(v.IsNull() ? "<null>" : v.ToString());
    }
    out.push_back(row);
    rs.MoveNext();
  }
  return out;
}

bool WaitForText(const std::string& path, const std::string& text, int timeoutMs) {
  for (int waited = 0;; waited += 20) {
    std::ifstream in(path);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (all.find(text) != std::string::npos) return true;
    if (waited >= timeoutMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

int ListenOnLoopback(int backlog, int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0)
    throw std::runtime_error("no loopback listener");
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  port = ntohs(a.sin_port);
  return fd;
}

Process::Process(const std::vector<std::string>& argv) {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  pid_ = fork();
  if (pid_ == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  out_ = fds[0];
}

std::string Process::FirstLine() {
  std::string line;
  char c;
  while (read(out_, &c, 1) == 1 && c != '\n') line += c;
  return line;
}

void Process::Signal(int sig) {
  if (pid_ > 0) kill(pid_, sig);
}

int Process::Wait(int timeoutMs) {
  for (int waited = 0; pid_ > 0 && waited <= timeoutMs; waited += 20) {
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

Process::~Process() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    for (int i = 0; i < 50; ++i) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  if (out_ >= 0) close(out_);
}

TdsEndpoint::TdsEndpoint(const TempDir& dir, const std::string& catalogJson) {
  const std::string cat = dir.File("catalog.json");
  std::ofstream(cat) << catalogJson;
  proc_ = new Process({"python3", TDS_ENDPOINT, "0", cat, dir.File("endpoint.log")});
  port_ = std::atoi(proc_->FirstLine().c_str());
  if (port_ <= 0) throw std::runtime_error("the TDS endpoint did not start");
}

TdsEndpoint::~TdsEndpoint() { delete proc_; }

namespace {
constexpr const char* kServerProgram = "/usr/sbin/firebird";
constexpr const char* kPasswordFile = "/etc/firebird/3.0/SYSDBA.password";
constexpr const char* kSecurityDatabase = "/var/lib/firebird/3.0/system/security3.fdb";

std::string ServerPassword() {
  std::ifstream in(kPasswordFile);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("ISC_PASSWORD=", 0) != 0) continue;
    std::string v = line.substr(13);
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return v;
  }
  return {};
}
}  // namespace

std::string FirebirdServer::Unavailable() {
  if (access(kServerProgram, X_OK) != 0) return std::string("no ") + kServerProgram + " (package firebird3.0-server)";
  if (ServerPassword().empty()) return std::string("SYSDBA's password cannot be read from ") + kPasswordFile;
  if (access(kSecurityDatabase, R_OK) != 0) return std::string("the security database ") + kSecurityDatabase + " cannot be read";
  return {};
}

namespace {
// A root folder of the server's own: the package's files by link, its configuration with a security
// database of its own (a copy of the package's, SYSDBA's password and all), and a lock folder of its
// own. Beside a Firebird service that holds the package's security database and lock folder, a second
// server refuses every login.
void MakeServerRoot(const std::string& root) {
  namespace fs = std::filesystem;
  fs::path lib;
  for (const auto& e : fs::directory_iterator("/usr/lib"))
    if (fs::exists(e.path() / "firebird/3.0/firebird.msg")) lib = e.path() / "firebird/3.0";
  if (lib.empty()) throw std::runtime_error("the Firebird server's files are not in /usr/lib/*/firebird/3.0");
  for (const char* entry : {"firebird.msg", "intl", "lib", "plugins", "UDF", "plugins.conf", "fbtrace.conf", "databases.conf"})
    if (fs::exists(lib / entry)) fs::create_symlink(fs::canonical(lib / entry), fs::path(root) / entry);
  fs::copy_file(kSecurityDatabase, fs::path(root) / "security3.fdb");
  std::ifstream in(lib / "firebird.conf");
  std::ofstream out(fs::path(root) / "firebird.conf");
  out << in.rdbuf() << "\nSecurityDatabase = " << root << "/security3.fdb\n";
  fs::create_directory(fs::path(root) / "lock");
}
}  // namespace

FirebirdServer::FirebirdServer() : password_(ServerPassword()) {
  if (!Unavailable().empty()) throw std::runtime_error("no Firebird server: " + Unavailable());
  MakeServerRoot(root_.Path());
  // A port that was free a moment ago; the server takes it.
  const int probe = ListenOnLoopback(1, port_);
  close(probe);
  proc_ = new Process({"env", "FIREBIRD=" + root_.Path(), "FIREBIRD_LOCK=" + root_.File("lock"), kServerProgram, "-p",
                       std::to_string(port_)});
  for (int waited = 0; waited < 10000; waited += 50) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port_));
    const bool up = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    if (up) return;
    if (proc_->Wait(0) != -1) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  delete proc_;
  throw std::runtime_error("the Firebird server did not start on port " + std::to_string(port_));
}

FirebirdServer::~FirebirdServer() { delete proc_; }

std::string FirebirdServer::Through(const std::string& path) const {
  return "localhost/" + std::to_string(port_) + ":" + path;
}

FireBird::Login FirebirdServer::NewDatabase(const TempDir& dir, const std::string& name) const {
  const std::string path = Through(dir.File(name));
  ado::CreateFirebirdDatabase(path, "SYSDBA", password_);
  return {path, "SYSDBA", password_};
}

void FirebirdServer::Kill() {
  if (!proc_) return;
  proc_->Signal(SIGKILL);
  proc_->Wait(5000);
}

MSSQL::Login TdsEndpoint::Login(const std::string& password) const {
  return {"127.0.0.1", std::to_string(port_), "shop", "sa", password, false};
}

}  // namespace testsupport
