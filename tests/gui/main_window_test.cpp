#include <QCheckBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QFileInfo>
#include <QTemporaryDir>
#include <memory>

#include <sys/stat.h>

#include "GuiTestMain.h"
#include "app/Form1.h"
#include "app/HelpMessages.h"
#include "app/Settings.h"
#include "app/WindowHelpers.h"

class MainWindowTest : public QObject {
  Q_OBJECT

  QStringList opened;
  int exits = 0;

  static QString Stored(const QString& key) {
    QSettings s(Settings::FilePath(), QSettings::IniFormat);
    return s.value("Tarnwick/" + key, "<absent>").toString();
  }
  static unsigned FileMode(const QString& path) {
    struct stat st {};
    if (stat(path.toLocal8Bit().constData(), &st) != 0) return 0;
    return st.st_mode & 0777;
  }
  static void ClearStore() {
    QSettings s(Settings::FilePath(), QSettings::IniFormat);
    s.clear();
    s.sync();
  }

 private slots:
  void init() {
    ClearStore();
    MsgBox::Log().clear();
    opened.clear();
    Shell::SetHandler([this](const QString& t) { opened << t; });
    Form1::SetNudgeDraw([] { return 1; });
    Form1::SetExitHandler([this] { ++exits; });
  }

  void firstStartWithEmptyStore() {
    Form1 f;
    QVERIFY(f.Check1->isChecked());
    QVERIFY(f.Option1->isChecked());
    QVERIFY(!f.Option2->isChecked());
    QVERIFY(f.Option1->isEnabled() && f.Option2->isEnabled());
    QCOMPARE(f.Text7->text(), QString("SYSDBA"));
    QCOMPARE(f.Text6->text(), QString("1433"));
    for (QLineEdit* e : {f.Text1, f.Text2, f.Text3, f.Text4, f.Text5, f.Text8}) QVERIFY(e->text().isEmpty());
    QVERIFY(!f.Check4->isChecked());
    QCOMPARE(Stored("Check1"), QString("1"));
    QCOMPARE(f.windowTitle(), QString("Tarnwick"));
    QCOMPARE(MsgBox::ApplicationTitle(), QString("Tarnwick"));
    QCOMPARE(f.Text4->echoMode(), QLineEdit::Password);
    QCOMPARE(f.Text2->echoMode(), QLineEdit::Password);
    QCOMPARE(f.ProgressBar1->format(), QString("Progress Bar"));
    QVERIFY(MsgBox::Log().isEmpty());
    QVERIFY(opened.isEmpty());
    // The store holds passwords: its owner alone may read it.
    QCOMPARE(FileMode(Settings::FilePath()), 0600u);
  }

  void layoutInTwips() {
    Form1 f;
    auto twips = [](int l, int t, int w, int h) { return QRect(l / 15, t / 15, w / 15, h / 15); };
    QCOMPARE(f.size(), QSize(8040 / 15, 8430 / 15));
    QCOMPARE(f.PushButton[5]->geometry(), twips(120, 120, 7800, 405));
    QCOMPARE(f.Frame3->geometry(), twips(120, 600, 7800, 3135));
    QCOMPARE(f.Text6->geometry(), twips(6600, 360, 960, 330));
    QCOMPARE(f.Check4->geometry(), twips(1305, 2175, 1950, 330));
    QCOMPARE(f.Frame1->geometry(), twips(120, 3840, 7800, 2265));
    QCOMPARE(f.PushButton[1]->geometry(), twips(6840, 300, 720, 345));
    QCOMPARE(f.PushButton[2]->text(), QString("Load Sample/Example Database"));
    QCOMPARE(f.Option2->geometry(), twips(3600, 630, 3375, 255));
    QCOMPARE(f.PushButton[7]->geometry(), twips(120, 7395, 7800, 405));
    QCOMPARE(f.ProgressBar1->geometry(), twips(120, 7920, 7800, 405));
    QCOMPARE(f.PushButton[7]->font().pointSizeF(), 11.25);
    QVERIFY(f.PushButton[7]->font().bold());
    QCOMPARE(f.font().pointSizeF(), 9.0);
    QCOMPARE(f.Frame2->title(), QString("SQL Preview"));
  }

