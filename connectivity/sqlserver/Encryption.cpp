#include "connectivity/sqlserver/Encryption.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>

#include "connectivity/core/Ado.h"
#include "connectivity/core/ConnString.h"
#include "connectivity/core/RuntimeFolder.h"

namespace MSSQL {

bool ParseEncrypt(std::string_view text, Encrypt& out) {
  const std::string t = ado::ToLower(text);
  if (t == "off") out = Encrypt::Off;
  else if (t == "request") out = Encrypt::Request;
  else if (t == "require") out = Encrypt::Require;
  else return false;
  return true;
}

const char* EncryptName(Encrypt e) {
  switch (e) {
    case Encrypt::Off: return "off";
    case Encrypt::Require: return "require";
    case Encrypt::Request: break;
  }
  return "request";
}

Address AddressOf(const Login& login) {
  Address a;
  if (!login.local) {
    a.host = login.server;
    a.port = std::atoi(login.port.c_str());
    return a;
  }
  // The local form names the server alone, "host\instance" or "host,port".
  std::string s = login.server;
  if (auto comma = s.find(','); comma != std::string::npos) {
    a.port = std::atoi(s.substr(comma + 1).c_str());
    s.resize(comma);
  }
  if (auto slash = s.find('\\'); slash != std::string::npos) {
    a.instance = s.substr(slash + 1);
    s.resize(slash);
  } else if (a.port == 0) {
    a.port = 1433;
  }
  a.host = s;
  return a;
}

namespace {

std::mutex confMutex;
std::string confPath;                               // empty until PrepareTlsConfig
std::map<std::string, std::string> confSections;  // name: its lines

void RemoveConfig() {
  std::lock_guard<std::mutex> lock(confMutex);
  if (!confPath.empty()) unlink(confPath.c_str());
}

// Files of earlier processes that ended without removing theirs ("tarnwick-freetds-PID.conf").
void RemoveStale(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    int pid = 0;
    char tail[8] = {};
    if (std::sscanf(e->d_name, "tarnwick-freetds-%d.con%1s", &pid, tail) != 2 || pid <= 0 || pid == getpid()) continue;
    if (kill(pid, 0) != 0 && errno == ESRCH) unlink((dir + "/" + e->d_name).c_str());
  }
  closedir(d);
}

// Writes every section into the private file, through a temporary file renamed over it.
void WriteConfig() {
  const std::string tmp = confPath + ".new";
  int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) throw ado::DbError("The private FreeTDS configuration " + tmp + " cannot be written: " + std::strerror(errno));
  std::string text = "# Written by Tarnwick for one process; removed when it ends.\n";
  for (const auto& [name, lines] : confSections) text += "[" + name + "]\n" + lines;
  const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  close(fd);
  if (!ok || rename(tmp.c_str(), confPath.c_str()) != 0) {
    unlink(tmp.c_str());
    throw ado::DbError("The private FreeTDS configuration " + confPath + " cannot be written.");
  }
}

// The section that carries the CA file to the driver; written on first use.
std::string Section(const Address& a, const std::string& caFile, bool checkHostName) {
  std::string lines = "\thost = " + a.host + "\n";
  if (!a.instance.empty()) lines += "\tinstance = " + a.instance + "\n";
  if (a.port > 0) lines += "\tport = " + std::to_string(a.port) + "\n";
  lines += "\tencryption = require\n\tca file = " + caFile + "\n";
  lines += std::string("\tcheck certificate hostname = ") + (checkHostName ? "yes" : "no") + "\n";
  const std::string name = "tarnwick-" + std::to_string(std::hash<std::string>{}(lines) & 0xffffffffu);
  PrepareTlsConfig();
  std::lock_guard<std::mutex> lock(confMutex);
  if (confPath.empty()) throw ado::DbError("No private folder can be made for the FreeTDS configuration.");
  if (confSections.emplace(name, lines).second) WriteConfig();
  return name;
}

