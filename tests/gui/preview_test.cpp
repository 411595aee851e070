#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <QUrlQuery>
#include <QTextCursor>
#include <QTimer>

#include "GuiTestMain.h"
#include "app/Clipboard.h"
#include "app/WindowHelpers.h"
#include "connectivity/core/Ado.h"
#include "conversion/ConversionRun.h"
#include "preview/Form2.h"
#include "preview/Form3.h"
#include "preview/Form4.h"
#include "preview/Form5.h"
#include "app/Form1.h"
#include "preview/ScriptModel.h"
#include <QPointer>

using testsupport::Rows;

class PreviewTest : public QObject {
  Q_OBJECT

  std::unique_ptr<testsupport::TempDir> dir;
  FireBird::Login login;
  std::unique_ptr<ado::Connection> conn;
  conversion::PreviewOutcome outcome;

  std::unique_ptr<ScriptModel> script = std::make_unique<ScriptModel>();
  QPointer<Form2> current;    // the preview the test opened last
  QPointer<Form5> datatypes;  // the Datatypes window it shows

  Form5* Datatypes() {
    if (!datatypes) datatypes = new Form5();
    return datatypes;
  }
  Form2* Fresh() {
    if (Open()) current->Unload();
    current = new Form2(script.get(), conn.get(), [this] { return Datatypes(); });
    outcome = {};
    current->OnFinished([this](const conversion::PreviewOutcome& o) { outcome = o; });
    return current;
  }
  // The preview the test opened last is still shown.
  bool Open() const { return current && !current->Unloaded(); }
  static void Fill(Form2* f, const std::vector<std::string>& rows) {
    for (const auto& r : rows) f->Script().Append(r);
    f->Script().Publish();
  }
  // A fresh preview, shown, of `rows` INSERTs into "T".
  Form2* LongScript(int rows) {
    Form2* f = Fresh();
    f->show();
    std::vector<std::string> texts;
    for (int i = 0; i < rows; ++i) texts.push_back("INSERT INTO \"T\" VALUES (" + std::to_string(i) + ");");
    Fill(f, texts);
    return f;
  }
  long long Count(const std::string& table) {
    conn->Flush();
    ado::Connection other;
    other.Open(FireBird::ConnectionString(login));
    return std::stoll(Rows(other, "SELECT COUNT(*) FROM \"" + table + "\"")[0][0]);
  }

 private slots:
  void init() {
    dir = std::make_unique<testsupport::TempDir>();
    login = testsupport::NewFirebirdDatabase(*dir);
    conn = std::make_unique<ado::Connection>();
    conn->Open(FireBird::ConnectionString(login));
    conn->Execute("CREATE TABLE \"T\" (\"A\" INTEGER)");
    MsgBox::Log().clear();
    SetModalHandler({});
  }
  void cleanup() {
    if (Open()) current->Unload();
    delete datatypes.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    conn.reset();
  }

  // A window deleted by whatever owner goes first is not handed out again: the main window makes a new
  // one, empty, and forgets a preview that is gone.
  void deletedWindowsAreNotHandedOut() {
    Form1 form;
    Form5* first = form.DatatypesWindow();
    first->AppendRow("T", "C");
    delete first;
    Form5* second = form.DatatypesWindow();
    QVERIFY(second != nullptr);
    QCOMPARE(second->ListView1->topLevelItemCount(), 0);
    QVERIFY(form.PreviewWindow() == nullptr);
  }

  void layoutAndLoad() {
    Form2* f = Fresh();
    QCOMPARE(f->windowTitle(), QString("SQL Preview - Tarnwick"));
    QCOMPARE(f->Script().headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("SQL Preview"));
    QCOMPARE(static_cast<QAbstractItemModel&>(f->Script()).columnCount(), 1);
    QCOMPARE(f->ListView1->header()->sectionSize(0), 7000 / 15);
    QCOMPARE(f->ListView1->geometry(), QRect(8, 42, 520, 221));
    QCOMPARE(f->Button(9)->text(), QString("Skip Table / Do Not Execute SQL"));
    QCOMPARE(f->ProgressBar1->format(), QString("Progress Bar"));
    QVERIFY(f->Text1->toPlainText().isEmpty());
  }

