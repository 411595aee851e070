#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "GuiTestMain.h"
#include "app/Form1.h"
#include "app/WindowHelpers.h"
#include "conversion/ConversionRun.h"
#include "preview/Form2.h"
#include "preview/Form5.h"

#include <QTreeWidget>

using testsupport::Rows;

class RunTest : public QObject {
  Q_OBJECT

  std::unique_ptr<testsupport::TempDir> dir;
  MSSQL::Login source;
  FireBird::Login target;
  std::unique_ptr<Form1> form;

  void Make(bool preview, bool perTable, std::vector<std::string> setup) {
    dir = std::make_unique<testsupport::TempDir>();
    source = testsupport::NewSqliteSource(*dir, setup);
    target = testsupport::NewFirebirdDatabase(*dir);
    form = std::make_unique<Form1>();
    form->Text5->setText("localhost");
    form->Text8->setText(QString::fromStdString(source.database));
    form->Text1->setText(QString::fromStdString(target.database));
    form->Text7->setText("SYSDBA");
    form->Text2->setText("masterkey");
    form->Check1->setChecked(preview);
    (perTable ? form->Option2 : form->Option1)->setChecked(true);
  }
  std::vector<std::vector<std::string>> Query(const std::string& sql) {
    ado::Connection c;
    c.Open(FireBird::ConnectionString(target));
    return Rows(c, sql);
  }
  static QStringList Texts() {
    QStringList out;
    for (const auto& m : MsgBox::Log()) out << m.text;
    return out;
  }
  static std::vector<std::string> Script(Form2* f) {
    std::vector<std::string> out;
    for (int n = 1; n <= f->Script().Count(); ++n) out.push_back(f->Script().Text(n));
    return out;
  }

  const std::vector<std::string> kThreeTables{
      "CREATE TABLE Alpha (Id INTEGER, Name VARCHAR(5), Born TIMESTAMP)",
      "INSERT INTO Alpha VALUES (1, 'O''B', '2001-05-03 14:05:09')",
      "INSERT INTO Alpha VALUES (2, 'much too long', NULL)",  // Firebird rejects this row
      "INSERT INTO Alpha VALUES (3, NULL, '2000-01-01 00:00:00')",
      "CREATE TABLE Beta (Code INTEGER, Amount DOUBLE)",
      "INSERT INTO Beta VALUES (7, 0.25)",
      "CREATE TABLE Gamma (X INTEGER)"};

 private slots:
  void init() {
    MsgBox::Log().clear();
    SetModalHandler({});
    Form1::SetNudgeDraw([] { return 1; });
  }
  void cleanup() {
    if (form && form->PreviewWindow() && !form->PreviewWindow()->Unloaded()) form->PreviewWindow()->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    form.reset();
  }

  // "Skip Complete Tables" on the first Overwrite?: no further question; a complete table stays, one
  // holding its first rows goes on after the largest key.
  void firstOverwriteCanSkipCompleteTables() {
    Make(false, false, {"CREATE TABLE Keyed (Id INTEGER NOT NULL PRIMARY KEY, Name VARCHAR(10))",
                        "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < 300) "
                        "INSERT INTO Keyed SELECT x, 'n' || x FROM n",
                        "CREATE TABLE Whole (X INTEGER)", "INSERT INTO Whole VALUES (5)"});
    form->PushButton7_Click();
    WaitIdle(*form);
    {
      ado::Connection c;
      c.Open(FireBird::ConnectionString(target));
      c.Execute("DELETE FROM \"Keyed\" WHERE \"Id\" > 120");
    }
    MsgBox::Log().clear();
    MsgBox::QueueAnswer(MsgBox::Resume);
    form->PushButton7_Click();
    WaitIdle(*form);
    int asked = 0;
    for (const auto& m : MsgBox::Log())
      if (m.title == "Overwrite?") {
        ++asked;
        QCOMPARE(m.buttons, static_cast<int>(MsgBox::YesNoResume));
      }
    QCOMPARE(asked, 1);
    for (const auto& m : MsgBox::Log()) QVERIFY2(m.title != "Application Error", qPrintable(m.text));
    const QString summary = MsgBox::Log().last().text;
    QVERIFY2(!summary.contains("not made"), qPrintable(summary));
    QVERIFY2(summary.contains("Table \"Whole\": 0 rows read, 0 written, 0 rejected\n    already complete: 1 rows"), qPrintable(summary));
    QVERIFY2(summary.contains("resumed: 120 rows were in Firebird already; copied from the first row after Id = 120 on"),
             qPrintable(summary));
    QCOMPARE(Query("SELECT COUNT(*), COUNT(DISTINCT \"Id\") FROM \"Keyed\""), (std::vector<std::vector<std::string>>{{"300", "300"}}));
  }

