// Encrypted sessions: the TDS endpoint behind a TLS front that forces, offers or lacks encryption, with
// certificates made for the test; the run in this process and the program as a process.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "connectivity/core/Ado.h"
#include "connectivity/sqlserver/Encryption.h"
#include "conversion/ConversionRun.h"
#include "support/HeadlessHost.h"
#include "support/TestSupport.h"

using testsupport::Rows;

namespace {

const char* const kShop = R"J({"database": "shop", "password": "Se;cret", "tables": [
  {"name": "Customers", "columns": [["Id", "int"], ["Name", "nvarchar(40)"]],
   "rows": [[1, "O'Brien"], [2, "Ærø"]]}]})J";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class TlsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string certs = "bash '" + std::string(TLS_CERTS) + "' '" + dir.File("certs") + "'";
    ASSERT_EQ(std::system(certs.c_str()), 0);
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    setenv("SHOP_PASSWORD", "Se;cret", 1);
    setenv("FB_PASSWORD", "masterkey", 1);
  }

  // The TLS front on a free loopback port, in `mode` ("--force", "--offer", "--none"), with the
  // certificate `cert` (server or other-name); its log lines go to proxy.log.
  void StartProxy(const std::string& mode, const std::string& cert = "server") {
    const std::string c = dir.File("certs/" + cert);
    proxy_ = std::make_unique<testsupport::Process>(std::vector<std::string>{
        "/bin/sh", "-c", "exec python3 \"$0\" \"$@\" 2>>'" + dir.File("proxy.log") + "'", TLS_PROXY, "0",
        std::to_string(endpoint.Port()), c + ".pem", c + ".key", mode});
    port_ = std::atoi(proxy_->FirstLine().c_str());
    ASSERT_GT(port_, 0);
  }

  MSSQL::Login Login(const std::string& host = "127.0.0.1") const {
    return {host, std::to_string(port_), "shop", "sa", "Se;cret", false};
  }

  // The proxy's log, once it has written `lines` lines.
  std::string ProxyLog(size_t lines = 1) {
    std::string log;
    for (int i = 0; i < 250; ++i) {
      log = ReadAll(dir.File("proxy.log"));
      size_t n = 0;
      for (char ch : log) n += ch == '\n';
      if (n >= lines) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return log;
  }

  // Runs the program; its exit code, with what it printed on stderr in `err`.
  int Tarnwick(const std::vector<std::string>& extra, const FireBird::Login& fb, std::string& err) {
    const std::string errFile = dir.File("stderr.txt");
    std::vector<std::string> argv{"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>'" + errFile + "'", TARNWICK_EXE,
                                  "convert", "--server", "127.0.0.1", "--port", std::to_string(port_), "--user", "sa",
                                  "--database", "shop", "--password-env", "SHOP_PASSWORD", "--firebird", fb.database,
                                  "--firebird-user", "SYSDBA", "--firebird-password-env", "FB_PASSWORD",
                                  "--overwrite", "yes", "--verify", "no"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    testsupport::Process p(argv);
    const int status = p.Wait(60000);
    err = ReadAll(errFile);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static size_t UserTables(const FireBird::Login& fb) {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(fb));
    return Rows(c, "SELECT 1 FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0").size();
  }

  std::string Ca(const char* name = "ca") const { return dir.File(std::string("certs/") + name + ".pem"); }

  testsupport::TempDir dir;
  testsupport::TdsEndpoint endpoint{dir, kShop};
  std::unique_ptr<testsupport::Process> proxy_;
  int port_ = 0;
};

}  // namespace

