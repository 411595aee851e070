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

// True when a statement text starts with a keyword that changes metadata.
bool IsDdlStatement(std::string_view sql);

}  // namespace ado