  void firstOverwriteCanBringEveryTableUpToDate() {
    Make(false, false, {"CREATE TABLE Keyed (Id INTEGER NOT NULL PRIMARY KEY, Name VARCHAR(10))",
                        "INSERT INTO Keyed VALUES (1, 'one'), (2, 'two'), (3, 'three')", "CREATE TABLE Loose (X INTEGER)",
                        "INSERT INTO Loose VALUES (5), (5)"});
    form->PushButton7_Click();
    WaitIdle(*form);
    // Firebird drifts from the source: a row changed, one gone, one more of a keyless table.
    {
      ado::Connection c;
      c.Open(FireBird::ConnectionString(target));
      c.Execute("UPDATE \"Keyed\" SET \"Name\" = 'TWO' WHERE \"Id\" = 2");
      c.Execute("DELETE FROM \"Keyed\" WHERE \"Id\" = 3");
      c.Execute("INSERT INTO \"Loose\" VALUES (5)");
    }
    MsgBox::Log().clear();
    MsgBox::QueueAnswer(MsgBox::Sync);
    form->PushButton7_Click();
    WaitIdle(*form);
    int asked = 0;
    for (const auto& m : MsgBox::Log()) {
      asked += m.title == "Overwrite?";
      QVERIFY2(m.title != "Application Error", qPrintable(m.text));
    }
    QCOMPARE(asked, 1);
    const QString summary = MsgBox::Log().last().text;
    QVERIFY2(summary.contains("Table \"Keyed\": brought up to date: 1 inserted, 1 updated, 0 deleted of 3 rows"),
             qPrintable(summary));
    QVERIFY2(summary.contains("Table \"Loose\": brought up to date: 0 inserted, 0 updated, 1 deleted of 2 rows"),
             qPrintable(summary));
    QCOMPARE(Query("SELECT \"Id\", \"Name\" FROM \"Keyed\" ORDER BY 1"),
             (std::vector<std::vector<std::string>>{{"1", "one"}, {"2", "two"}, {"3", "three"}}));
    QCOMPARE(Query("SELECT COUNT(*) FROM \"Loose\""), (std::vector<std::vector<std::string>>{{"2"}}));
  }

  void previewOffOverwriteYes() {
    Make(false, false, kThreeTables);
    {
      ado::Connection c;
      c.Open(FireBird::ConnectionString(target));
      c.Execute("CREATE TABLE \"Beta\" (\"Old\" INTEGER)");
      c.Execute("INSERT INTO \"Beta\" VALUES (99)");
    }
    MsgBox::QueueAnswer(MsgBox::Yes);
    form->PushButton7_Click();
    WaitIdle(*form);
    QStringList texts = Texts();
    QCOMPARE(texts.size(), 4);
    QCOMPARE(texts[0], QString("Would you like to overwrite Beta?"));
    QCOMPARE(MsgBox::Log()[0].title, QString("Overwrite?"));
    QCOMPARE(MsgBox::Log()[1].title, QString("Application Error"));
    QVERIFY(texts[1].contains("in Brennhall2021/08/31.Form1.PushButton7_Click at line"));
    QCOMPARE(texts[2], QString("Done."));
    // The rejected row is named in the summary after "Done.".
    QCOMPARE(MsgBox::Log()[3].title, QString("Conversion Summary"));
    QVERIFY(texts[3].contains("Table \"Alpha\": 3 rows read, 2 written, 1 rejected\n    row 2: "));
    QCOMPARE(Query("SELECT * FROM \"Beta\""), (std::vector<std::vector<std::string>>{{"7", "0.25"}}));
    QCOMPARE(Query("SELECT \"Id\", \"Name\", \"Born\" FROM \"Alpha\" ORDER BY 1"),
             (std::vector<std::vector<std::string>>{{"1", "O'B", "2001-05-03 14:05:09"},
                                                    {"3", "<null>", "2000-01-01 00:00:00"}}));
    QCOMPARE(Query("SELECT COUNT(*) FROM \"Gamma\"")[0][0], std::string("0"));
    QCOMPARE(form->ProgressBar1->format(), QString("Progress Bar"));
    QCOMPARE(form->ProgressBar1->value(), 0);
    QCOMPARE(form->Pointer()->Mode(), kDefaultPointer);
    QVERIFY(!form->Converting());
    QVERIFY(!form->firebird_conn->IsOpen());
    QCOMPARE(form->tbl, std::string("Alpha"));  // the last table converted
  }

