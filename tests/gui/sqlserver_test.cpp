#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

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
    QCOMPARE(MsgBox::Log().last().text, QString("Connection successful."));
    f.Text4->setText("wrong");
    f.PushButton[6]->click();
    QCOMPARE(MsgBox::Log().last().text, QString("Could not connect. Please check with your administrator."));
    // A password the driver cannot receive is told as such, not sent wrong.
    f.Text4->setText("a};b");
    f.PushButton[6]->click();
    QVERIFY(MsgBox::Log().last().text.startsWith("Could not connect. The value contains \"};\""));
  }

  void startConvertingCopiesEveryTable() {
    testsupport::TempDir dir;
    testsupport::TdsEndpoint endpoint(dir, kCatalog);
    auto target = testsupport::NewFirebirdDatabase(dir);
    Form1 f;
    Fill(f, endpoint, "Pa;ss}word");
    f.Text1->setText(QString::fromStdString(target.database));
    f.Text7->setText("SYSDBA");
    f.Text2->setText("masterkey");
    f.Check1->setChecked(false);
    f.PushButton7_Click();
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
};

TARNWICK_GUI_TEST_MAIN_WITH(SqlServerTest, "freetds")
#include "sqlserver_test.moc"