// A server that forces encryption: the defaults convert, and the login and the rows went inside TLS.
TEST_F(TlsTest, ForcingServerConvertsWithTheDefaults) {
  StartProxy("--force");
  testsupport::HeadlessHost host;
  host.sql = Login();
  host.fb = testsupport::NewFirebirdDatabase(dir);
  conversion::ConversionRun run(host);
  run.Run(host.Options());
  ASSERT_FALSE(run.LoginFailed());
  ado::Connection fb;
  fb.Open(FireBird::ConnectionString(host.fb));
  EXPECT_EQ(Rows(fb, "SELECT \"Id\", \"Name\" FROM \"Customers\" ORDER BY 1"),
            (std::vector<std::vector<std::string>>{{"1", "O'Brien"}, {"2", "Ærø"}}));
  const std::string log = ProxyLog();
  EXPECT_NE(log.find("login=tls session=tls result=login-ok"), std::string::npos) << log;
  EXPECT_EQ(log.find("login=plain"), std::string::npos) << log;
  EXPECT_NE(MSSQL::DescribeEncryption(Login()).find("encrypted, as the server demands"), std::string::npos);
}

// "require" against a server without encryption: refused before the login is sent, exit 2, nothing
// written; "request" against a server that only offers it says that the rows travel in clear.
TEST_F(TlsTest, RequireRefusesAServerWithoutEncryption) {
  StartProxy("--none");
  auto fb = testsupport::NewFirebirdDatabase(dir);
  std::string err;
  EXPECT_EQ(Tarnwick({"--encrypt", "require"}, fb, err), 2);
  EXPECT_NE(err.find("the server offers no encryption"), std::string::npos) << err;
  EXPECT_EQ(UserTables(fb), 0u);
  const std::string log = ProxyLog();
  EXPECT_NE(log.find("client=ON"), std::string::npos) << log;
  EXPECT_EQ(log.find("login=tls"), std::string::npos) << log;
  EXPECT_EQ(log.find("login=plain"), std::string::npos) << log;
  EXPECT_EQ(MSSQL::DescribeEncryption(Login()), "not encrypted: the server offers no encryption");

  proxy_.reset();
  StartProxy("--offer");
  EXPECT_NE(MSSQL::DescribeEncryption(Login()).find("only the login is encrypted"), std::string::npos);
}

// With the right CA the certificate is checked and the run converts; the first lines say so.
TEST_F(TlsTest, RequireWithTheRightCaConverts) {
  StartProxy("--force");
  auto fb = testsupport::NewFirebirdDatabase(dir);
  std::string err;
  ASSERT_EQ(Tarnwick({"--encrypt", "require", "--ca-file", Ca()}, fb, err), 0) << err;
  EXPECT_NE(err.find("SQL Server session: encrypted; the server's certificate is checked against " + Ca()),
            std::string::npos)
      << err;
  EXPECT_EQ(UserTables(fb), 1u);
  EXPECT_EQ(ProxyLog().find("login=plain"), std::string::npos);
  // The private configuration that carried the CA file went with the process: only this test's own
  // file may be left in the folder.
  const auto folder = std::filesystem::path(MSSQL::TlsConfigPath()).parent_path();
  for (const auto& e : std::filesystem::directory_iterator(folder))
    EXPECT_EQ(e.path().string(), MSSQL::TlsConfigPath());
}

// A certificate from another CA, and one for another host, are refused with a message that names the
// certificate; the password is never sent.
TEST_F(TlsTest, WrongCaAndOtherHostAreRefused) {
  StartProxy("--force");
  auto fb = testsupport::NewFirebirdDatabase(dir);
  std::string err;
  EXPECT_EQ(Tarnwick({"--ca-file", Ca("wrong-ca")}, fb, err), 2);
  EXPECT_NE(err.find("the server's certificate is not signed by " + Ca("wrong-ca")), std::string::npos) << err;
  EXPECT_EQ(UserTables(fb), 0u);

  proxy_.reset();
  StartProxy("--force", "other-name");
  std::string why;
  MSSQL::Login login = Login("localhost");
  login.caFile = Ca();
  EXPECT_FALSE(MSSQL::CanOpenSqlServer(login, &why));
  EXPECT_EQ(why.rfind(MSSQL::kRefusedForEncryption, 0), 0u) << why;
  EXPECT_NE(why.find("the certificate names another host than localhost"), std::string::npos) << why;
  // Every connection the user's login made was refused inside the handshake; only the probes' made-up
  // user got as far as a login.
  const std::string log = ProxyLog(3);
  EXPECT_EQ(log.find("login=plain"), std::string::npos) << log;
  EXPECT_NE(log.find("tls=failed"), std::string::npos) << log;
}

