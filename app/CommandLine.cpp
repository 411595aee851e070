#include "app/CommandLine.h"

#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "app/TerminalEvents.h"
#include "connectivity/core/Ado.h"
#include "connectivity/core/ConnString.h"
#include "connectivity/firebird/FirebirdBackend.h"
#include "connectivity/sqlserver/Encryption.h"
#include "app/Signals.h"
#include "conversion/ConversionRun.h"
#include "conversion/Planner.h"
#include "conversion/Progress.h"
#include "conversion/Names.h"
#include "conversion/TableChoice.h"
#include "conversion/Verify.h"

namespace CommandLine {
namespace {

constexpr int kUsageError = 2;

// The signal that asked the run to stop, 0 while none has.
std::atomic<int> g_signal{0};
// Set with g_signal: what the run reads as its stop.
std::atomic<bool> g_stop{false};
class TerminalHost;
// The run's host while it runs, for the signal thread.
conversion::ConversionRun* g_run = nullptr;  // the run a signal stops
conversion::Session* g_verifySession = nullptr;  // the connections "tarnwick verify" reads, for a signal
std::mutex g_runMutex;

const char* const kHelp =
    "Usage: tarnwick                      open the window\n"
    "       tarnwick convert [OPTIONS]    copy every user table of a SQL Server database into Firebird\n"
    "       tarnwick verify [OPTIONS]     only compare: read every table back from both databases\n"
    "       tarnwick sync [OPTIONS]       bring a converted database up to date with the source\n"
    "       tarnwick --help | --version\n"
    "\n"
    "Without options, convert uses the logins saved by the window. Options override them:\n"
    "  --server NAME              SQL Server host\n"
    "  --port N                   SQL Server port (not sent with --local)\n"
    "  --local                    local connection: no port\n"
    "  --user NAME                SQL Server user\n"
    "  --database NAME            SQL Server database\n"
    "  --password-env VAR         SQL Server password from environment variable VAR\n"
    "  --encrypt off|request|require  encrypt the session with SQL Server: request (default: the\n"
    "                             saved Encrypt setting, else request) encrypts when the server asks\n"
    "                             for it, require refuses a server that cannot, before the login\n"
    "  --ca-file FILE             trusted certificates (PEM, such as /etc/ssl/certs/ca-certificates.crt):\n"
    "                             the server's certificate must chain to them and name the --server\n"
    "                             host, else the login is refused (default: the saved CaFile setting)\n"
    "  --firebird PATH            Firebird database file, or host:path on a server\n"
    "  --firebird-user NAME       Firebird user\n"
    "  --firebird-password-env VAR  Firebird password from environment variable VAR\n"
    "  --overwrite yes|no|ask     answer for tables that exist in Firebird already (default ask;\n"
    "                             ask needs a terminal)\n"
    "  --tables A,B               convert only these source tables: Schema.Table, or a table name\n"
    "                             alone when one schema has it (dbo's tables go by their name), or\n"
    "                             shell-style patterns ('Sales.*,Order*'), any case\n"
    "  --exclude A,B              leave these tables (names or patterns) out\n"
    "  --script FILE              dry run: write the statements to FILE (UTF-8) instead of executing\n"
    "  --copy-keys yes|no         carry keys, indexes, identity, NOT NULL and defaults over (default:\n"
    "                             the saved CopyKeys setting, on unless it is 0)\n"
    "  --type-rules firebird|classic  Firebird's own types (default: the saved TypeRules setting,\n"
    "                             firebird unless it says Classic) or the classic rules\n"
    "  --collations source|binary  text columns compare as the source's collations do (default:\n"
    "                             the saved Collations setting, source unless it says Binary):\n"
    "                             ..._CI_AS as UNICODE_CI, ..._CI_AI as UNICODE_CI_AI, ..._CS_AS as\n"
    "                             UNICODE, binary ones in UTF8's own order; binary keeps every text\n"
    "                             column in UTF8's binary order (so do the classic rules)\n"
    "  --cast SOURCE=TARGET       create columns of a SQL Server type (decimal, nvarchar(50)) or one\n"
    "                             column (Table.Column, Schema.Table.Column) as the Firebird type TARGET;\n"
    "                             repeatable, replaces the saved Casts setting\n"
    "  --resume                   take up a conversion that was stopped: a table Firebird holds\n"
    "                             completely (verified identical) is skipped, one holding the first\n"
    "                             rows by its one-column primary key goes on after the largest, any\n"
    "                             other is replaced; nothing is asked\n"
    "  --verify yes|no            after converting, read every converted table back from both\n"
    "                             databases and compare them value by value (default: the saved\n"
    "                             Verify setting, on unless it is 0); 1 when anything differs\n"
    "Passwords are never taken from the command line: without --password-env a terminal is asked,\n"
    "else the saved password is used.\n"
    "Exit code: 0 nothing rejected, 1 rows or statements rejected, 2 usage, login or cast rule error,\n"
    "or a script that could not be written; 128+N when signal N stopped the run (130 for Ctrl-C,\n"
    "143 for SIGTERM): the run ends after the statement in progress, with what succeeded committed\n"
    "and the summary printed; a second signal ends the program at once.\n"
    "tarnwick verify takes the same logins, --tables, --exclude, --type-rules, --collations and --cast;\n"
    "it writes nothing. Exit code: 0 every table identical, 1 some table differs or is missing in\n"
    "Firebird, 2 usage or login error.\n"
    "tarnwick sync takes the options of convert but --script and --resume. A table Firebird holds as a\n"
    "conversion makes it gets the rows it lacks and the rows that changed, and loses the rows the\n"
    "source no longer has; rows that did not change are not written. A table Firebird lacks is\n"
    "converted; one whose columns or primary key differ is named and left (--overwrite yes replaces\n"
    "it). Every table is verified afterwards unless --verify no. Exit code as convert, and 1 when a\n"
    "table is not in sync at the end.\n";

struct Options {
  std::map<std::string, std::string> values;
  bool local = false, localGiven = false;
  std::string overwrite = "ask";
  std::vector<std::string> tables, exclude;
  std::optional<std::vector<std::string>> chosen;  // the tables the run takes, as the run names them
  std::optional<std::string> script;
  std::optional<bool> copyKeys;
  std::optional<bool> verify;
  bool resume = false;
  bool sync = false;  // tarnwick sync
  std::optional<conversion::TypeRules> typeRules;
  std::optional<bool> binaryCollations;  // --collations
  std::optional<std::vector<std::string>> casts;
  bool help = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool Terminal() { return isatty(STDIN_FILENO) && isatty(STDERR_FILENO); }

std::string Prompt(const std::string& question, bool secret) {
  std::cerr << question << std::flush;
  termios old{};
  const bool hide = secret && tcgetattr(STDIN_FILENO, &old) == 0;
  if (hide) {
    termios quiet = old;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
  }
  std::string line;
  std::getline(std::cin, line);
  if (hide) {
    tcsetattr(STDIN_FILENO, TCSANOW, &old);
    std::cerr << "\n";
  }
  return line;
}

std::vector<std::string> SplitList(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == ',') {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

Options Parse(int argc, char** argv) {
  static const std::set<std::string> valued{"--server",   "--port",          "--user",
                                            "--database", "--password-env",  "--firebird",
                                            "--firebird-user", "--firebird-password-env", "--overwrite",
                                            "--tables",   "--exclude",  "--script",     "--copy-keys", "--type-rules", "--cast",
                                            "--verify", "--encrypt", "--ca-file", "--collations"};
  Options o;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    std::string value;
    bool hasValue = false;
    if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      value = a.substr(eq + 1);
      a = a.substr(0, eq);
      hasValue = true;
    }
    if (a == "--local") {
      o.local = o.localGiven = true;
      continue;
    }
    if (a == "--resume") {
      o.resume = true;
      continue;
    }
    if (a == "--help" || a == "-h") {
      o.help = true;
      continue;
    }
    if (a == "--password" || a == "--firebird-password")
      throw UsageError(a + " is not taken: give the password in an environment variable with " + a + "-env");
    if (!valued.count(a)) throw UsageError("unknown option " + a + " (see tarnwick --help)");
    if (!hasValue) {
      if (i + 1 >= argc) throw UsageError(a + " needs a value");
      value = argv[++i];
    }
    if (value.empty()) throw UsageError(a + " needs a value, and \"\" was given");
    if (a == "--overwrite") {
      if (value != "yes" && value != "no" && value != "ask") throw UsageError("--overwrite takes yes, no or ask");
      o.overwrite = value;
    } else if (a == "--encrypt") {
      MSSQL::Encrypt e;
      if (!MSSQL::ParseEncrypt(value, e)) throw UsageError("--encrypt takes off, request or require");
      o.values[a] = value;
    } else if (a == "--verify") {
      if (value != "yes" && value != "no") throw UsageError("--verify takes yes or no");
      o.verify = value == "yes";
    } else if (a == "--copy-keys") {
      if (value != "yes" && value != "no") throw UsageError("--copy-keys takes yes or no");
      o.copyKeys = value == "yes";
    } else if (a == "--tables") {
      o.tables = SplitList(value);
      if (o.tables.empty()) throw UsageError("--tables needs at least one name");
    } else if (a == "--exclude") {
      o.exclude = SplitList(value);
      if (o.exclude.empty()) throw UsageError("--exclude needs at least one name");
    } else if (a == "--script") {
      o.script = value;
    } else if (a == "--collations") {
      const std::string v = ado::ToLower(value);
      if (v != "source" && v != "binary") throw UsageError("--collations takes source or binary");
      o.binaryCollations = v == "binary";
    } else if (a == "--type-rules") {
      conversion::TypeRules rules;
      if (!conversion::ParseTypeRules(value, rules)) throw UsageError("--type-rules takes firebird or classic");
      o.typeRules = rules;
    } else if (a == "--cast") {
      if (!o.casts) o.casts.emplace();
      o.casts->push_back(value);
    } else if (a == "--port") {
      char* end = nullptr;
      errno = 0;
      const long port = std::strtol(value.c_str(), &end, 10);
      if (errno || *end || port < 1 || port > 65535)
        throw UsageError("--port takes a number from 1 to 65535, not \"" + value + "\"");
      o.values[a] = value;
    } else {
      o.values[a] = value;
    }
  }
  return o;
}

std::string FromEnv(const std::string& var) {
  const char* v = std::getenv(var.c_str());
  if (!v) throw UsageError("the environment variable " + var + " is not set");
  return v;
}

// The run's events on this terminal, as the options say.
TerminalEvents Events(const Options& o) {
  try {
    return TerminalEvents(o.overwrite, o.script, [](const std::string& question) { return Prompt(question, false); });
  } catch (const std::runtime_error& e) {
    throw UsageError(e.what());
  }
}

std::string Saved(const char* key, const char* fallback = "") {
  return Settings::Get(key, fallback).toStdString();
}

// The logins from the options, else as the window saved them, and the tables --tables and --exclude
// choose (in o.chosen); non-zero (the exit code) when the source cannot be listed.
int ReadLogins(Options& o, MSSQL::Login& sql, FireBird::Login& fb) {
  auto pick = [&](const char* option, const char* key, const char* fallback = "") {
    auto it = o.values.find(option);
    return it != o.values.end() ? it->second : Saved(key, fallback);
  };
  sql = MSSQL::Login{pick("--server", "MSSQL Server"), pick("--port", "MSSQL Port", "1433"),
                   pick("--database", "MSSQL Database"), pick("--user", "MSSQL User"), "", false};
  sql.local = o.localGiven ? o.local : Saved("Local Connection", "0") != "0";
  const std::string encrypt = pick("--encrypt", "Encrypt", "request");
  if (!MSSQL::ParseEncrypt(encrypt, sql.encrypt))
    throw UsageError("the saved Encrypt setting \"" + encrypt + "\" is none of off, request, require: give --encrypt");
  sql.caFile = pick("--ca-file", "CaFile");
  if (!sql.caFile.empty() && sql.caFile.front() != '/')
    sql.caFile = std::filesystem::absolute(sql.caFile).string();
  if (!sql.caFile.empty() && sql.encrypt == MSSQL::Encrypt::Off)
    throw UsageError("a CA file checks an encrypted session's certificate: it cannot go with --encrypt off");
  fb = FireBird::Login{pick("--firebird", "FireBirdDatabase"), pick("--firebird-user", "FireBirdUser", "SYSDBA"), ""};
  auto password = [&](const char* option, const char* key, const std::string& who) {
    if (auto it = o.values.find(option); it != o.values.end()) return FromEnv(it->second);
    if (Terminal()) return Prompt(who + " password: ", true);
    return Saved(key);
  };
  if (o.overwrite == "ask" && !o.resume && !o.sync && !Terminal())
    throw UsageError("--overwrite ask needs a terminal: give --overwrite yes or --overwrite no");
  if (fb.database.empty()) throw UsageError("no Firebird database: give --firebird PATH");
  if (sql.server.empty() && !sql.local) throw UsageError("no SQL Server: give --server NAME");
  sql.password = password("--password-env", "MSSQL Password", "SQL Server (" + sql.user + ")");
  fb.password = password("--firebird-password-env", "FireBirdPassword", "Firebird (" + fb.user + ")");

  // How the session with SQL Server is protected, said once the login is known to work; a refusal
  // (for encryption or the certificate too) ends here, before anything is written.
  if (MSSQL::IsSqlServerDriver()) {
    std::string why;
    if (!MSSQL::CanOpenSqlServer(sql, &why)) {
      std::cerr << "tarnwick: " << conversion::kSqlServerCannotOpen << " " << why << "\n";
      return kUsageError;
    }
    std::cerr << "tarnwick: SQL Server session: " << MSSQL::DescribeEncryption(sql) << "\n";
  }

  if (!o.tables.empty() || !o.exclude.empty()) {
    // Unknown names stop the run before anything is written; patterns that match nothing are named.
    std::vector<MSSQL::TableRef> listed;
    try {
      MSSQL::ListSqlServerTables(sql, listed);
    } catch (const std::exception& e) {
      std::cerr << "tarnwick: " << conversion::kSqlServerCannotOpen << " " << e.what() << "\n";
      return kUsageError;
    }
    const conversion::TableChoice choice = conversion::ChooseTables(listed, o.tables, o.exclude);
    if (!choice.error.empty()) throw UsageError(choice.error);
    for (const auto& note : choice.notes) std::cerr << "tarnwick: " << note << "\n";
    if (choice.chosen.empty()) throw UsageError("no table is left to convert");
    o.chosen = choice.chosen;
  }

  return 0;
}

// The type rules and cast rules from the options, else as saved; a malformed rule stops here.
void ReadRules(const Options& o, conversion::TypeRules& rules, std::vector<std::string>& casts) {
  rules = conversion::TypeRules::Firebird;
  if (o.typeRules) rules = *o.typeRules;
  else if (!conversion::ParseTypeRules(Settings::TypeRules().toStdString(), rules))
    throw UsageError("the saved TypeRules setting \"" + Settings::TypeRules().toStdString() +
                     "\" is neither Firebird nor Classic: give --type-rules");
  casts = o.casts ? *o.casts : conversion::SplitCastList(Settings::Casts().toStdString());
  try {
    conversion::CastRules check(casts);  // before any login
  } catch (const conversion::CastError& e) {
    throw UsageError(e.what());
  }
}

// Whether text columns keep UTF8's binary order: the option, else the saved "Collations" setting.
bool BinaryCollations(const Options& o) {
  if (o.binaryCollations) return *o.binaryCollations;
  const std::string saved = ado::ToLower(Settings::Get("Collations", "Source").toStdString());
  if (saved != "source" && saved != "binary")
    throw UsageError("the saved Collations setting \"" + saved + "\" is neither Source nor Binary: give --collations");
  return saved == "binary";
}

// One table of "tarnwick verify": its line, and its first differences in `examples`. A connection lost
// in the middle of it is named, in `lost` too, so that every table after it is named with it.
std::string CompareTable(ado::Connection& ms, ado::Connection& target, const conversion::TablePlan& plan,
                         std::vector<std::string>& examples, bool& differs, std::string& lost) {
  try {
    std::vector<std::string> key;
    try {
      key = MSSQL::ReadSchema(ms, plan.ref).primaryKey.columns;
    } catch (const ado::DbError& e) {
      if (e.ConnectionLost()) throw;
    }
    const conversion::TableVerdict v = conversion::VerifyTable(ms, target, plan.ref, plan.source, plan.target, key, plan.types, 0);
    if (!g_signal.load()) examples = v.examples;
    differs = differs || !v.Identical();
    return g_signal.load() && !v.Identical() ? "not verified (stopped)" : v.Text();
  } catch (const ado::DbError& e) {
    lost = conversion::Reason(e.what());
    differs = true;
    return "not verified: connection lost (" + lost + ")";
  }
}

// "tarnwick verify": every chosen table read back from both databases and compared; writes nothing.
int VerifyOnly(int argc, char** argv) {
  Options o = Parse(argc, argv);
  if (o.help) {
    std::cout << kHelp;
    return 0;
  }
  if (o.script || o.verify || o.copyKeys || o.resume || o.overwrite != "ask")
    throw UsageError("verify takes the logins, --tables, --exclude, --type-rules, --collations and --cast only");
  conversion::TypeRules rules;
  std::vector<std::string> casts;
  ReadRules(o, rules, casts);
  o.overwrite = "no";
  MSSQL::Login sql;
  FireBird::Login fb;
  if (const int failed = ReadLogins(o, sql, fb)) return failed;
  // The same plan a conversion of these tables makes: the same names, types and choice.
  TerminalEvents events = Events(o);
  conversion::RunOptions options;
  options.source = sql;
  options.target = fb;
  options.rules = rules;
  options.casts = casts;
  options.only = o.chosen;
  options.stop = &g_stop;
  options.binaryCollations = BinaryCollations(o);
  conversion::Session session(options, events);
  const conversion::CastRules castRules(casts);
  conversion::Planner planner(session, castRules);
  std::vector<MSSQL::TableRef> listed;
  std::vector<std::string> inFirebird;
  ado::Connection& ms = session.Source();
  ado::Connection& target = session.Firebird();
  try {
    MSSQL::ListSqlServerTables(sql, listed);
    MSSQL::Open(ms, sql);
  } catch (const std::exception& e) {
    std::cerr << "tarnwick: " << conversion::kSqlServerCannotOpen << " " << conversion::FirstLine(e.what()) << "\n";
    return kUsageError;
  }
  try {
    FireBird::ListFirebirdTables(fb, inFirebird);
    target.Open(FireBird::Target(fb));
  } catch (const std::exception& e) {
    std::cerr << "tarnwick: " << conversion::kFirebirdCannotOpen << " " << conversion::FirstLine(e.what()) << "\n";
    return kUsageError;
  }
  planner.Name(listed);
  bool differs = false;
  // A signal stops the compare: the statement either database works on is cancelled, and the tables
  // not compared are named; a second signal ends the program at once.
  {
    std::lock_guard<std::mutex> lock(g_runMutex);
    g_verifySession = &session;
  }
  Signals::Watch([](int sig) {
    int none = 0;
    if (!g_signal.compare_exchange_strong(none, sig)) std::_Exit(128 + sig);
    g_stop = true;
    std::lock_guard<std::mutex> lock(g_runMutex);
    if (g_verifySession) g_verifySession->Cancel();
  });
  conversion::Session::FirebirdWork cancellable(session);
  std::string lost;  // why the connection went, once it did
  std::cout << "Verified:\n";
  for (const conversion::TablePlan& plan : planner.Tables()) {
    std::string line;
    std::vector<std::string> examples;
    if (g_signal.load()) {
      line = "not verified (stopped)";
    } else if (!lost.empty()) {
      line = "not verified: connection lost";
      differs = true;
    } else if (!conversion::ListContains(inFirebird, plan.target)) {
      line = "not verified: Firebird has no table \"" + plan.target + "\"";
      differs = true;
    } else {
      line = CompareTable(ms, target, plan, examples, differs, lost);
    }
    std::cout << "    Table \"" << plan.source << "\": " << line << "\n";
    for (const auto& e : examples) std::cout << "        " << e << "\n";
  }
  {
    std::lock_guard<std::mutex> lock(g_runMutex);
    g_verifySession = nullptr;
  }
  if (const int sig = g_signal.load()) {
    std::cout << "Stopped.\n";
    return 128 + sig;
  }
  return differs ? 1 : 0;
}

// "tarnwick convert", and with `sync` "tarnwick sync".
int Convert(int argc, char** argv, bool sync) {
  Options o = Parse(argc, argv);
  if (o.help) {
    std::cout << kHelp;
    return 0;
  }
  o.sync = sync;
  if (sync && (o.script || o.resume)) throw UsageError("sync writes into Firebird: it takes neither --script nor --resume");
  conversion::TypeRules rules;
  std::vector<std::string> casts;
  ReadRules(o, rules, casts);
  MSSQL::Login sql;
  FireBird::Login fb;
  if (const int failed = ReadLogins(o, sql, fb)) return failed;

  TerminalEvents events = Events(o);
  conversion::RunOptions options;
  options.source = sql;
  options.target = fb;
  options.preview = o.script ? conversion::PreviewMode::PerFile : conversion::PreviewMode::Off;
  options.copyKeys = o.copyKeys ? *o.copyKeys : Settings::CopyKeys();
  options.resume = o.resume && !o.script;
  // A dry run has nothing to read back; a table brought up to date is read back unless told not to.
  options.verify = !o.script && (o.verify ? *o.verify : sync || Settings::Verify(true));
  options.sync = sync;
  options.replaceDiffering = sync && o.overwrite == "yes";
  options.rules = rules;
  options.casts = casts;
  options.binaryCollations = BinaryCollations(o);
  options.only = o.chosen;
  // A signal (SIGINT, SIGTERM, SIGHUP) stops the run after the statement in progress.
  options.stop = &g_stop;
  conversion::ConversionRun run(events);
  // The first signal stops the run after its statement (a statement the source is working on is
  // cancelled), with what succeeded committed and the summary printed; a second one ends the program.
  {
    std::lock_guard<std::mutex> lock(g_runMutex);
    g_run = &run;
  }
  Signals::Watch([](int sig) {
    int none = 0;
    if (!g_signal.compare_exchange_strong(none, sig)) {
      // A second signal ends the program at once; a file it left without forced writes gets them back.
      ado::RestoreLeftOverForcedWrites(true);
      static const char line[] =
          "tarnwick: ended at once by a second signal: the rest of the table in progress, its keys, the foreign keys and "
          "verification are not made\n";
      [[maybe_unused]] const ssize_t n = write(STDERR_FILENO, line, sizeof line - 1);
      std::_Exit(128 + sig);
    }
    g_stop = true;
    std::lock_guard<std::mutex> lock(g_runMutex);
    // The statement the source is working on ends at once.
    if (g_run) g_run->CancelSource();
  });
  run.Run(options);
  {
    std::lock_guard<std::mutex> lock(g_runMutex);
    g_run = nullptr;
  }
  if (run.Stopped()) return 128 + g_signal.load();
  if (run.LoginFailed() || run.CastRefused()) return kUsageError;
  if (!events.ScriptWritten()) {
    std::cerr << "tarnwick: " << events.ScriptFailure() << "\n";
    return kUsageError;
  }
  return run.Summary().Rejected() > 0 || run.Reported() > 0 || run.VerifyFoundDifferences() || run.ForcedWritesLeftOff() ||
                 run.Summary().NotInSyncCount() > 0
             ? 1
             : 0;
}

}  // namespace

bool Wanted(int argc, char** argv) {
  if (argc < 2) return false;
  const std::string a = argv[1];
  // Qt's own options (-platform, -style ...) still open the window.
  return a == "convert" || a.rfind("--", 0) == 0 || (a[0] != '-');
}

int Main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::setlocale(LC_NUMERIC, "C");
  const std::string a = argv[1];
  try {
    if (a == "--help") {
      std::cout << kHelp;
      return 0;
    }
    if (a == "--version") {
      std::cout << "tarnwick " << TARNWICK_VERSION << "\n";
      return 0;
    }
    if (a == "verify") return VerifyOnly(argc, argv);
    if (a != "convert" && a != "sync")
      throw UsageError((a.rfind("--", 0) == 0 ? "unknown option " : "unknown command ") + a + " (see tarnwick --help)");
    return Convert(argc, argv, a == "sync");
  } catch (const UsageError& e) {
    std::cerr << "tarnwick: " << e.what() << "\n";
    return kUsageError;
  }
}

}  // namespace CommandLine