  // While "Execute SQL" runs (on a thread of its own), Find and Replace, Close and Skip Table cannot be
  // used: the script the statements are read from stays as it is. The window keeps answering, and
  // "Execute SQL" reads "Stop Executing SQL". Everything comes back afterwards.
  void scriptStaysAsItIsDuringExecuteSql() {
    Form2* f = LongScript(3000);
    int findOpened = 0, ticks = 0;
    bool anyEnabled = false, stopOffered = true;
    SetModalHandler([&](QDialog* d) {
      if (dynamic_cast<Form3*>(d)) ++findOpened;
      return 0;
    });
    QTimer during;
    QObject::connect(&during, &QTimer::timeout, [&] {
      ++ticks;
      for (int n : {3, 5, 9}) anyEnabled |= f->Button(n)->isEnabled();
      stopOffered = stopOffered && f->Button(1)->isEnabled() && f->Button(1)->text() == "Stop Executing SQL";
      QTest::mouseClick(f->Button(3), Qt::LeftButton);
    });
    during.start(1);
    f->PushButton1_Click();
    during.stop();
    SetModalHandler({});
    QVERIFY(ticks > 0);
    QVERIFY(!anyEnabled);
    QVERIFY(stopOffered);
    QCOMPARE(findOpened, 0);
    QCOMPARE(Count("T"), 3000LL);
  }

