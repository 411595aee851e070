#include "app/HelpMessages.h"

#include "connectivity/core/ErrorTrap.h"

namespace Help {

const char* const kHomePage = "https://www.quorvane.example/";
const char* const kContactPage = "https://www.quorvane.example/contact/";
const char* const kFirebirdPackagesPage = "https://firebirdsql.org/en/server-packages/";
const char* const kSqlToolPage = "https://www.sqlmanager.example/en/products/mssql/manager/download";

static const QString kCrLf2 = "\r\n\r\n";

QString GeneralHelp() {
  return QString("This software transfers text-based and numeric fields but does not handle binary / pictures fields.") +
         kCrLf2 + "Use SQL Preview if your tables contains less than 32767 rows." + kCrLf2 +
         "Questions? Please contact Team Quorvane at " + kContactPage;
}

QString FirebirdRequirements() {
  return QString("In order to successfully connect to your Firebird fdb file you need to have two things installed: ") +
         kCrLf2 + "1. Firebird ODBC driver. This is included with the setup.exe for " + "Tarnwick" +
         ". If you chose to install it after installing this software, you already have it." + kCrLf2 +
         "2. Firebird Service Packages - - found at " + kFirebirdPackagesPage +
         ". You must have these service packages installed and RUNNING in order to connect to Firebird. To check if "
         "it is running using Ctrl+Alt+Del and look for fbguard.exe and fbserver.exe." +
         kCrLf2 + "Please email " + trap::kSupportEmail +
         " if you have any questions about connecting to Firebird. Please attach a screenshot of this message as a "
         "reference.";
}

QString SqlServerLogin() {
  return QString("If you cannot establish connection to your MS SQL Server database with this program, please go to: ") +
         "\r\r" + kSqlToolPage + "\r\r" +
         "Download and install the EMS SQL Manager 2005 Lite for SQL Server. Try to connect to " +
         "the same database (with the same login information you are using here). This will determine if " +
         "the login you are using is correct.";
}

QString LocalConnectionQuestion() { return "Would you like to see an image of how I connect locally?"; }

QString FirebirdVersionQuestion() {
  return QString("This software installs Firebird ODBC when you run setup.exe but it does not install Firebird Server "
                 "which is necessary for connecting.") +
         kCrLf2 +
         "Unfortunately this software only works with Firebird Server 2.5 so you will need to uninstall Firebird "
         "Server 3.0 if you have that installed using Add or Remove Programs." +
         kCrLf2 +
         "Sorry for this inconvenience but I have not figured out how to make this software connect using Firebird "
         "Server 3.0 yet." +
         kCrLf2 + "Would you like me to open the website for Firebird Server" + kCrLf2 + kFirebirdPackagesPage + kCrLf2 +
         "so that you can download and install Firebird Server 2.5?";
}

}  // namespace Help