void CheckCaFile(const std::string& caFile) {
  for (char c : caFile)
    if (c == '\n' || c == '\r') throw ado::DbError("The CA file's name cannot hold a line break.");
  if (caFile.empty() || caFile.front() != '/')
    throw ado::DbError("The CA file " + caFile + " must be given with its full path.");
  std::ifstream in(caFile);
  std::string line;
  bool pem = false;
  while (!pem && std::getline(in, line)) pem = line.rfind("-----BEGIN CERTIFICATE-----", 0) == 0;
  if (!in.is_open()) throw ado::DbError("The CA file " + caFile + " cannot be read.");
  if (!pem) throw ado::DbError("The CA file " + caFile + " holds no PEM certificate.");
}

// FreeTDS reports a connection that never reached the login (refused, unreachable, a failed handshake)
// as 08001 first; a login refused by the server starts with the server's own message.
bool ConnectionFailed(const std::string& driverText) { return driverText.rfind("[08001]", 0) == 0; }

std::string ServerPartFor(const Login& login, const std::string& quotedServer, bool checkHostName) {
  if (!login.caFile.empty()) {
    if (login.encrypt == Encrypt::Off)
      throw ado::DbError("A CA file checks the certificate of an encrypted session: encryption cannot be off with it.");
    CheckCaFile(login.caFile);
    return "Servername=" + Section(AddressOf(login), login.caFile, checkHostName) + ";Encryption=require;";
  }
  std::string s = "Server=" + quotedServer + ";";
  if (login.encrypt != Encrypt::Request) s += std::string("Encryption=") + EncryptName(login.encrypt) + ";";
  return s;
}

// Whether a login with a made-up user gets as far as the login itself (the TLS handshake succeeded).
bool HandshakeSucceeds(const Login& login, bool withCa, bool checkHostName) {
  Login probe = login;
  if (!withCa) probe.caFile.clear();
  probe.encrypt = Encrypt::Require;
  std::random_device rd;
  const std::string pwd = "x" + std::to_string(rd()) + std::to_string(rd());
  const std::string server = login.local ? login.server : login.server + "," + login.port;  // as ConnectionString
  try {
    ado::Connection c;
    c.ConnectionTimeout = kLoginTestTimeout;
    c.Open("Driver={SQL Server};" + ServerPartFor(probe, ado::QuoteValue(server, ado::BraceStyle::FreeTds), checkHostName) +
           "Uid=tarnwick-tls-probe;Pwd=" + pwd + ";");
    return true;  // a server that lets anyone in
  } catch (const ado::DbError& e) {
    return !ConnectionFailed(e.what());
  }
}

}  // namespace

void PrepareTlsConfig() {
  static std::once_flag once;
  std::call_once(once, [] {
    const std::string dir = ado::RuntimeFolder();
    if (dir.empty()) return;
    RemoveStale(dir);
    std::lock_guard<std::mutex> lock(confMutex);
    confPath = dir + "/tarnwick-freetds-" + std::to_string(getpid()) + ".conf";
    setenv("FREETDSCONF", confPath.c_str(), 1);
    std::atexit(RemoveConfig);
  });
}

std::string TlsConfigPath() {
  std::lock_guard<std::mutex> lock(confMutex);
  return confPath;
}

std::string ServerPart(const Login& login, const std::string& quotedServer) {
  return ServerPartFor(login, quotedServer, true);
}

