#pragma once
#include <string>
#include <string_view>

#include "connectivity/sqlserver/MSSQL.h"

// Encrypted sessions with SQL Server through FreeTDS.
//
// FreeTDS takes the encryption level from the connection string ("Encryption=off|request|require") but
// a CA file, and with it the check of the server's certificate and host name, only from a freetds.conf
// section named by "Servername=". Such a section is written for the process into a private file (its
// folder readable by the user alone, the file removed at exit) that FREETDSCONF names; the system's
// freetds.conf is never read or changed for it.
namespace MSSQL {

// "off", "request", "require", without regard to case; false for anything else.
bool ParseEncrypt(std::string_view text, Encrypt& out);
const char* EncryptName(Encrypt e);

// What a FreeTDS connection string says about encryption and the server: "Server=host,port;" with
// "Encryption=...;" when not the default, or "Servername=SECTION;Encryption=require;" with a CA file,
// the section written first. Throws ado::DbError for a CA file that cannot be read or a choice that
// contradicts itself (a CA file with encryption off).
std::string ServerPart(const Login& login, const std::string& quotedServer);

// Points FREETDSCONF at the process's private file. Call it before threads start (it sets an
// environment variable); later calls do nothing.
void PrepareTlsConfig();
// The private file's path (it exists only once a CA file was used).
std::string TlsConfigPath();

// How the server answers a client that asks for encryption (the ENCRYPTION option of its PRELOGIN
// answer).
enum class ServerTls { Unknown, Unreachable, None, Offered, Forced };
ServerTls ProbeServer(const std::string& host, int port, int timeoutMs = 5000);

// The host and port the login reaches (port 0 when the driver finds it: a named instance).
struct Address {
  std::string host, instance;
  int port = 0;
};
Address AddressOf(const Login& login);

// Why the driver refused a login whose encryption or certificate can explain it; empty when they do
// not (the driver's own message then stands). Probes the server without sending the user's login:
// its PRELOGIN answer, and with a CA file a login with a made-up user that tells a certificate from a
// host name fault.
std::string ExplainRefusal(const Login& login, const std::string& driverText);

// One line on how the session is protected ("encrypted (TLS 1.2) ..."); empty for a source that is
// not reached through FreeTDS.
std::string DescribeEncryption(const Login& login);

}  // namespace MSSQL