  void storedValuesAreRestored() {
    Settings::Put("Local Connection", "word");
    Settings::Put("Check1", "0");
    Settings::Put("Option1", "False");
    Settings::Put("Option2", "True");
    Settings::Put("MSSQL Password", "p;w");
    Form1 f;
    QVERIFY(f.Check4->isChecked());
    QVERIFY(!f.Check1->isChecked());
    QVERIFY(!f.Option1->isEnabled() && !f.Option2->isEnabled());
    QVERIFY(f.Option2->isChecked() && !f.Option1->isChecked());
    QCOMPARE(f.Text4->text(), QString("p;w"));
    f.Check4->click();
    QCOMPARE(Stored("Local Connection"), QString("0"));
    f.Check1->click();
    QVERIFY(f.Option1->isEnabled());
    QCOMPARE(Stored("Check1"), QString("1"));
    f.Option1->click();
    QCOMPARE(Stored("Option1"), QString("True"));
    QCOMPARE(Stored("Option2"), QString("False"));
  }

  void badStoredCheckValueIsReportedAndTheRestGoesOn() {
    Settings::Put("Check1", "banana");
    Settings::Put("FireBirdUser", "kept");
    Form1 f;
    QCOMPARE(MsgBox::Log().size(), 1);
    QCOMPARE(MsgBox::Log()[0].title, QString("Application Error"));
    QVERIFY(MsgBox::Log()[0].text.contains("in Brennhall2021/08/31.Form1.Form_Load at line 110"));
    QCOMPARE(f.Text7->text(), QString("kept"));
    QVERIFY(f.Option1->isChecked());
  }

  void everyKeystrokeIsWritten() {
    Form1 f;
    f.show();
    f.Text4->setFocus();
    QTest::keyClicks(f.Text4, "se");
    QCOMPARE(Stored("MSSQL Password"), QString("se"));
    QTest::keyClick(f.Text4, 'c');
    QCOMPARE(Stored("MSSQL Password"), QString("sec"));
    QTest::keyClicks(f.Text5, "db1");
    QCOMPARE(Stored("MSSQL Server"), QString("db1"));
    QCOMPARE(FileMode(Settings::FilePath()), 0600u);
  }

  void sampleAndBrowseButtons() {
    Form1 f;
    f.Text1->setText("/old.fdb");
    Form1::SetFileDialog([](QWidget*, const QString& title, const QString&) {
      return title == "Select Firebird Database" ? QString() : QString("wrong");
    });
    f.PushButton[1]->click();
    QCOMPARE(f.Text1->text(), QString("/old.fdb"));
    Form1::SetFileDialog([](QWidget*, const QString&, const QString&) { return QString("/new/db.fdb"); });
    f.PushButton[1]->click();
    QCOMPARE(Stored("FireBirdDatabase"), QString("/new/db.fdb"));
    f.PushButton[2]->click();
    QVERIFY(f.Text1->text().endsWith("/Samples/sample.fdb"));
    QCOMPARE(f.Text7->text(), QString("SYSDBA"));
    QCOMPARE(Stored("FireBirdPassword"), QString("quillvane"));
    QCOMPARE(Stored("FireBirdDatabase"), f.Text1->text());
  }

  void pointerRules() {
    Form1 f;
    QEvent enter(QEvent::Enter);
    QCoreApplication::sendEvent(f.PushButton[3], &enter);
    QCOMPARE(f.Pointer()->Mode(), kCustomPointer);
    QCoreApplication::sendEvent(f.Frame1, &enter);
    QCOMPARE(f.Pointer()->Mode(), kDefaultPointer);
    f.Pointer()->SetMode(kHourglass);
    QCoreApplication::sendEvent(f.PushButton[7], &enter);
    QCoreApplication::sendEvent(f.Frame2, &enter);
    QCOMPARE(f.Pointer()->Mode(), kHourglass);
    QCOMPARE(f.cursor().shape(), Qt::WaitCursor);
    // No "HAND-M.CUR" beside the test program: the custom pointer is the arrow.
    QVERIFY(!f.Pointer()->HasCustomCursor());
  }