ServerTls ProbeServer(const std::string& host, int port, int timeoutMs) {
  if (port <= 0 || host.empty()) return ServerTls::Unknown;
  addrinfo hints{}, *res = nullptr;
  hints.ai_socktype = SOCK_STREAM;
  if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &res) != 0 || !res) return ServerTls::Unreachable;
  int fd = socket(res->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  ServerTls result = ServerTls::Unreachable;
  auto wait = [&](short events) {
    pollfd p{fd, events, 0};
    return poll(&p, 1, timeoutMs) == 1 && !(p.revents & (POLLERR | POLLNVAL));
  };
  if (fd >= 0 && (connect(fd, res->ai_addr, res->ai_addrlen) == 0 || (errno == EINPROGRESS && wait(POLLOUT)))) {
    int err = 0;
    socklen_t len = sizeof err;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
    // PRELOGIN with VERSION and ENCRYPTION = ON: the answer's ENCRYPTION says what the server does.
    const unsigned char packet[] = {0x12, 0x01, 0x00, 0x1A, 0x00, 0x00, 0x01, 0x00,  // header, 26 bytes in all
                                    0x00, 0x00, 0x0B, 0x00, 0x06,                    // VERSION at 11, 6 bytes
                                    0x01, 0x00, 0x11, 0x00, 0x01,                    // ENCRYPTION at 17, 1 byte
                                    0xFF, 0x0B, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01};
    std::string answer;
    if (err == 0 && send(fd, packet, 8, MSG_NOSIGNAL) == 8 && send(fd, packet + 8, sizeof packet - 8, MSG_NOSIGNAL) > 0) {
      result = ServerTls::Unknown;
      char buf[512];
      while (wait(POLLIN)) {
        const ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n <= 0) break;
        answer.append(buf, static_cast<size_t>(n));
        const size_t whole = (static_cast<size_t>(static_cast<unsigned char>(answer[2])) << 8) |
                             static_cast<unsigned char>(answer[3]);
        if (answer.size() >= 8 && answer.size() >= whole) break;
      }
    }
    // The options follow the 8-byte header: token, offset (from the payload), length; 0xFF ends them.
    for (size_t i = 8; answer.size() > 8 && i + 5 <= answer.size() && static_cast<unsigned char>(answer[i]) != 0xFF; i += 5) {
      if (answer[i] != 0x01) continue;
      const size_t off = 8 + ((static_cast<unsigned char>(answer[i + 1]) << 8) | static_cast<unsigned char>(answer[i + 2]));
      if (off >= answer.size()) break;
      switch (static_cast<unsigned char>(answer[off])) {
        case 0x02: result = ServerTls::None; break;
        case 0x03: result = ServerTls::Forced; break;
        default: result = ServerTls::Offered; break;
      }
    }
  }
  if (fd >= 0) close(fd);
  freeaddrinfo(res);
  return result;
}

std::string ExplainRefusal(const Login& login, const std::string& driverText) {
  if (!ConnectionFailed(driverText) || !IsSqlServerDriver()) return {};
  const bool caFile = !login.caFile.empty();
  if (login.encrypt == Encrypt::Request && !caFile) return {};
  const Address a = AddressOf(login);
  const ServerTls server = ProbeServer(a.host, a.port);
  if (server == ServerTls::Unreachable) return {};
  if (login.encrypt == Encrypt::Off)
    return server == ServerTls::Forced ? "the server demands encryption, and encryption is off" : std::string();
  if (server == ServerTls::None) return "the server offers no encryption, and encryption is required";
  if (!caFile)
    return HandshakeSucceeds(login, false, false) ? std::string() : "the encrypted session with the server could not be set up";
  if (!HandshakeSucceeds(login, false, false)) return "the encrypted session with the server could not be set up";
  if (HandshakeSucceeds(login, true, false))
    return "the certificate names another host than " + a.host + " (checked against the CA file " + login.caFile + ")";
  return "the server's certificate is not signed by " + login.caFile;
}

std::string DescribeEncryption(const Login& login) {
  if (!IsSqlServerDriver()) return {};
  if (!login.caFile.empty())
    return "encrypted; the server's certificate is checked against " + login.caFile + " and must name " +
           AddressOf(login).host;
  if (login.encrypt == Encrypt::Off) return "not encrypted (encryption is off)";
  if (login.encrypt == Encrypt::Require)
    return "encrypted; the server's certificate is not checked (a CA file checks it)";
  const Address a = AddressOf(login);
  switch (ProbeServer(a.host, a.port)) {
    case ServerTls::Forced: return "encrypted, as the server demands; the server's certificate is not checked (a CA file checks it)";
    case ServerTls::Offered:
      return "only the login is encrypted: the server offers encryption without demanding it, and the rows travel in "
             "clear (encryption \"require\" encrypts them)";
    case ServerTls::None: return "not encrypted: the server offers no encryption";
    default: break;
  }
  return "encrypted only if the server demands it";
}

}  // namespace MSSQL