  // While the run uses the login panels, typing and ticking there are dropped; afterwards they work.
  void inputDuringTheRunIsIgnored() {
    Make(false, false, kThreeTables);
    {
      ado::Connection c;
      c.Open(FireBird::ConnectionString(target));
      c.Execute("CREATE TABLE \"Beta\" (\"Old\" INTEGER)");
    }
    const QString path = form->Text1->text();
    MsgBox::SetBeforeWait([&] {
      if (!form->Converting()) return;
      QTest::keyClicks(form->Text1, "zz");
      QTest::mouseClick(form->Check1, Qt::LeftButton);
      QTest::mouseClick(form->Option2, Qt::LeftButton);
    });
    MsgBox::QueueAnswer(MsgBox::Yes);
    form->PushButton7_Click();
    WaitIdle(*form);
    MsgBox::SetBeforeWait({});
    QCOMPARE(form->Text1->text(), path);
    QVERIFY(!form->Check1->isChecked());
    QVERIFY(form->Option1->isChecked());
    QCOMPARE(Query("SELECT COUNT(*) FROM \"Alpha\"")[0][0], std::string("2"));
    QTest::mouseClick(form->Check1, Qt::LeftButton);
    QVERIFY(form->Check1->isChecked());
  }

  void previewOffOverwriteNoLeavesTableAlone() {
    Make(false, false, kThreeTables);
    {
      ado::Connection c;
      c.Open(FireBird::ConnectionString(target));
      c.Execute("CREATE TABLE \"BETA\" (\"Old\" INTEGER)");
      c.Execute("INSERT INTO \"BETA\" VALUES (99)");
    }
    MsgBox::QueueAnswer(MsgBox::No);
    form->PushButton7_Click();
    WaitIdle(*form);
    QCOMPARE(Texts().first(), QString("Would you like to overwrite Beta?"));
    QCOMPARE(Query("SELECT * FROM \"BETA\""), (std::vector<std::vector<std::string>>{{"99"}}));
    QCOMPARE(Query("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$RELATION_NAME = 'Beta'")[0][0], std::string("0"));
    QCOMPARE(Texts()[Texts().size() - 2], QString("Done."));
    QCOMPARE(MsgBox::Log().last().title, QString("Conversion Summary"));
  }

  void perFilePreviewHoldsEveryTableLastEntryFirst() {
    Make(true, false, kThreeTables);
    std::vector<std::string> seen;
    QStringList datatypes;
    int shown = 0;
    QString caption;
    bool othersEnabled = true;
    SetModalHandler([&](QDialog* d) {
      auto* f = dynamic_cast<Form2*>(d);
      if (!f) return 0;
      ++shown;
      // During the run the button stops it, and the window's other controls wait.
      caption = form->PushButton[7]->text();
      othersEnabled = form->PushButton[1]->isEnabled() || form->PushButton[2]->isEnabled() || form->Text1->isEnabled();
      seen = Script(f);
      for (int i = 0; i < form->DatatypesWindow()->ListView1->topLevelItemCount(); ++i)
        datatypes << form->DatatypesWindow()->ListView1->topLevelItem(i)->text(1);
      f->Script().SetText(6, "INSERT INTO \"Alpha\" VALUES (2, 'short', NULL);");
      f->PushButton1_Click();
      return 0;
    });
    form->PushButton7_Click();
    WaitIdle(*form);
    QCOMPARE(shown, 1);
    QCOMPARE(caption, QString("Stop Converting"));
    QVERIFY(!othersEnabled);
    QCOMPARE(form->PushButton[7]->text(), QString("Start Converting"));
    QCOMPARE(form->windowTitle(), QString("Tarnwick"));
    QVERIFY(form->PushButton[1]->isEnabled() && form->Text1->isEnabled());
    QCOMPARE(seen.size(), size_t(7));
    QCOMPARE(seen[0], std::string("CREATE TABLE \"Gamma\" (\"X\" INTEGER);"));
    QCOMPARE(seen[1], std::string("CREATE TABLE \"Beta\" (\"Code\" INTEGER, \"Amount\" DOUBLE PRECISION);"));
    QCOMPARE(seen[2], std::string("INSERT INTO \"Beta\" VALUES (7, 0.25);"));
    QCOMPARE(seen[3].substr(0, 22), std::string("CREATE TABLE \"Alpha\" ("));
    QCOMPARE(seen[6], std::string("INSERT INTO \"Alpha\" VALUES (3,NULL, '01/01/2000');"));
    QCOMPARE(datatypes, (QStringList{"X", "Code", "Amount", "Id", "Name", "Born"}));
    QVERIFY(form->SQLFormOK);
    QCOMPARE(Query("SELECT COUNT(*) FROM \"Alpha\"")[0][0], std::string("3"));
    QCOMPARE(Texts().last(), QString("Done."));
  }

