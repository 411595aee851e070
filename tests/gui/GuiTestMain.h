#pragma once
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "app/MsgBox.h"
#include "app/Shell.h"
#include "support/TestSupport.h"

// Runs a Qt test class headless, with its own settings folder, the SQLite ODBC driver registered as
// "SQL Server", messages answered from a queue and nothing started outside the program.
#define TARNWICK_GUI_TEST_MAIN(TestClass)                                  \
  int main(int argc, char** argv) {                                        \
    qputenv("QT_QPA_PLATFORM", "offscreen");                               \
    QTemporaryDir settingsDir;                                             \
    qputenv("XDG_CONFIG_HOME", settingsDir.path().toUtf8());               \
    testsupport::RegisterSqlServerDriver("sqlite");                        \
    QApplication app(argc, argv);                                          \
    MsgBox::BeginTest();                                                   \
    Shell::SetHandler([](const QString&) {});                              \
    TestClass tc;                                                          \
    return QTest::qExec(&tc, argc, argv);                                  \
  }
