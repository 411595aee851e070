#pragma once
#include <memory>
#include <string>

#include "connectivity/core/Ado.h"

namespace ado {

// Attaches with the values of a Firebird connection string (Dbname, UID or User ID, Password,
// CHARSET, Role). A local path opens through the embedded engine; "host:path" reaches a server.
std::unique_ptr<Backend> OpenFirebird(const std::string& connectionString, int connectTimeoutSeconds);
// Attaches with the values as given.
std::unique_ptr<Backend> OpenFirebird(const FirebirdTarget& target, int connectTimeoutSeconds);

// Creates an empty database file (default character set NONE, dialect 3).
void CreateFirebirdDatabase(const std::string& path, const std::string& user, const std::string& password);

// True when the database names a file this process opens through the embedded engine, not "host:path",
// "host/port:path" or a "inet://"-style address.
bool IsLocalDatabase(const std::string& database);

// A bulk load into a local database file: while it lasts the file is written without waiting for every
// page to reach the disk (its forced writes are off), and at Restore they are on again and the file is
// synced, so that what was committed is on the disk as it would have been. A file whose forced writes
// are off already, or that the login may not change (only its owner or SYSDBA may), is left as it is.
// Before they are turned off the file is written into the journal (ForcedWritesJournal), and taken out
// once they are on again: a process that ends without its own code running (killed, crashed) leaves
// the entry, and the next start mends the file (RestoreLeftOverForcedWrites). A file that cannot be
// written into the journal keeps its forced writes.
class UnsyncedWrites {
 public:
  explicit UnsyncedWrites(const FirebirdTarget& target);
  ~UnsyncedWrites();  // restores, if Restore was not called
  UnsyncedWrites(const UnsyncedWrites&) = delete;
  UnsyncedWrites& operator=(const UnsyncedWrites&) = delete;
  bool Active() const { return active_; }
  // Forced writes on again and the file synced; empty, or what failed.
  std::string Restore();

 private:
  FirebirdTarget ByFile() const;  // the login, attaching the file by the engine's own name for it
  FirebirdTarget target_;
  std::string file_;  // the database file as the engine names it
  bool active_ = false;
};

// The journal's path: $XDG_STATE_HOME/Tarnwick/forced-writes-off, else ~/.local/state/Tarnwick/...
std::string ForcedWritesJournal();

// What the next start did for a file a process left without forced writes.
struct LeftOverFile {
  std::string file;
  std::string error;  // empty: forced writes are on again and the file is synced
};
// Turns forced writes on again for the journal's files whose processes are gone (and, with `own`, for
// this process's own ones: its last moment before ending at once), syncs them and takes them out of
// the journal. A file that is no longer there is only taken out.
std::vector<LeftOverFile> RestoreLeftOverForcedWrites(bool own = false);

// True when a statement text starts with a keyword that changes metadata.
bool IsDdlStatement(std::string_view sql);

}  // namespace ado