  void perFileBackExecutesNothing() {
    Make(true, false, kThreeTables);
    SetModalHandler([&](QDialog* d) {
      if (auto* f = dynamic_cast<Form2*>(d)) f->PushButton5_Click();
      return 0;
    });
    form->PushButton7_Click();
    WaitIdle(*form);
    QVERIFY(!form->SQLFormOK);
    QCOMPARE(Query("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0")[0][0], std::string("0"));
    QCOMPARE(Texts(), QStringList{"Done."});
  }

  void perTableSkipGoesOnAndBackEnds() {
    Make(true, true, kThreeTables);
    std::vector<std::vector<std::string>> previews;
    SetModalHandler([&](QDialog* d) {
      auto* f = dynamic_cast<Form2*>(d);
      if (!f) return 0;
      previews.push_back(Script(f));
      if (previews.size() == 1) f->PushButton9_Click();  // skip Gamma
      else f->PushButton5_Click();                        // back at Beta: the run ends
      return 0;
    });
    form->PushButton7_Click();
    WaitIdle(*form);
    QCOMPARE(previews.size(), size_t(2));
    QCOMPARE(previews[0], std::vector<std::string>{"CREATE TABLE \"Gamma\" (\"X\" INTEGER);"});
    QCOMPARE(previews[1].size(), size_t(2));
    QCOMPARE(Texts(), QStringList{"Done."});
    QCOMPARE(Query("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0")[0][0], std::string("0"));
  }

  void perTableExecuteEndsTheLoop() {
    Make(true, true, kThreeTables);
    int shown = 0;
    SetModalHandler([&](QDialog* d) {
      if (auto* f = dynamic_cast<Form2*>(d)) {
        ++shown;
        f->PushButton1_Click();
      }
      return 0;
    });
    form->PushButton7_Click();
    WaitIdle(*form);
    QCOMPARE(shown, 1);
    QCOMPARE(Query("SELECT COUNT(*) FROM RDB$RELATIONS WHERE RDB$SYSTEM_FLAG = 0")[0][0], std::string("1"));
  }

  void wrongFirebirdPathIsNamedAndTheRunEnds() {
    Make(false, false, kThreeTables);
    form->Text1->setText(QString::fromStdString(dir->File("missing.fdb")));
    form->PushButton7_Click();
    WaitIdle(*form);
    QCOMPARE(MsgBox::Log().size(), 1);
    QVERIFY(MsgBox::Log()[0].text.startsWith("Firebird or Interbase Login: Could not connect.\r\r"));
    QVERIFY(MsgBox::Log()[0].text.contains("missing.fdb"));
    QCOMPARE(form->Pointer()->Mode(), kDefaultPointer);
    QVERIFY(!form->Converting());
  }

  void noUserTables() {
    Make(false, false, {"CREATE VIEW V AS SELECT 1 AS A"});
    form->PushButton7_Click();
    WaitIdle(*form);
    QCOMPARE(Texts(), QStringList{"Done."});
    Make(true, false, {"CREATE VIEW V AS SELECT 1 AS A"});
    int rows = -1;
    SetModalHandler([&](QDialog* d) {
      if (auto* f = dynamic_cast<Form2*>(d)) {
        rows = f->Script().Count();
        f->PushButton5_Click();
      }
      return 0;
    });
    MsgBox::Log().clear();
    form->PushButton7_Click();
    WaitIdle(*form);
    QCOMPARE(rows, 0);
    QCOMPARE(Texts(), QStringList{"Done."});
  }

