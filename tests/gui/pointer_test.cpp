// The hand pointer over push buttons, under a real X server: the pointer is really moved and the
// cursor each window shows is read back.
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "app/Form1.h"
#include "app/MsgBox.h"
#include "app/Shell.h"
#include "app/WindowHelpers.h"
#include "preview/Form2.h"
#include "preview/Form3.h"
#include "preview/Form4.h"
#include "preview/Form5.h"
#include "preview/ScriptModel.h"
#include "support/TestSupport.h"

class PointerTest : public QObject {
  Q_OBJECT

  QString hand;

  // Moves the real pointer onto the widget and a few pixels about it, then lets the events arrive.
  static void MoveOnto(QWidget* w, QPoint at) {
    for (int k = 0; k < 4; ++k) {
      QTest::mouseMove(w, at + QPoint(k, k % 2));
      QTest::qWait(30);
    }
  }

  static void CheckWindow(QWidget* window, QWidget* plain) {
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->activateWindow();
    const auto buttons = window->findChildren<QPushButton*>();
    QVERIFY(!buttons.isEmpty());
    for (QPushButton* b : buttons) {
      if (!b->isVisible()) continue;
      MoveOnto(b, b->rect().center());
      QCOMPARE(window->cursor().shape(), Qt::BitmapCursor);
      // Off the button, the plain pointer again.
      MoveOnto(plain, QPoint(3, 3));
      QCOMPARE(window->cursor().shape(), Qt::ArrowCursor);
    }
    window->hide();
  }

 private slots:
  void initTestCase() {
    hand = ProgramFolder() + "/HAND-M.CUR";
    QFile::remove(hand);
    QVERIFY(QFile::copy(ProgramFolder() + "/../HAND-M.CUR", hand));
    QVERIFY(QGuiApplication::platformName() == "xcb");
  }
  void cleanupTestCase() { QFile::remove(hand); }

  void mainWindow() {
    Form1 f;
    CheckWindow(&f, &f);
  }
  void previewWindows() {
    ScriptModel m;
    Form5 datatypes;
    Form2* f = new Form2(&m, nullptr, [&] { return &datatypes; });
    f->Script().Append("a;");
    f->Script().Publish();
    CheckWindow(f, f);
    m.Append("a;");
    Form3 find(&m);
    CheckWindow(&find, &find);
    Form4 edit(&m);
    CheckWindow(&edit, &edit);
    CheckWindow(&datatypes, &datatypes);
    f->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }
  void busyWindowKeepsTheHourglass() {
    Form1 f;
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.Pointer()->SetMode(kHourglass);
    MoveOnto(f.PushButton[7], f.PushButton[7]->rect().center());
    QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
    f.Pointer()->SetMode(kDefaultPointer);
  }
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QTemporaryDir settingsDir;
  qputenv("XDG_CONFIG_HOME", settingsDir.path().toUtf8());
  testsupport::RegisterSqlServerDriver("sqlite");
  QApplication app(argc, argv);
  MsgBox::BeginTest();
  Shell::SetHandler([](const QString&) {});
  PointerTest tc;
  return QTest::qExec(&tc, argc, argv);
}

#include "pointer_test.moc"
