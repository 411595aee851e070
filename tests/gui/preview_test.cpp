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

#include "GuiTestMain.h"
#include "app/Main.h"
#include "app/WindowHelpers.h"
#include "connectivity/Ado.h"
#include "conversion/ConversionRun.h"
#include "preview/Form2.h"
#include "preview/Form3.h"
#include "preview/Form4.h"
#include "preview/Form5.h"

using testsupport::Rows;

class PreviewTest : public QObject {
  Q_OBJECT

  std::unique_ptr<testsupport::TempDir> dir;
  FireBird::Login login;
  std::unique_ptr<ado::Connection> conn;
  bool formOK = false;

  Form2* Fresh() {
    if (Form2* old = Form2::Existing()) old->Unload();
    Form2* f = Form2::Instance();
    return f;
  }
  static void Fill(Form2* f, const std::vector<std::string>& rows) {
    for (const auto& r : rows) f->Script().Append(r);
    f->Script().Publish();
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
    formOK = false;
    Preview() = {conn.get(), &formOK};
    MsgBox::Log().clear();
    SetModalHandler({});
  }
  void cleanup() {
    if (Form2* f = Form2::Existing()) f->Unload();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Preview() = {};
    conn.reset();
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
    QVERIFY(!formOK);
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
    QVERIFY(formOK);
    QVERIFY(Form2::Existing() == nullptr);
    QCOMPARE(Count("T"), 7);
  }

  void emptyAndBlankScripts() {
    Form2* f = Fresh();
    f->PushButton1_Click();
    QCOMPARE(MsgBox::Log().last().text, QString("No SQL to run."));
    QVERIFY(Form2::Existing() == f);
    f->PushButton6_Click();  // nothing to jump to
    QCOMPARE(f->SelectedRow(), 0);
    Fill(f, {"   ", "", "  "});
    f->PushButton1_Click();
    QVERIFY(formOK);
    QVERIFY(Form2::Existing() == nullptr);
  }

  void otherErrorsAreToldAndTheRunGoesOn() {
    Form2* f = Fresh();
    // An overflow carries none of the statement-error markers.
    Fill(f, {"INSERT INTO \"T\" VALUES (99999999999);", "INSERT INTO \"T\" VALUES (2);"});
    QStringList bars;
    MsgBox::SetBeforeWait([&] { bars << f->ProgressBar1->format() + " " + QString::number(f->ProgressBar1->value()); });
    f->PushButton1_Click();
    MsgBox::SetBeforeWait({});
    QCOMPARE(MsgBox::Log().size(), 1);
    QCOMPARE(MsgBox::Log()[0].title, QString("Application Error"));
    QVERIFY(MsgBox::Log()[0].text.contains("Form2.PushButton1_Click"));
    QCOMPARE(bars, QStringList{"Please wait.. Processing row: 1 of 2 50"});
    QVERIFY(formOK);
    QCOMPARE(Count("T"), 1);
  }

  void statementMarkers() {
    QVERIFY(IsStatementError("Dynamic SQL Error\nsql ERROR code = -104"));
    QVERIFY(IsStatementError("java.sql.sqlexception: x"));
    QVERIFY(IsStatementError("UNSUCCESSFUL METADATA update"));
    QVERIFY(!IsStatementError("connection shutdown"));
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
    QVERIFY(!formOK);
    QVERIFY(Form2::Existing() == f);
    QVERIFY(!f->Text1->toPlainText().isEmpty());
  }

  void backAndSkip() {
    conversion::SQLTableOK = true;
    Form2* f = Fresh();
    f->PushButton5_Click();
    QVERIFY(conversion::SQLTableOK);
    QVERIFY(Form2::Existing() == nullptr);
    f = Fresh();
    Fill(f, {"INSERT INTO \"T\" VALUES (1);"});
    f->PushButton9_Click();
    QVERIFY(!conversion::SQLTableOK);
    QCOMPARE(Count("T"), 0);
    // A new window starts empty.
    QCOMPARE(Form2::Instance()->Script().Count(), 0);
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
    QVERIFY(opened[0].endsWith("?subject=Tarnwick&body=Here is the error message that I get: \nX"));
    f->Text1->setPlainText("  spaced error");
    f->PushButton4_Click();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("  spaced error"));
    QVERIFY(MsgBox::Log().last().text.startsWith("Error message have been copied to the clipboard.\r\r"));
    Shell::SetHandler([](const QString&) {});
  }

  void datatypesWindow() {
    Form5* w = Form5::Instance();
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
    Form5* again = Form5::Instance();
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
