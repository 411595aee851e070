#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QElapsedTimer>
#include <QTimer>

#include "GuiTestMain.h"
#include "app/Form1.h"

using testsupport::Rows;

static const char* const kCatalog =
    "{\"database\": \"shop\", \"password\": \"Pa;ss}word\","
    "   \"tables\": ["
    "    {\"name\": \"Customers\", \"columns\": [[\"Id\", \"int\"], [\"Name\", \"nvarchar(40)\"], [\"Balance\", \"money\"],"
    "       [\"Joined\", \"datetime\"], [\"Notes\", \"nvarchar(max)\"], [\"Photo\", \"varbinary(max)\"]],"
    "     \"rows\": [[1, \"O'Brien\", \"12.5\", \"2001-05-03 14:05:09\", \"ünïcode ☃\", \"0102\"],"
    "              [2, null, null, null, null, null]]},"
    "    {\"name\": \"Odd ] name\", \"columns\": [[\"A\", \"tinyint\"]], \"rows\": [[5]]}]}";

// The main window against the real SQL Server driver (FreeTDS) and the TDS endpoint.
class SqlServerTest : public QObject {
  Q_OBJECT

  void Fill(Form1& f, const testsupport::TdsEndpoint& e, const QString& password) {
    f.Text5->setText("127.0.0.1");
    f.Text6->setText(QString::number(e.Port()));
    f.Text8->setText("shop");
    f.Text3->setText("sa");
    f.Text4->setText(password);
    f.Check4->setChecked(false);
  }
  // The Firebird panel on `target`, preview off.
  void FillTarget(Form1& f, const FireBird::Login& target) {
    f.Text1->setText(QString::fromStdString(target.database));
    f.Text7->setText("SYSDBA");
    f.Text2->setText("masterkey");
    f.Check1->setChecked(false);
  }

 private slots:
  void init() {
    MsgBox::Log().clear();
    Form1::SetNudgeDraw([] { return 1; });
  }

  void testConnectionButton() {
    testsupport::TempDir dir;
    testsupport::TdsEndpoint endpoint(dir, kCatalog);
    Form1 f;
    Fill(f, endpoint, "Pa;ss}word");
    f.PushButton[6]->click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().text, QString("Connection successful."));
    f.Text4->setText("wrong");
    f.PushButton[6]->click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().text, QString("Could not connect. Please check with your administrator."));
    // A password the driver cannot receive is told as such, not sent wrong.
    f.Text4->setText("a};b");
    f.PushButton[6]->click();
    WaitIdle(f);
    QVERIFY(MsgBox::Log().last().text.startsWith("Could not connect. The value contains \"};\""));
  }

  void startConvertingCopiesEveryTable() {
    testsupport::TempDir dir;
    testsupport::TdsEndpoint endpoint(dir, kCatalog);
    auto target = testsupport::NewFirebirdDatabase(dir);
    Form1 f;
    Fill(f, endpoint, "Pa;ss}word");
    FillTarget(f, target);
    f.PushButton7_Click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().size(), 1);
    QCOMPARE(MsgBox::Log().last().text, QString("Done."));
    ado::Connection c;
    c.Open(FireBird::ConnectionString(target));
    QCOMPARE(Rows(c, "SELECT * FROM \"Customers\" ORDER BY 1"),
             (std::vector<std::vector<std::string>>{
                 {"1", "O'Brien", "12.5000", "2001-05-03 14:05:09", "ünïcode ☃", std::string("\x01\x02", 2)},
                 {"2", "<null>", "<null>", "<null>", "<null>", "<null>"}}));
    QCOMPARE(Rows(c, "SELECT * FROM \"Odd ] name\""), (std::vector<std::vector<std::string>>{{"5"}}));
  }

  // A table whose SELECT waits on the server (a lock): the window keeps answering, and closing it ends
  // the program at once, with what succeeded committed.
  void theWindowAnswersWhileASelectWaits() {
    testsupport::TempDir dir;
    const char* catalog =
        "{\"database\": \"shop\", \"tables\": ["
        " {\"name\": \"Locked\", \"select_delay\": 6, \"columns\": [[\"A\", \"int\"]], \"rows\": [[1]]},"
        " {\"name\": \"Done\", \"columns\": [[\"B\", \"int\"]], \"rows\": [[2]]}]}";
    testsupport::TdsEndpoint endpoint(dir, catalog);
    auto target = testsupport::NewFirebirdDatabase(dir);
    Form1 f;
    Fill(f, endpoint, "any");
    FillTarget(f, target);
    f.show();
    QElapsedTimer clock;
    int ticks = 0;
    qint64 closedAt = -1, exitedAt = -1;
    std::vector<std::vector<std::string>> committed;
    QTimer tick;
    bool moving = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      ++ticks;
      // While the source prepares the rows, the bar runs as a busy indicator: the user sees work going on.
      moving |= f.ProgressBar1->minimum() == 0 && f.ProgressBar1->maximum() == 0;
      // Well into the wait on "Locked" (tables go last to first: "Done" is converted before it).
      if (clock.elapsed() > 2500 && closedAt < 0) {
        closedAt = clock.elapsed();
        f.close();
      }
    });
    Form1::SetExitHandler([&] {
      exitedAt = clock.elapsed();
      ado::Connection c;
      c.Open(FireBird::ConnectionString(target));
      committed = Rows(c, "SELECT * FROM \"Done\"");
    });
    clock.start();
    tick.start(100);
    f.PushButton7_Click();
    WaitIdle(f);
    tick.stop();
    Form1::SetExitHandler([] {});
    // The timer ran all through the wait: the window was never frozen.
    QVERIFY2(ticks >= 30, qPrintable(QString::number(ticks)));
    QVERIFY(moving);
    QCOMPARE(f.ProgressBar1->maximum(), 100);
    QVERIFY(closedAt > 0);
    QVERIFY(exitedAt >= closedAt && exitedAt - closedAt < 1000);
    QCOMPARE(committed, (std::vector<std::vector<std::string>>{{"2"}}));
  }
};

TARNWICK_GUI_TEST_MAIN_WITH(SqlServerTest, "freetds")
#include "sqlserver_test.moc"
