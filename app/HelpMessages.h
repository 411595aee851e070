#pragma once
#include <QString>

// Fixed texts and addresses of the help buttons.
namespace Help {
extern const char* const kHomePage;
extern const char* const kContactPage;
extern const char* const kFirebirdPackagesPage;
extern const char* const kSqlToolPage;
QString GeneralHelp();
QString FirebirdRequirements();
QString SqlServerLogin();
QString LocalConnectionQuestion();
QString FirebirdVersionQuestion();
}  // namespace Help
