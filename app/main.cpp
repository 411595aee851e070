#include <QApplication>
#include <QTimer>
#include <clocale>
#include <cstdio>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Form1.h"
#include "app/MsgBox.h"
#include "connectivity/firebird/FirebirdBackend.h"
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
  // A run that ended before it could turn a file's forced writes on again (killed, crashed) is mended
  // now, and the user told.
  std::vector<std::string> mended;
  for (const auto& f : ado::RestoreLeftOverForcedWrites())
    mended.push_back(f.error.empty() ? "Forced writes of " + f.file + " turned back on: a run ended before it could."
                                     : "Forced writes of " + f.file + " could not be turned back on (" + f.error +
                                           "); \"gfix -write sync\" on the file turns them on.");
  if (CommandLine::Wanted(argc, argv)) {
    for (const auto& m : mended) std::fprintf(stderr, "tarnwick: %s\n", m.c_str());
    return CommandLine::Main(argc, argv);
  }
  QApplication app(argc, argv);
  // Database drivers read and write numbers in the C locale's format, whatever the user's region.
  std::setlocale(LC_NUMERIC, "C");
  Form1 form;
  Signals::Install([&form](int) { form.EndNow(); });
  form.show();
  if (!mended.empty())
    QTimer::singleShot(0, &form, [&form, mended] {
      for (const auto& m : mended) MsgBox::Show(&form, QString::fromStdString(m));
    });
  return app.exec();
}