// The saved settings give what the options give.
TEST_F(TlsTest, SavedSettingsActAsTheOptions) {
  StartProxy("--none");
  std::filesystem::create_directories(dir.File("Quorvane"));
  std::ofstream(dir.File("Quorvane/Quorvane.ini")) << "[Tarnwick]\nEncrypt=require\n";
  auto fb = testsupport::NewFirebirdDatabase(dir);
  std::string err;
  EXPECT_EQ(Tarnwick({}, fb, err), 2);
  EXPECT_NE(err.find("the server offers no encryption"), std::string::npos) << err;
  // The option overrides the saved level.
  EXPECT_EQ(Tarnwick({"--encrypt", "request"}, fb, err), 0) << err;
  EXPECT_NE(err.find("not encrypted: the server offers no encryption"), std::string::npos) << err;

  std::ofstream(dir.File("Quorvane/Quorvane.ini")) << "[Tarnwick]\nEncrypt=sometimes\n";
  EXPECT_EQ(Tarnwick({}, fb, err), 2);
  EXPECT_NE(err.find("Encrypt setting \"sometimes\""), std::string::npos) << err;
  EXPECT_EQ(Tarnwick({"--encrypt", "off", "--ca-file", Ca()}, fb, err), 2);
  EXPECT_NE(err.find("cannot go with --encrypt off"), std::string::npos) << err;
}

// The level and the CA file reach the connection string only as the driver reads them.
TEST(TlsConnectionString, CarriesTheChoiceAsFreeTdsReadsIt) {
  MSSQL::Login l{"db1", "1433", "shop", "sa", "pw", false};
  EXPECT_EQ(MSSQL::ConnectionString(l), "Driver={SQL Server};Server=db1,1433;Database=shop;Uid=sa;Pwd=pw;");
  l.encrypt = MSSQL::Encrypt::Require;
  EXPECT_NE(MSSQL::ConnectionString(l).find("Server=db1,1433;Encryption=require;"), std::string::npos);
  testsupport::TempDir dir;
  l.caFile = dir.File("missing.pem");
  EXPECT_THROW(MSSQL::ConnectionString(l), ado::DbError);
  std::ofstream(dir.File("ca.pem")) << "-----BEGIN CERTIFICATE-----\nMII\n-----END CERTIFICATE-----\n";
  l.caFile = dir.File("ca.pem");
  const std::string cs = MSSQL::ConnectionString(l);
  const auto section = cs.find("Servername=tarnwick-");
  ASSERT_NE(section, std::string::npos) << cs;
  EXPECT_EQ(cs.find("Server="), std::string::npos) << cs;
  const std::string conf = ReadAll(MSSQL::TlsConfigPath());
  EXPECT_NE(conf.find("\thost = db1\n\tport = 1433\n\tencryption = require\n\tca file = " + l.caFile), std::string::npos)
      << conf;
  EXPECT_EQ(conf.find("pw"), std::string::npos) << "no password in the file";
  struct stat st {};
  ASSERT_EQ(stat(MSSQL::TlsConfigPath().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 077, 0u);
  l.encrypt = MSSQL::Encrypt::Off;
  EXPECT_THROW(MSSQL::ConnectionString(l), ado::DbError);
  // A named instance in the local form reaches the section as an instance.
  MSSQL::Login local{"host\\SQLEXPRESS", "", "shop", "sa", "pw", true};
  const MSSQL::Address a = MSSQL::AddressOf(local);
  EXPECT_EQ(a.host, "host");
  EXPECT_EQ(a.instance, "SQLEXPRESS");
  EXPECT_EQ(a.port, 0);
}