  void anUnwritableSettingsStoreIsToldOnceAStart() {
    const QString before = QFileInfo(QFileInfo(Settings::FilePath()).absolutePath()).absolutePath();
    QTemporaryDir tmp;
    const QString blocker = tmp.filePath("not-a-folder");
    {
      QFile f(blocker);
      QVERIFY(f.open(QIODevice::WriteOnly));
    }
    // A folder that cannot be made, whoever runs the test: its parent is a file.
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, blocker + "/config");
    {
      Form1 f;
      f.Text5->setText("typed");
      f.Text3->setText("more");
      QCOMPARE(MsgBox::Log().size(), 1);
      QVERIFY(MsgBox::Log()[0].text.startsWith("Your settings cannot be saved: "));
      QVERIFY(MsgBox::Log()[0].text.contains("not-a-folder"));
      QCOMPARE(f.Text5->text(), QString("typed"));
    }
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, before);
    MsgBox::Log().clear();
    Form1 again;
    QVERIFY(MsgBox::Log().isEmpty());
  }

  void progressTextShowsATableNameLiterally() {
    Form1 f;
    f.ProgressBar1->setValue(42);
    f.SetProgressText("Please wait.. Processing table 50%p of %v and %m%%");
    QString shown = f.ProgressBar1->text();
    QCOMPARE(shown.remove(QChar(0x2060)), QString("Please wait.. Processing table 50%p of %v and %m%%"));
  }

  void handCursorAndSkinBesideTheProgram() {
    const QString hand = ProgramFolder() + "/HAND-M.CUR";
    const QString skinDir = ProgramFolder() + "/x";
    QVERIFY(QFile::copy(ProgramFolder() + "/../HAND-M.CUR", hand));
    QDir().mkpath(skinDir);
    {
      QFile skin(skinDir + "/o.cjs");
      QVERIFY(skin.open(QIODevice::WriteOnly));
      skin.write("QPushButton { color: #123456; }");
    }
    {
      Form1 f;
      QVERIFY(MsgBox::Log().isEmpty());
      QVERIFY(f.Pointer()->HasCustomCursor());
      QEvent enter(QEvent::Enter);
      QCoreApplication::sendEvent(f.PushButton[7], &enter);
      QCOMPARE(f.cursor().shape(), Qt::BitmapCursor);
      QCOMPARE(f.styleSheet(), QString("QPushButton { color: #123456; }"));
      // The skin gives the window and its frames the button-face colour.
      QCOMPARE(f.palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));
      QCOMPARE(f.Frame1->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));
    }
    // A skin that cannot be read is reported by the load trap; the start goes on.
    QFile::remove(skinDir + "/o.cjs");
    QDir().mkpath(skinDir + "/o.cjs");
    {
      Form1 f;
      QCOMPARE(MsgBox::Log().size(), 1);
      QVERIFY(MsgBox::Log()[0].text.contains("Form1.Form_Load at line 100"));
      QCOMPARE(f.Text7->text(), QString("SYSDBA"));
    }
    QDir(skinDir).removeRecursively();
    QFile::remove(hand);
  }

  void helpButtons() {
    Form1 f;
    f.PushButton[5]->click();
    QCOMPARE(MsgBox::Log().size(), 2);
    QCOMPARE(MsgBox::Log()[0].text, Help::GeneralHelp());
    QVERIFY(MsgBox::Log()[0].text.contains("fields.\r\n\r\nUse SQL Preview"));
    QCOMPARE(MsgBox::Log()[1].text, Help::FirebirdRequirements());
    QCOMPARE(MsgBox::Log()[1].title, QString("Tarnwick"));
    MsgBox::Log().clear();
    MsgBox::QueueAnswer(MsgBox::OK);
    MsgBox::QueueAnswer(MsgBox::No);
    f.PushButton[4]->click();
    QCOMPARE(MsgBox::Log().size(), 2);
    QVERIFY(MsgBox::Log()[0].text.contains("please go to: \r\rhttps://"));
    QVERIFY(MsgBox::Log()[0].text.contains("/en/products/mssql/manager/download\r\rDownload"));
    QCOMPARE(MsgBox::Log()[1].buttons, int(MsgBox::YesNo));
    QVERIFY(opened.isEmpty());
    MsgBox::QueueAnswer(MsgBox::OK);
    MsgBox::QueueAnswer(MsgBox::Yes);
    f.PushButton[4]->click();
    QCOMPARE(opened, QStringList{ProgramFolder() + "/local-connection-example.jpg"});
    opened.clear();
    MsgBox::QueueAnswer(MsgBox::No);
    f.PushButton[8]->click();
    QVERIFY(opened.isEmpty());
    MsgBox::QueueAnswer(MsgBox::Yes);
    f.PushButton[8]->click();
    QCOMPARE(opened, QStringList{Help::kFirebirdPackagesPage});
    QVERIFY(MsgBox::Log().last().text.endsWith("/en/server-packages/\r\n\r\nso that you can download and install "
                                               "Firebird Server 2.5?"));
  }

  void homePageNudgeOnSeven() {
    Form1::SetNudgeDraw([] { return 7; });
    Form1 f;
    QCOMPARE(opened, QStringList{Help::kHomePage});
  }

  void applicationTitleRule() {
    QCOMPARE(ApplicationTitleFor("Tarnwick"), QString("Tarnwick"));
    QCOMPARE(ApplicationTitleFor("Tarnwick Converter Pro"), QString("Tarnwick Converter"));
    QCOMPARE(ApplicationTitleFor(QString("Word ").repeated(12).trimmed()).size() <= 40, true);
  }

  void testConnectionButtons() {
    testsupport::TempDir dir;
    auto fb = testsupport::NewFirebirdDatabase(dir);
    Form1 f;
    f.Text1->setText(QString::fromStdString(fb.database));
    f.Text7->setText("SYSDBA");
    f.Text2->setText("masterkey");
    f.PushButton[3]->click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().text, QString("Connection successful."));
    QCOMPARE(f.Pointer()->Mode(), kDefaultPointer);
    f.Text1->setText(QString::fromStdString(dir.File("missing.fdb")));
    f.PushButton[3]->click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().text, QString("Could not connect."));
    f.Text5->setText("localhost");
    f.Text8->setText(QString::fromStdString(dir.File("source.db")));
    f.PushButton[6]->click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().text, QString("Connection successful."));
    f.Text8->setText(QString::fromStdString(dir.File("no/such/dir/x.db")));
    f.PushButton[6]->click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().text, QString("Could not connect. Please check with your administrator."));
  }

  // The summary closes with Enter as with Escape, even with the focus in its text.
  void summaryClosesWithEnter() {
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      auto dlg = MsgBox::SummaryDialog(nullptr, "Table \"A\": 1 rows read, 0 written, 1 rejected\n");
      dlg->show();
      QVERIFY(QTest::qWaitForWindowExposed(dlg.get()));
      QWidget* focus = QApplication::focusWidget();
      QVERIFY(focus && focus->inherits("QPlainTextEdit"));
      QTest::keyClick(focus, static_cast<Qt::Key>(key));
      QVERIFY2(!dlg->isVisible(), qPrintable(QString::number(key)));
    }
  }

  void closingEndsTheProgram() {
    auto f = std::make_unique<Form1>();
    f->show();
    f->close();
    QCOMPARE(exits, 1);
  }
};

TARNWICK_GUI_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