  // Escape (or "Stop Converting") ends a long table within moments: the tables done and the rows of the
  // current one written so far stay, the rest is named, and the window's other controls were off meanwhile.
  void stopDuringALongTable() {
    Make(false, false,
         {"CREATE TABLE A_Rest (X INTEGER)", "INSERT INTO A_Rest VALUES (1)", "CREATE TABLE B_Long (X INTEGER)",
          "INSERT INTO B_Long WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300000) "
          "SELECT i FROM n",
          "CREATE TABLE C_Done (X INTEGER)", "INSERT INTO C_Done VALUES (7)"});
    form->show();
    form->PushButton7_Click();
    QTRY_VERIFY_WITH_TIMEOUT(form->ProgressBar1->format().contains("B_Long") && form->ProgressBar1->value() > 0 &&
                                 form->ProgressBar1->value() < 100,
                             30000);
    QCOMPARE(form->PushButton[7]->text(), QString("Stop Converting"));
    // The whole run's progress is in the title: C_Done was the first table, B_Long is the second.
    QTRY_VERIFY(form->windowTitle().startsWith("Tarnwick - table 2 of 3, "));
    QVERIFY(!form->PushButton[1]->isEnabled());  // browse
    QVERIFY(!form->PushButton[2]->isEnabled());  // Load Sample
    QVERIFY(!form->Text1->isEnabled() && !form->Check1->isEnabled());
    QElapsedTimer clock;
    clock.start();
    QTest::keyClick(form.get(), Qt::Key_Escape);
    WaitIdle(*form, 10000);
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(form->PushButton[7]->text(), QString("Start Converting"));
    QCOMPARE(form->windowTitle(), QString("Tarnwick"));
    QVERIFY(form->PushButton[1]->isEnabled() && form->Text1->isEnabled());
    QVERIFY(!Texts().contains("Done."));
    QCOMPARE(MsgBox::Log().last().title, QString("Conversion Summary"));
    const QString summary = MsgBox::Log().last().text;
    QVERIFY2(summary.startsWith("Stopped."), qPrintable(summary));
    QVERIFY(summary.contains("Table \"A_Rest\": 0 rows read, 0 written, 0 rejected\n    not converted (stopped)"));
    QCOMPARE(Query("SELECT \"X\" FROM \"C_Done\""), (std::vector<std::vector<std::string>>{{"7"}}));
    const long long copied = std::stoll(Query("SELECT COUNT(*) FROM \"B_Long\"")[0][0]);
    QVERIFY2(copied > 0 && copied < 300000, qPrintable(QString::number(copied) + "\n" + summary));
    QVERIFY(summary.contains(QString("incomplete: %1 of 300000 rows (stopped at row %2").arg(copied).arg(copied + 1)));
  }

  void lostFirebirdConnectionIsToldOnce() {
    std::vector<std::string> setup{"CREATE TABLE A (X INTEGER)", "CREATE TABLE B (X INTEGER)"};
    for (int i = 0; i < 50; ++i) setup.push_back("INSERT INTO A VALUES (" + std::to_string(i) + ")");
    Make(false, false, setup);
    // The first overwrite question is the moment to cut the working connection.
    {
      ado::Connection c;
      c.Open(FireBird::ConnectionString(target));
      c.Execute("CREATE TABLE \"B\" (\"X\" INTEGER)");
    }
    bool cut = false;
    MsgBox::SetBeforeWait([&] {
      if (cut || !form->Converting()) return;
      cut = true;
      ado::Connection admin;
      admin.Open(FireBird::ConnectionString(target));
      auto mine = Rows(admin, "SELECT CURRENT_CONNECTION FROM RDB$DATABASE")[0][0];
      admin.Execute("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID <> " + mine +
                    " AND MON$SYSTEM_FLAG = 0");
    });
    MsgBox::QueueAnswer(MsgBox::Yes);
    form->PushButton7_Click();
    WaitIdle(*form);
    QStringList texts = Texts();
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts[0], QString("Would you like to overwrite B?"));
    QCOMPARE(MsgBox::Log()[1].title, QString("Application Error"));
    // No "Done.": the summary names the table in progress and the one not reached.
    QVERIFY2(texts[2].startsWith("Table \"B\": 0 rows read, 0 written, 0 rejected\n    not converted (connection lost)"), qPrintable(texts[2]));
    QVERIFY(texts[2].contains("Table \"A\": 0 rows read, 0 written, 0 rejected\n    not converted (connection lost)"));
    QCOMPARE(form->Pointer()->Mode(), kDefaultPointer);
    MsgBox::SetBeforeWait({});
  }
};

TARNWICK_GUI_TEST_MAIN(RunTest)
#include "run_test.moc"
