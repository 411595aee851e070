#pragma once
#include <memory>
#include <string>

#include "connectivity/core/Ado.h"

namespace ado {

// Connects through the ODBC driver manager with the string exactly as given.
std::unique_ptr<Backend> OpenOdbc(const std::string& connectionString, int loginTimeoutSeconds,
                                  int queryTimeoutSeconds);

// The library file registered for an ODBC driver name, or "" when no such driver is registered.
std::string OdbcDriverLibrary(const std::string& driverName);

// The string as sent to the driver: for FreeTDS, with its protocol version pinned unless it names one.
std::string WithPinnedProtocol(const std::string& connectionString);

// ADO type code for an ODBC SQL type, as the OLE DB provider for ODBC reports it; also turns the
// size 0 that drivers give (max) columns into the long types and their sizes.
void MapOdbcType(int sqlType, bool isUnsigned, long columnSize, int& adoType, long& definedSize);

}  // namespace ado