  // "Stop Executing SQL" ends the run after the statement in progress: the rows before it are in and
  // committed, the window stays open at the row it stopped before, and the buttons come back.
  void stopDuringExecuteSql() {
    Form2* f = LongScript(20000);
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&] { QTest::mouseClick(f->Button(1), Qt::LeftButton); });
    later.start(150);
    f->PushButton1_Click();
    QVERIFY(!outcome.SQLFormOK);
    QVERIFY(Open() && current == f);
    const int stoppedAt = f->ErrorLine;
    QVERIFY2(stoppedAt > 1 && stoppedAt <= 20000, qPrintable(QString::number(stoppedAt)));
    QVERIFY(f->Text1->toPlainText().startsWith("Stopped before this row"));
    ado::Connection other;
    other.Open(FireBird::ConnectionString(login));
    QCOMPARE(std::stoll(Rows(other, "SELECT COUNT(*) FROM \"T\"")[0][0]), static_cast<long long>(stoppedAt - 1));
    QCOMPARE(f->Button(1)->text(), QString("Execute SQL"));
    for (int n : {1, 3, 5, 9}) QVERIFY(f->Button(n)->isEnabled());
  }

  // Closing the window while its rows run stops them after the statement in progress; it closes then.
  void closeDuringExecuteSql() {
    Form2* f = LongScript(20000);
    QTimer later;
    later.setSingleShot(true);
    QObject::connect(&later, &QTimer::timeout, [&] { f->close(); });
    later.start(150);
    f->PushButton1_Click();
    QVERIFY(!Open());
    QVERIFY(!outcome.SQLFormOK);
    QVERIFY(Count("T") < 20000);
  }

  void failingThirdRowOfFive() {
    Form2* f = Fresh();
    Fill(f, {"INSERT INTO \"T\" VALUES (1);", "INSERT INTO \"T\" VALUES (2);", "INSERT INTO \"T\" VALUE (3);",
             "INSERT INTO \"T\" VALUES (4);", "INSERT INTO \"T\" VALUES (5);"});
    f->PushButton1_Click();
    QCOMPARE(f->ErrorLine, 3);
    QCOMPARE(f->SelectedRow(), 3);
    QVERIFY(f->Text1->toPlainText().contains("SQL error"));
    QCOMPARE(f->ProgressBar1->value(), 0);
    QCOMPARE(f->ProgressBar1->format(), QString("Progress Bar"));
    QCOMPARE(MsgBox::Log().last().text, QString("Error found."));
    QVERIFY(!outcome.SQLFormOK);
    QCOMPARE(f->Pointer()->Mode(), kDefaultPointer);
    QCOMPARE(Count("T"), 2);
    // Jump finds the row again after the selection moved.
    f->ListView1->setCurrentIndex(f->Script().index(0));
    f->PushButton6_Click();
    QCOMPARE(f->SelectedRow(), 3);
    // Corrected and run again: from row 1, so rows 1 and 2 go in twice.
    f->Script().SetText(3, "INSERT INTO \"T\" VALUES (3);");
    QPointer<Form2> alive(f);
    f->PushButton1_Click();
    QVERIFY(outcome.SQLFormOK);
    QVERIFY(!Open());
    QCOMPARE(Count("T"), 7);
  }

  void emptyAndBlankScripts() {
    Form2* f = Fresh();
    f->PushButton1_Click();
    QCOMPARE(MsgBox::Log().last().text, QString("No SQL to run."));
    QVERIFY(Open() && current == f);
    f->PushButton6_Click();  // nothing to jump to
    QCOMPARE(f->SelectedRow(), 0);
    Fill(f, {"   ", "", "  "});
    f->PushButton1_Click();
    QVERIFY(outcome.SQLFormOK);
    QVERIFY(!Open());
  }

  void otherErrorsAreToldAndTheRunGoesOnButTheWindowStays() {
    Form2* f = Fresh();
    // An overflow and a string truncation carry none of the statement-error markers.
    conn->Execute("CREATE TABLE \"S\" (\"V\" VARCHAR(2))");
    Fill(f, {"INSERT INTO \"T\" VALUES (1);", "INSERT INTO \"T\" VALUES (99999999999);",
             "INSERT INTO \"T\" VALUES (2);", "INSERT INTO \"S\" VALUES ('toolong');"});
    QStringList bars;
    MsgBox::SetBeforeWait([&] { bars << f->ProgressBar1->format() + " " + QString::number(f->ProgressBar1->value()); });
    f->PushButton1_Click();
    MsgBox::SetBeforeWait({});
    // The first rejected row is told once; the script goes on; the window stays open at that row.
    QCOMPARE(MsgBox::Log().size(), 2);
    QCOMPARE(MsgBox::Log()[0].title, QString("Application Error"));
    QVERIFY(MsgBox::Log()[0].text.contains("Form2.PushButton1_Click"));
    QCOMPARE(MsgBox::Log()[1].text, QString("Error found."));
    QVERIFY(bars.first().startsWith("Please wait.. Processing row: "));
    QVERIFY(!outcome.SQLFormOK);
    QVERIFY(Open() && current == f);
    QCOMPARE(f->SelectedRow(), 2);
    QCOMPARE(f->ErrorLine, 2);
    QVERIFY(f->Text1->toPlainText().contains("numeric"));
    QCOMPARE(Count("T"), 2);
    // "Jump To Error Line" finds it again.
    f->ListView1->selectionModel()->select(f->Script().index(3), QItemSelectionModel::ClearAndSelect);
    f->PushButton6_Click();
    QCOMPARE(f->SelectedRow(), 2);
  }

  void aFailedFinalCommitKeepsTheWindowOpen() {
    Form2* f = Fresh();
    // A commit trigger refuses any transaction that holds a row 'boom': every row is accepted as it
    // runs, and only the closing commit fails.
    conn->Execute("CREATE TABLE \"B\" (\"V\" VARCHAR(10))");
    conn->Execute("CREATE EXCEPTION E_BOOM 'the commit is refused'");
    conn->Execute("CREATE TRIGGER TR_BOOM ON TRANSACTION COMMIT AS BEGIN "
                  "IF (EXISTS(SELECT 1 FROM \"B\" WHERE \"V\" = 'boom')) THEN EXCEPTION E_BOOM; END");
    conn->Flush();
    Fill(f, {"INSERT INTO \"B\" VALUES ('a');", "INSERT INTO \"B\" VALUES ('boom');"});
    f->PushButton1_Click();
    QCOMPARE(MsgBox::Log().size(), 1);
    QCOMPARE(MsgBox::Log()[0].title, QString("Application Error"));
    QVERIFY(MsgBox::Log()[0].text.contains("the commit is refused"));
    QVERIFY(!outcome.SQLFormOK);
    QVERIFY(Open() && current == f);
    QCOMPARE(f->SelectedRow(), 2);
    QVERIFY(f->Text1->toPlainText().contains("the commit is refused"));
  }

  // Whether a row stops the script is the engine's error code, not the words of its message: a value
  // that reads "SQL error" is a rejected row like any other, a refused CREATE stops there.
  void refusedStatementsAreToldByTheirCode() {
    Form2* f = Fresh();
    Fill(f, {"INSERT INTO \"T\" VALUES ('SQL error, unsuccessful metadata update');", "INSERT INTO \"T\" VALUES (2);",
             "CREATE TABLE \"T\" (\"A\" INTEGER);", "INSERT INTO \"T\" VALUES (3);"});
    f->PushButton1_Click();
    QCOMPARE(MsgBox::Log().last().text, QString("Error found."));
    QCOMPARE(f->ErrorLine, 3);
    QVERIFY(f->Text1->toPlainText().contains("already exists"));
    QCOMPARE(Count("T"), 1);
  }

  void lostConnectionStopsOnce() {
    Form2* f = Fresh();
    Fill(f, {"INSERT INTO \"T\" VALUES (1);", "INSERT INTO \"T\" VALUES (2);", "INSERT INTO \"T\" VALUES (3);"});
    auto id = Rows(*conn, "SELECT CURRENT_CONNECTION FROM RDB$DATABASE")[0][0];
    conn->Flush();
    {
      ado::Connection admin;
      admin.Open(FireBird::ConnectionString(login));
      admin.Execute("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + id);
    }
    f->PushButton1_Click();
    QCOMPARE(MsgBox::Log().size(), 2);
    QCOMPARE(MsgBox::Log()[0].title, QString("Application Error"));
    QVERIFY(MsgBox::Log()[0].text.contains("Form2.PushButton1_Click"));
    QCOMPARE(MsgBox::Log()[1].text, QString("Error found."));
    QCOMPARE(f->ErrorLine, 1);
    QVERIFY(!outcome.SQLFormOK);
    QVERIFY(Open() && current == f);
    QVERIFY(!f->Text1->toPlainText().isEmpty());
  }

  void backAndSkip() {
    Form2* f = Fresh();
    f->PushButton5_Click();
    QVERIFY(outcome.SQLTableOK);
    QVERIFY(!outcome.SQLFormOK);
    QVERIFY(!Open());
    f = Fresh();
    Fill(f, {"INSERT INTO \"T\" VALUES (1);"});
    f->PushButton9_Click();
    QVERIFY(!outcome.SQLTableOK);
    QCOMPARE(Count("T"), 0);
    // A new window starts empty.
    QCOMPARE(Fresh()->Script().Count(), 0);
  }

  void editLine() {
    Form2* f = Fresh();
    Fill(f, {"first;", "second;", "third;"});
    SetModalHandler([](QDialog* d) {
      auto* e = dynamic_cast<Form4*>(d);
      if (!e) return 0;
      if (e->Text1->toPlainText() == "second;") {
        e->Text1->setPlainText("line one\nline two;");
        e->PushButton2_Click();
      } else if (e->Text1->toPlainText() == "third;") {
        e->PushButton1_Click();
      } else {
        e->Text1->setPlainText("");
        e->PushButton2_Click();
      }
      return 0;
    });
    f->ListView1_Click(f->Script().index(1));
    f->ListView1_Click(f->Script().index(2));
    f->ListView1_Click(f->Script().index(0));
    QCOMPARE(f->Script().Count(), 3);
    QCOMPARE(f->Script().Text(1), std::string(""));
    QCOMPARE(f->Script().Text(2), std::string("line one\nline two;"));
    QCOMPARE(f->Script().Text(3), std::string("third;"));
    // A ticked box opens no editor.
    int opened = 0;
    SetModalHandler([&](QDialog*) { return ++opened; });
    f->Script().setData(f->Script().index(0), Qt::Checked, Qt::CheckStateRole);
    f->ListView1_Click(f->Script().index(0));
    QCOMPARE(opened, 0);
    f->ListView1_Click(QModelIndex());
    QCOMPARE(opened, 0);
  }

  void enterOnARowEditsItAndNeverRunsTheScript() {
    Form2* f = Fresh();
    Fill(f, {"INSERT INTO \"T\" VALUES (1);", "INSERT INTO \"T\" VALUES (2);", "INSERT INTO \"T\" VALUES (3);"});
    QStringList edited;
    SetModalHandler([&](QDialog* d) {
      if (auto* e = dynamic_cast<Form4*>(d)) edited << e->Text1->toPlainText();
      return 0;
    });
    f->show();
    QVERIFY(QTest::qWaitForWindowExposed(f));
    f->ListView1->setFocus();
    f->ListView1->setCurrentIndex(f->Script().index(0));
    QTest::keyClick(f->ListView1, Qt::Key_Down);
    QTest::keyClick(f->ListView1, Qt::Key_Return);
    QTest::keyClick(f->ListView1, Qt::Key_Enter);
    QCOMPARE(edited, (QStringList{"INSERT INTO \"T\" VALUES (2);", "INSERT INTO \"T\" VALUES (2);"}));
    QCOMPARE(Count("T"), 0);
    QVERIFY(Open() && current == f);
    // No button of the window, nor of Find and Replace, takes Enter for itself.
    for (int n = 1; n <= 9; ++n) {
      QVERIFY(!f->Button(n)->autoDefault());
      QVERIFY(!f->Button(n)->isDefault());
    }
    Form3 find(&f->Script());
    for (QPushButton* b : find.findChildren<QPushButton*>()) QVERIFY(!b->autoDefault() && !b->isDefault());
    // With the focus on "Find and Replace", Enter is that button's own, not "Execute SQL".
    SetModalHandler([](QDialog*) { return 0; });
    f->Button(3)->setFocus();
    QTest::keyClick(f->Button(3), Qt::Key_Return);
    QCOMPARE(Count("T"), 0);
  }

  void aTickWithSpaceDoesNotSwallowTheNextClick() {
    Form2* f = Fresh();
    Fill(f, {"a;", "b;", "c;"});
    int opened = 0;
    SetModalHandler([&](QDialog* d) { return dynamic_cast<Form4*>(d) ? ++opened : 0; });
    f->show();
    QVERIFY(QTest::qWaitForWindowExposed(f));
    f->ListView1->setFocus();
    f->ListView1->setCurrentIndex(f->Script().index(0));
    QTest::keyClick(f->ListView1, Qt::Key_Space);
    QVERIFY(f->Script().Checked(1));
    // A plain click on the text of another row opens it.
    const QRect r = f->ListView1->visualRect(f->Script().index(2));
    QTest::mouseClick(f->ListView1->viewport(), Qt::LeftButton, {}, QPoint(r.right() - 10, r.center().y()));
    QCOMPARE(opened, 1);
  }

  void editLineWritesBackOnlyWhatChanged() {
    ScriptModel m;
    const QString value = QString::fromUtf8("INSERT INTO \"T\" VALUES ('a\r\nb\rc\u00A0d\u2028e\u2029f\tg');");
    m.Append(value.toStdString());
    m.Append("other;");
    auto open = [&](int line) {
      auto* d = new Form4(&m);
      d->ListLine = line;
      d->Load(QString::fromStdString(m.Text(line)));
      return d;
    };
    // Unchanged: back byte for byte.
    open(1)->PushButton2_Click();
    QCOMPARE(m.Text(1), value.toStdString());
    // Typing keeps every character the user did not touch, at both ends and between the line breaks.
    auto* d = open(1);
    d->show();
    QVERIFY(QTest::qWaitForWindowExposed(d));
    d->Text1->setFocus();
    auto typeAt = [&](int position, const QString& keys) {
      QTextCursor c = d->Text1->textCursor();
      c.setPosition(position);
      d->Text1->setTextCursor(c);
      QTest::keyClicks(d->Text1, keys);
    };
    const QString shown = d->Text1->toPlainText();
    typeAt(static_cast<int>(shown.indexOf("g')")) + 1, "h");
    typeAt(static_cast<int>(shown.indexOf('c')) + 1, "X");
    typeAt(static_cast<int>(shown.indexOf(" INTO")), " ");
    QTest::keyClick(d->Text1, Qt::Key_Backspace);  // and takes the blank back
    QTest::keyClick(d->Text1, Qt::Key_Delete);      // removes the blank before INTO
    d->PushButton2_Click();
    QString want = value;
    want.replace("g');", "gh');");
    want.replace("\rc", "\rcX");
    want.replace("INSERT INTO", "INSERTINTO");
    QCOMPARE(QString::fromStdString(m.Text(1)), want);
    // A text replaced as a whole is taken as it is.
    d = open(2);
    d->Text1->setPlainText("new\ntext;");
    d->PushButton2_Click();
    QCOMPARE(m.Text(2), std::string("new\ntext;"));
  }

  void editLineSelectsAllOnFocus() {
    ScriptModel m;
    m.Append("abc;");
    Form4 d(&m);
    d.ListLine = 1;
    d.Text1->setPlainText("abc;");
    d.show();
    d.Text1->setFocus();
    QApplication::processEvents();
    QCOMPARE(d.Text1->textCursor().selectedText(), QString("abc;"));
  }

  void findAndReplace() {
    ScriptModel m;
    for (const char* r : {"CREATE TABLE x (a VARCHAR(5), b varchar(6));", "VarChar here", "", "nothing"})
      m.Append(r);
    QCOMPARE(ReplaceFirst("Abc abc", "ABC", "x"), QString("x abc"));
    QCOMPARE(ReplaceFirst("abc", "", "x"), QString("abc"));
    QCOMPARE(ReplaceFirst("", "", "x"), QString(""));
    auto pass = [&](const QString& find, const QString& with) {
      auto* d = new Form3(&m);
      d->Text1->setText(find);
      d->Text2->setText(with);
      d->PushButton2_Click();
    };
    pass("varchar", "BLOB");
    QCOMPARE(m.Text(1), std::string("CREATE TABLE x (a BLOB(5), b varchar(6));"));
    QCOMPARE(m.Text(2), std::string("BLOB here"));
    QCOMPARE(MsgBox::Log().last().text, QString("Done."));
    pass("BLOB", "BLOB BLOB");
    QCOMPARE(m.Text(2), std::string("BLOB BLOB here"));
    pass("blob ", "");
    QCOMPARE(m.Text(2), std::string("BLOB here"));
    MsgBox::Log().clear();
    pass("", "zzz");
    QCOMPARE(m.Text(4), std::string("nothing"));
    QCOMPARE(MsgBox::Log().last().text, QString("Done."));
    ScriptModel empty;
    auto* d = new Form3(&empty);
    d->PushButton2_Click();
    QCOMPARE(MsgBox::Log().last().text, QString("No SQL to run."));
    QVERIFY(d->isVisible() || !d->isHidden() || true);
    d->PushButton1_Click();
  }

  void clipboard() {
    Form2* f = Fresh();
    Fill(f, {"keep  ", "  lead and trail  ", "not ticked"});
    f->PushButton2_Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString(""));
    QVERIFY(MsgBox::Log().last().text.startsWith("Results have been copied to the clipboard.\r\rClick"));
    f->Script().setData(f->Script().index(0), Qt::Checked, Qt::CheckStateRole);
    f->Script().setData(f->Script().index(1), Qt::Checked, Qt::CheckStateRole);
    f->PushButton2_Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("keep\r\n  lead and trail\r\n"));
    f->Script().SetAllChecked(true);
    QCOMPARE(Main::ListClipboardText(f->Script()), QString("keep\r\n  lead and trail\r\nnot ticked\r\n"));
    // A list without rows leaves the clipboard alone.
    Main::SetClipboardText("before");
    ScriptModel empty;
    Main::CopyListToClipboard(empty);
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("before"));

    QStandardItemModel grid(0, 3);
    auto add = [&](QStringList cells, bool ticked) {
      QList<QStandardItem*> items;
      for (const auto& c : cells) items << new QStandardItem(c);
      items[0]->setCheckable(true);
      items[0]->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
      grid.appendRow(items);
    };
    add({"Orders", "Id", "int"}, true);
    add({"T", "LongColumnName", "x"}, false);
    add({"Cust", "Nm", ""}, true);
    QCOMPARE(Main::ListClipboardText(grid), QString("Orders\tId            \tint\r\nCust  \tNm            \t\r\n"));
  }

  void errorTextButtons() {
    Form2* f = Fresh();
    QStringList opened;
    Shell::SetHandler([&](const QString& t) { opened << t; });
    f->Text1->setPlainText("   ");
    Main::SetClipboardText("untouched");
    MsgBox::Log().clear();
    f->PushButton4_Click();
    f->PushButton8_Click();
    QVERIFY(MsgBox::Log().isEmpty());
    QVERIFY(opened.isEmpty());
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("untouched"));
    f->Text1->setPlainText("X");
    f->PushButton8_Click();
    QCOMPARE(opened.size(), 1);
    QVERIFY(opened[0].startsWith("mailto:"));
    QVERIFY(opened[0].endsWith("?subject=Tarnwick&body=Here%20is%20the%20error%20message%20that%20I%20get%3A%20%0AX"));
    // The whole text reaches the mail body: "#", "&", "?" and line breaks included.
    const QString awkward = "Error #1 & more? 100%\r\nline two";
    f->Text1->setPlainText(awkward);
    f->PushButton8_Click();
    const QUrl mail(opened.last());
    QCOMPARE(mail.scheme(), QString("mailto"));
    QCOMPARE(QUrlQuery(mail).queryItemValue("subject", QUrl::FullyDecoded), QString("Tarnwick"));
    QCOMPARE(QUrlQuery(mail).queryItemValue("body", QUrl::FullyDecoded),
             "Here is the error message that I get: \n" + f->Text1->toPlainText());
    QVERIFY(mail.fragment().isEmpty());
    f->Text1->setPlainText("  spaced error");
    f->PushButton4_Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("  spaced error"));
    QVERIFY(MsgBox::Log().last().text.startsWith("Error message have been copied to the clipboard.\r\r"));
    Shell::SetHandler([](const QString&) {});
  }

  void datatypesWindow() {
    Form5* w = Datatypes();
    QCOMPARE(w->windowTitle(), QString("Datatypes Conversion - Tarnwick"));
    QCOMPARE(w->ListView1->columnCount(), 4);
    QCOMPARE(w->ListView1->headerItem()->text(3), QString("New Firebird Datatype"));
    for (int c = 0; c < 4; ++c) QCOMPARE(w->ListView1->header()->sectionSize(c), 1700 / 15);
    w->AppendRow("Orders", "Id");
    w->SetLastRowTypes("int", "INTEGER");
    QCOMPARE(w->ListView1->topLevelItemCount(), 1);
    QCOMPARE(w->ListView1->topLevelItem(0)->text(2), QString("int"));
    w->PushButton5_Click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Form5* again = Datatypes();
    QCOMPARE(again->ListView1->topLevelItemCount(), 0);
    QCOMPARE(again->ListView1->columnCount(), 4);
    again->PushButton5_Click();
  }

  void scriptKeepsEveryTextThroughEdits() {
    ScriptModel m;
    std::vector<std::string> want;
    for (int i = 0; i < 300; ++i) {
      want.push_back(i % 100 == 7 ? std::string(2 << 20, char('a' + i % 26)) : "row " + std::to_string(i));
      m.Append(want.back());
    }
    m.Publish();
    m.setData(m.index(5), Qt::Checked, Qt::CheckStateRole);
    // Enough replaced text to make the list drop what it no longer needs.
    for (int round = 0; round < 40; ++round)
      for (int n = 1; n <= 300; n += 3) {
        want[n - 1] = std::string(1000 + round, char('A' + round % 26)) + std::to_string(n);
        m.SetText(n, want[n - 1]);
      }
    m.SetText(2, "");
    want[1].clear();
    for (int n = 1; n <= 300; ++n) QCOMPARE(m.Text(n), want[n - 1]);
    QVERIFY(m.Checked(6));
    QVERIFY(!m.Checked(7));
    QVERIFY(m.TextBytes() < 40u << 20);
  }

  void millionRows() {
    Form2* f = Fresh();
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < 1000000; ++i)
      f->Script().Append("INSERT INTO \"T\" VALUES (" + std::to_string(i) + ", 'some text for the row');");
    qint64 append = t.restart();
    // About 60 bytes of text a row: the blocks hold them with little to spare.
    QVERIFY(f->Script().TextBytes() < 70u * 1000000);
    f->Script().Publish();
    f->show();
    QApplication::processEvents();
    f->ListView1->scrollToBottom();
    QApplication::processEvents();
    qint64 show = t.restart();
    ScriptModel& m = f->Script();
    auto* d = new Form3(&m);
    d->Text1->setText("some TEXT");
    d->Text2->setText("other text");
    d->PushButton2_Click();
    qint64 replace = t.restart();
    QCOMPARE(m.Text(1000000), std::string("INSERT INTO \"T\" VALUES (999999, 'other text for the row');"));
    m.SetAllChecked(true);
    t.restart();
    f->PushButton2_Click();
    qint64 copy = t.elapsed();
    QVERIFY(QGuiApplication::clipboard()->text().size() > 50000000);
    qInfo("1,000,000 rows: append %lld ms, show and scroll %lld ms, replace %lld ms, copy %lld ms; %zu MB for "
          "the texts",
          append, show, replace, copy, m.TextBytes() >> 20);
    QVERIFY(append < 10000);
    QVERIFY(show < 2000);
  }
};

TARNWICK_GUI_TEST_MAIN(PreviewTest)
#include "preview_test.moc"
