#include <QCheckBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSet>
#include <QTreeWidget>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include "GuiTestMain.h"
#include "app/EncryptionDialog.h"
#include "app/Form1.h"
#include "app/Settings.h"
#include "app/TablesDialog.h"
#include "app/WindowHelpers.h"
#include "connectivity/core/Ado.h"

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

  // "Encryption..." keeps Require; Test Connection then refuses the endpoint, which has no encryption,
  // and says why; Request logs in again.
  void encryptionChosenInTheWindow() {
    testsupport::TempDir dir;
    testsupport::TdsEndpoint endpoint(dir, kCatalog);
    const auto forget = qScopeGuard([] {
      Settings::Put("Encrypt", "request");
      Settings::Put("CaFile", "");
    });
    Form1 f;
    Fill(f, endpoint, "Pa;ss}word");
    auto choose = [&](const std::function<void(EncryptionDialog*)>& act) {
      SetModalHandler([&](QDialog* d) {
        auto* e = dynamic_cast<EncryptionDialog*>(d);
        if (!e) return 0;
        act(e);
        return e->Keep() ? static_cast<int>(QDialog::Accepted) : static_cast<int>(QDialog::Rejected);
      });
      f.EncryptionButton->click();
      SetModalHandler({});
    };
    bool wasRequest = false;
    choose([&](EncryptionDialog* e) {
      wasRequest = e->Request->isChecked() && e->CaFile->text().isEmpty();
      e->Require->setChecked(true);
    });
    QVERIFY(wasRequest);
    QCOMPARE(Settings::Get("Encrypt", ""), QString("require"));
    f.PushButton[6]->click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().text,
             QString("Could not connect. The login was refused for encryption: the server offers no encryption, and "
                     "encryption is required."));
    // A CA file with encryption off is refused by the dialog and nothing is kept.
    choose([&](EncryptionDialog* e) {
      e->Off->setChecked(true);
      e->CaFile->setText(QString::fromStdString(dir.File("catalog.json")));
    });
    QVERIFY(MsgBox::Log().last().text.startsWith("A CA file checks the certificate"));
    QCOMPARE(Settings::Get("Encrypt", ""), QString("require"));
    choose([&](EncryptionDialog* e) { e->Request->setChecked(true); });
    f.PushButton[6]->click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().text, QString("Connection successful."));
  }

  // "Tables...": tick two of five tables; Start takes exactly those, asks nothing about the others, names
  // the foreign key to a table left out, and the choice is there again in a new window.
  void tablesChosenInTheWindow() {
    testsupport::TempDir dir;
    testsupport::TdsEndpoint endpoint(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Orders", "columns": [["Id", "int"], ["CustomerId", "int"]], "rows": [[1, 1], [2, 1]],
       "primary_key": {"name": "PK_Orders", "columns": ["Id"]},
       "foreign_keys": [{"name": "FK_Orders_Customer", "columns": ["CustomerId"], "ref_table": "Customer",
                         "ref_schema": "Sales", "ref_columns": ["Id"]}]},
      {"name": "Customer", "schema": "Sales", "columns": [["Id", "int"]], "rows": [[1]],
       "primary_key": {"name": "PK_Customer", "columns": ["Id"]}},
      {"name": "Items", "columns": [["Id", "int"]], "rows": [[7], [8], [9]]},
      {"name": "Log", "columns": [["Id", "int"]], "rows": []},
      {"name": "Log", "schema": "audit", "columns": [["Id", "int"]], "rows": [[3]]}]})J");
    auto target = testsupport::NewFirebirdDatabase(dir);
    {
      // Firebird holds "Items" and "Log" already: marked in the list, and never asked about.
      ado::Connection c;
      c.Open(FireBird::ConnectionString(target));
      c.Execute("CREATE TABLE \"Items\" (\"Old\" INTEGER)");
      c.Execute("CREATE TABLE \"Log\" (\"Old\" INTEGER)");
    }
    QStringList shownNames, marked, rows;
    auto choose = [&](Form1& f, const std::function<void(TablesDialog*)>& act) {
      SetModalHandler([&](QDialog* d) {
        auto* t = dynamic_cast<TablesDialog*>(d);
        if (!t) return 0;
        if (!QTest::qWaitFor([t] { return t->Loaded(); }, 30000)) return 0;
        act(t);
        return static_cast<int>(QDialog::Accepted);
      });
      f.TablesButton->click();
      SetModalHandler({});
    };
    {
      Form1 f;
      Fill(f, endpoint, "pw");
      FillTarget(f, target);
      choose(f, [&](TablesDialog* t) {
        for (int i = 0; i < t->List->topLevelItemCount(); ++i) {
          shownNames << t->List->topLevelItem(i)->text(0);
          rows << t->List->topLevelItem(i)->text(1);
          if (t->List->topLevelItem(i)->text(2) == "yes") marked << t->List->topLevelItem(i)->text(0);
        }
        // A pattern shows the Log tables of both schemas; untick them, then untick Items by name.
        t->Filter->setText("*log");
        t->UntickShown->click();
        t->Filter->setText("items");
        t->UntickShown->click();
        t->Filter->clear();
      });
      QCOMPARE(shownNames.size(), 5);
      QVERIFY(shownNames.contains("Sales.Customer") && shownNames.contains("audit.Log") && shownNames.contains("Log"));
      QCOMPARE(rows[shownNames.indexOf("Items")], QString("3"));
      QCOMPARE((QSet<QString>(marked.begin(), marked.end())), (QSet<QString>{"Items", "Log"}));
      MsgBox::Log().clear();
      f.PushButton7_Click();
      WaitIdle(f);
      for (const auto& m : MsgBox::Log()) QVERIFY2(m.title != "Overwrite?", qPrintable(m.text));
    }
    ado::Connection c;
    c.Open(FireBird::ConnectionString(target));
    QCOMPARE(Rows(c, "SELECT TRIM(RDB$RELATION_NAME) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0 ORDER BY 1"),
             (std::vector<std::vector<std::string>>{{"Items"}, {"Log"}, {"Orders"}, {"Sales.Customer"}}));
    QCOMPARE(Rows(c, "SELECT * FROM \"Items\""), (std::vector<std::vector<std::string>>{}));  // left as it was
    QCOMPARE(Rows(c, "SELECT COUNT(*) FROM \"Orders\"")[0][0], std::string("2"));
    // Both ticked: the foreign key between them is made.
    QCOMPARE(Rows(c, "SELECT COUNT(*) FROM RDB$RELATION_CONSTRAINTS WHERE RDB$CONSTRAINT_NAME = 'FK_Orders_Customer'")[0][0],
             std::string("1"));
    // A new window on the same source: the same tables are left out.
    QStringList unticked;
    Form1 again;
    Fill(again, endpoint, "pw");
    FillTarget(again, target);
    choose(again, [&](TablesDialog* t) { unticked = t->LeftOut(); });
    std::sort(unticked.begin(), unticked.end());
    QCOMPARE(unticked, (QStringList{"Items", "Log", "audit.Log"}));
  }

  // A foreign key to a table left out is named as not made.
  void foreignKeyToATableLeftOutIsNamed() {
    testsupport::TempDir dir;
    testsupport::TdsEndpoint endpoint(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Orders", "columns": [["Id", "int"], ["CustomerId", "int"]], "rows": [[1, 1]],
       "foreign_keys": [{"name": "FK_Orders_Customer", "columns": ["CustomerId"], "ref_table": "Customer",
                         "ref_columns": ["Id"]}]},
      {"name": "Customer", "columns": [["Id", "int"]], "rows": [[1]], "primary_key": {"name": "PK_Customer", "columns": ["Id"]}}]})J");
    auto target = testsupport::NewFirebirdDatabase(dir);
    Form1 f;
    Fill(f, endpoint, "pw");
    FillTarget(f, target);
    Settings::SetLeftOutTables(f.Text5->text(), f.Text8->text(), {"Customer", "Gone"});
    const auto forget = qScopeGuard([&] { Settings::SetLeftOutTables(f.Text5->text(), f.Text8->text(), {}); });
    MsgBox::Log().clear();
    f.PushButton7_Click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().title, QString("Conversion Summary"));
    const QString summary = MsgBox::Log().last().text;
    QVERIFY2(summary.contains("foreign key \"FK_Orders_Customer\" (it refers to \"Customer\", which is not in this run)"),
             qPrintable(summary));
    // The other way round, into a database that holds neither: Customer converted, Orders (which refers
    // to it) left out.
    FillTarget(f, testsupport::NewFirebirdDatabase(dir, "other.fdb"));
    Settings::SetLeftOutTables(f.Text5->text(), f.Text8->text(), {"Orders"});
    MsgBox::Log().clear();
    f.PushButton7_Click();
    WaitIdle(f);
    const QString other = MsgBox::Log().last().text;
    QVERIFY2(other.contains("Table \"Orders\": foreign key \"FK_Orders_Customer\" (it refers to \"Customer\", but \"Orders\" is "
                            "not in this run)"),
             qPrintable(other));
    QVERIFY2(summary.contains("The table Gone, left out with \"Tables...\", is no longer in the SQL Server database."),
             qPrintable(summary));
  }

  // "Verify the tables after converting", ticked in the Tables dialog, is kept, and the next run reads
  // its tables back: the summary says they are identical.
  void verifyIsChosenInTheTablesDialog() {
    testsupport::TempDir dir;
    testsupport::TdsEndpoint endpoint(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Items", "columns": [["Id", "int"], ["Name", "nvarchar(20)"]], "rows": [[7, "a"], [8, null], [9, "Ærø"]],
       "primary_key": {"name": "PK_Items", "columns": ["Id"]}}]})J");
    Form1 f;
    Fill(f, endpoint, "pw");
    FillTarget(f, testsupport::NewFirebirdDatabase(dir));
    const auto forget = qScopeGuard([] { Settings::Put("Verify", "0"); });
    bool offAtFirst = false;
    SetModalHandler([&](QDialog* d) {
      auto* t = dynamic_cast<TablesDialog*>(d);
      if (!t) return 0;
      offAtFirst = !t->VerifyAfter->isChecked();
      t->VerifyAfter->setChecked(true);
      return static_cast<int>(QDialog::Accepted);
    });
    f.TablesButton->click();
    SetModalHandler({});
    QVERIFY2(offAtFirst, "off until asked for");
    QCOMPARE(Settings::Get("Verify", ""), QString("1"));
    MsgBox::Log().clear();
    f.PushButton7_Click();
    WaitIdle(f);
    QCOMPARE(MsgBox::Log().last().title, QString("Conversion Summary"));
    QVERIFY2(MsgBox::Log().last().text.contains("Verified:\n    Table \"Items\": identical (3 rows)"),
             qPrintable(MsgBox::Log().last().text));
  }

  // Stop while the source still prepares a table's rows: the statement is cancelled and the run ends
  // within moments, the table before it whole.
  void stopWhileTheSourcePrepares() {
    testsupport::TempDir dir;
    testsupport::TdsEndpoint endpoint(dir, R"J({"database": "shop", "password": "pw", "tables": [
      {"name": "Locked", "select_delay": 60, "columns": [["A", "int"]], "rows": [[1]]},
      {"name": "Done", "columns": [["B", "int"]], "rows": [[2]]}]})J");
    auto target = testsupport::NewFirebirdDatabase(dir);
    Form1 f;
    Fill(f, endpoint, "pw");
    FillTarget(f, target);
    MsgBox::Log().clear();
    f.PushButton7_Click();
    // Tables go last to first: once the source holds the SELECT of "Locked", "Done" is whole.
    QVERIFY(QTest::qWaitFor(
        [&] {
          QFile log(QString::fromStdString(dir.File("endpoint.log")));
          return log.open(QIODevice::ReadOnly) && log.readAll().contains("SELECT * FROM [dbo].[Locked]");
        },
        30000));
    QElapsedTimer clock;
    clock.start();
    f.PushButton7_Click();  // "Stop Converting"
    WaitIdle(f, 20000);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(MsgBox::Log().size(), 1);  // the summary alone: no error box for the cancelled statement
    QVERIFY(MsgBox::Log()[0].text.startsWith("Stopped."));
    QVERIFY2(MsgBox::Log()[0].text.contains("Table \"Locked\": 0 rows read, 0 written, 0 rejected\n    not converted (stopped)"),
             qPrintable(MsgBox::Log()[0].text));
    ado::Connection c;
    c.Open(FireBird::ConnectionString(target));
    QCOMPARE(Rows(c, "SELECT * FROM \"Done\""), (std::vector<std::vector<std::string>>{{"2"}}));
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
  // the program at once, with what succeeded committed and the waiting statement cancelled.
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
    const qint64 endedAt = clock.elapsed();
    tick.stop();
    Form1::SetExitHandler([] {});
    // The timer ran all through the wait up to the close (2.5 s at 100 ms): the window was never frozen.
    QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
    // Closing cancelled the statement the source was working on: the run ended with the window.
    QVERIFY2(endedAt - closedAt < 2000, qPrintable(QString::number(endedAt - closedAt)));
    QVERIFY(moving);
    QCOMPARE(f.ProgressBar1->maximum(), 100);
    QVERIFY(closedAt > 0);
    QVERIFY(exitedAt >= closedAt && exitedAt - closedAt < 1000);
    QCOMPARE(committed, (std::vector<std::vector<std::string>>{{"2"}}));
  }
};

TARNWICK_GUI_TEST_MAIN_WITH(SqlServerTest, "freetds")
#include "sqlserver_test.moc"
