#pragma once
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include "app/MsgBox.h"
#include "app/Shell.h"
#include "support/TestSupport.h"

// Clicks "Start Converting" (or a Test Connection button) and waits for the work it starts on its own
// thread to end, answering the window's questions meanwhile.
template <class Form>
void WaitIdle(Form& form, int timeoutMs = 120000) {
  QElapsedTimer t;
  t.start();
  while (form.Busy() && t.elapsed() < timeoutMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  QVERIFY2(!form.Busy(), "the window's work did not end in time");
}

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
