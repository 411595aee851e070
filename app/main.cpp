#include <QApplication>
#include <clocale>

#include "app/CommandLine.h"
#include "app/Form1.h"
#include "app/Signals.h"
#include "connectivity/firebird/FireBird.h"
#include "connectivity/sqlserver/Encryption.h"

int main(int argc, char** argv) {
  // Before any thread starts (the command line's too), so that every thread inherits the mask.
  Signals::Block();
  // The private FreeTDS configuration that carries a CA file is named in the environment now, while
  // no other thread reads it.
  MSSQL::PrepareTlsConfig();
  // A user outside the group "firebird" gets the embedded engine's lock files in a folder of their own.
  FireBird::PrepareLockFolder();
  if (CommandLine::Wanted(argc, argv)) return CommandLine::Main(argc, argv);
  QApplication app(argc, argv);
  // Database drivers read and write numbers in the C locale's format, whatever the user's region.
  std::setlocale(LC_NUMERIC, "C");
  Form1 form;
  Signals::Install([&form](int) { form.EndNow(); });
  form.show();
  return app.exec();
}
