#pragma once
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "app/MsgBox.h"
#include "app/Shell.h"
#include "support/TestSupport.h"

// Runs a Qt test class headless, with its own settings folder, the SQLite ODBC driver (or FreeTDS)
// registered as "SQL Server", messages answered from a queue and nothing started outside the program.
#define TARNWICK_GUI_TEST_MAIN(TestClass) TARNWICK_GUI_TEST_MAIN_WITH(TestClass, "sqlite")

#define TARNWICK_GUI_TEST_MAIN_WITH(TestClass, driver)                     \
  int main(int argc, char** argv) {                                        \
    qputenv("QT_QPA_PLATFORM", "offscreen");                               \
    QTemporaryDir settingsDir;                                             \
    qputenv("XDG_CONFIG_HOME", settingsDir.path().toUtf8());               \
    testsupport::RegisterSqlServerDriver(driver);                          \
    qputenv("TDSVER", "7.4");                                              \
    QApplication app(argc, argv);                                          \
    MsgBox::BeginTest();                                                   \
    Shell::SetHandler([](const QString&) {});                              \
    TestClass tc;                                                          \
    return QTest::qExec(&tc, argc, argv);                                  \
  }
