#pragma once
#include <string>
#include <vector>

#include "connectivity/core/Ado.h"

namespace FireBird {

// The fields of the "Firebird or Interbase Login" panel, as typed.
struct Login {
  std::string database, user, password;
};

constexpr int kLoginTestTimeout = 15;

// "Provider=MSDASQL.1;Password=...;Extended Properties='Driver=Firebird/InterBase(r) driver;...'".
// Plain values stand as typed; others are braced so that every value reads back unchanged.
std::string ConnectionString(const Login& login);

// What the client attaches with: the same values as the string, handed over as they were typed.
ado::FirebirdTarget Target(const Login& login);

bool CanOpenFirebird(const Login& login, std::string* why = nullptr);

// Fills `list` with every catalogue name whose fourth character is not "$". Throws ado::DbError.
void ListFirebirdTables(const Login& login, std::vector<std::string>& list);

// The embedded engine keeps its lock files in /tmp/firebird, which Debian gives to the group "firebird":
// a user outside it could open no local database at all. Such a user's engine gets a lock folder of
// its own (FIREBIRD_LOCK, in ado::RuntimeFolder()). Nothing is shared through it that must be: the
// engine locks a database file itself, so a file another engine (a server) has open is refused, not
// opened twice. Returns the folder set, empty when the engine's own is used. Call before any Firebird
// call and before other threads start (it sets an environment variable).
std::string PrepareLockFolder();

// The fourth character (not byte) of a name is "$".
bool IsSystemName(const std::string& name);

}  // namespace FireBird
