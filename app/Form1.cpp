#include "app/Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QDateTime>
#include <QKeyEvent>
#include <QTime>
#include <QTimer>
#include <cstdlib>

#include "app/EncryptionDialog.h"
#include "app/HelpMessages.h"
#include "app/RunWorker.h"
#include "app/MsgBox.h"
#include "app/Settings.h"
#include "app/Shell.h"
#include "app/TablesDialog.h"
#include "app/SkinFramework.h"
#include "app/WindowHelpers.h"
#include "connectivity/core/ConnString.h"
#include "connectivity/firebird/FirebirdBackend.h"
#include "connectivity/sqlserver/Encryption.h"
#include "connectivity/core/ErrorTrap.h"
#include "connectivity/firebird/FireBird.h"
#include "connectivity/sqlserver/MSSQL.h"
#include "conversion/Casts.h"
#include "conversion/Progress.h"
#include "app/UiYield.h"
#include "preview/Background.h"
#include "preview/Form2.h"
#include "preview/Form5.h"

namespace {
std::function<void()> g_exit = [] {
  // Ending at once: a file this process left without forced writes gets them back first.
  ado::RestoreLeftOverForcedWrites(true);
  std::_Exit(0);
};
// How long a run that was asked to stop because the program ends may take to wind up: every call of
// the run can be cancelled now, so this bounds only a server that never answers.
constexpr int kEndGraceMs = 3000;
std::function<int()> g_nudge = [] {
  QRandomGenerator rng(static_cast<quint32>(QTime::currentTime().msecsSinceStartOfDay()));
  return static_cast<int>(rng.generateDouble() * 100) + 1;
};
std::function<QString(QWidget*, const QString&, const QString&)> g_fileDialog =
    [](QWidget* owner, const QString& title, const QString& filter) {
      QFileDialog dlg(owner, title, QString(), filter);
      dlg.setFileMode(QFileDialog::ExistingFile);
      dlg.selectFile(QString());
      return dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty() ? dlg.selectedFiles().first()
                                                                              : QString();
    };

QString S(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

void Form1::SetExitHandler(std::function<void()> handler) { g_exit = std::move(handler); }
void Form1::SetNudgeDraw(std::function<int()> draw) { g_nudge = std::move(draw); }
void Form1::SetFileDialog(std::function<QString(QWidget*, const QString&, const QString&)> dialog) {
  g_fileDialog = std::move(dialog);
}

QString ApplicationTitleFor(const QString& productName) {
  QString title = productName;
  do {
    const qsizetype space = title.lastIndexOf(' ');
    if (space < 0) break;  // a one-word name stays as it is
    title = title.left(space);
  } while (title.size() > 40);
  return title;
}

Form1::Form1() {
  setFont(WindowFont());
  setFixedSize(Twips(8040), Twips(8430));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  setPalette(pal);
  setAutoFillBackground(true);

  auto button = [this](int n, const char* caption, QWidget* parent, int l, int t, int w, int h) {
    auto* b = new QPushButton(caption, parent);
    b->setFont(ButtonFont());
    PlaceTwips(b, l, t, w, h);
    PushButton[n] = b;
    return b;
  };
  auto label = [](const char* caption, QWidget* parent, int l, int t) {
    auto* lab = new QLabel(caption, parent);
    lab->adjustSize();
    lab->move(Twips(l), Twips(t));
    return lab;
  };
  auto text = [](QWidget* parent, int l, int t, int w, int h) {
    auto* e = new QLineEdit(parent);
    PlaceTwips(e, l, t, w, h);
    return e;
  };

  button(5, "Help", this, 120, 120, 7800, 405);
  Frame3 = new QGroupBox("MS SQL Server Login", this);
  PlaceTwips(Frame3, 120, 600, 7800, 3135);
  label("Server:", Frame3, 240, 405);
  Text5 = text(Frame3, 1320, 360, 4575, 330);
  label("Port:", Frame3, 6120, 405);
  Text6 = text(Frame3, 6600, 360, 960, 330);
  label("Username:", Frame3, 240, 885);
  Text3 = text(Frame3, 1320, 840, 6255, 330);
  label("Password:", Frame3, 240, 1365);
  Text4 = text(Frame3, 1320, 1320, 6255, 330);
  Text4->setEchoMode(QLineEdit::Password);
  label("Database:", Frame3, 240, 1800);
  Text8 = text(Frame3, 1320, 1800, 6255, 330);
  Check4 = new QCheckBox("Local Connection", Frame3);
  PlaceTwips(Check4, 1305, 2175, 1950, 330);
  button(6, "Test Connection", Frame3, 240, 2565, 3600, 405);
  button(4, "Help", Frame3, 3960, 2565, 3600, 405);
  // Between the database line and the buttons, beside "Local Connection".
  TablesButton = new QPushButton("Tables...", Frame3);
  PlaceTwips(TablesButton, 3960, 2160, 3600, 345);
  // Under "Database:", left of "Local Connection".
  EncryptionButton = new QPushButton("Encrypt...", Frame3);
  EncryptionButton->setToolTip("Encryption of the session with SQL Server, and the certificates it trusts");
  PlaceTwips(EncryptionButton, 240, 2160, 1035, 345);

  Frame1 = new QGroupBox("Firebird or Interbase Login", this);
  PlaceTwips(Frame1, 120, 3840, 7800, 2265);
  label("Database:", Frame1, 240, 345);
  Text1 = text(Frame1, 1320, 300, 5415, 345);
  button(1, "...", Frame1, 6840, 300, 720, 345);
  label("Username:", Frame1, 240, 795);
  Text7 = text(Frame1, 1320, 750, 6255, 345);
  label("Password:", Frame1, 240, 1245);
  Text2 = text(Frame1, 1320, 1200, 6255, 345);
  Text2->setEchoMode(QLineEdit::Password);
  button(3, "Test Connection", Frame1, 255, 1680, 3000, 405);
  button(8, "?", Frame1, 3360, 1680, 480, 405);
  button(2, "Load Sample/Example Database", Frame1, 3960, 1680, 3600, 405);

  Frame2 = new QGroupBox("SQL Preview", this);
  PlaceTwips(Frame2, 120, 6210, 7800, 1065);
  Check1 = new QCheckBox("Enable SQL Preview mode to see SQL commands or check for errors", Frame2);
  PlaceTwips(Check1, 240, 300, 6735, 255);
  Option1 = new QRadioButton("Show SQL Preview For Each File", Frame2);
  PlaceTwips(Option1, 240, 630, 3135, 255);
  Option2 = new QRadioButton("Show SQL Preview For Each Table", Frame2);
  PlaceTwips(Option2, 3600, 630, 3375, 255);

  button(7, "Start Converting", this, 120, 7395, 7800, 405);
  ProgressBar1 = new QProgressBar(this);
  PlaceTwips(ProgressBar1, 120, 7920, 7800, 405);
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  ProgressBar1->setAlignment(Qt::AlignCenter);
  ProgressBar1->setFormat("Progress Bar");

  connect(PushButton[1], &QPushButton::clicked, this, &Form1::PushButton1_Click);
  connect(PushButton[2], &QPushButton::clicked, this, &Form1::PushButton2_Click);
  connect(PushButton[3], &QPushButton::clicked, this, &Form1::PushButton3_Click);
  connect(PushButton[4], &QPushButton::clicked, this, &Form1::PushButton4_Click);
  connect(PushButton[5], &QPushButton::clicked, this, &Form1::PushButton5_Click);
  connect(PushButton[6], &QPushButton::clicked, this, &Form1::PushButton6_Click);
  connect(PushButton[7], &QPushButton::clicked, this, &Form1::PushButton7_Click);
  connect(PushButton[8], &QPushButton::clicked, this, &Form1::PushButton8_Click);
  connect(Check1, &QCheckBox::clicked, this, &Form1::Check1_Click);
  connect(TablesButton, &QPushButton::clicked, this, &Form1::TablesButton_Click);
  connect(EncryptionButton, &QPushButton::clicked, this, &Form1::EncryptionButton_Click);
  connect(Check4, &QCheckBox::toggled, this, [this] { Settings::Put("Local Connection", Check4->isChecked() ? "1" : "0"); });
  auto options = [this] {
    Settings::Put("Option1", Option1->isChecked() ? "True" : "False");
    Settings::Put("Option2", Option2->isChecked() ? "True" : "False");
  };
  connect(Option1, &QRadioButton::toggled, this, options);
  connect(Option2, &QRadioButton::toggled, this, options);
  BindText(Text1, "FireBirdDatabase", true);
  BindText(Text2, "FireBirdPassword", true);
  BindText(Text7, "FireBirdUser", true);
  BindText(Text5, "MSSQL Server", true);
  BindText(Text3, "MSSQL User", false);
  BindText(Text4, "MSSQL Password", false);
  BindText(Text8, "MSSQL Database", false);
  BindText(Text6, "MSSQL Port", true);

  pointer_ = new PointerState(this);
  script_ = new ScriptModel(this);
  for (int n = 1; n <= 8; ++n) pointer_->HoverButton(PushButton[n]);
  pointer_->HoverButton(TablesButton);
  pointer_->HoverButton(EncryptionButton);
  for (QWidget* w : std::initializer_list<QWidget*>{Frame1, Frame2, Frame3, Text1, Text2, Text5, Text6, Text7})
    pointer_->HoverPlain(w);

  mssql_conn = std::make_unique<ado::Connection>();
  firebird_conn = std::make_unique<ado::Connection>();
  // The preview's "Execute SQL" and the clipboard keep the window painted between their steps.
  ui::SetYieldHandler([] { QApplication::processEvents(); });
  // A run that says nothing for a second still shows that it works: the bar turns into a moving one.
  pulse_ = new QTimer(this);
  pulse_->setInterval(250);
  connect(pulse_, &QTimer::timeout, this, [this] {
    if (QDateTime::currentMSecsSinceEpoch() - lastProgress_ >= 1000 && ProgressBar1->maximum() != 0)
      ProgressBar1->setRange(0, 0);
  });
  Form_Load();
  // Told once a start, not on every keystroke that could not be kept.
  QString why;
  if (!Settings::Writable(&why))
    MsgBox::Show(this, "Your settings cannot be saved: " + QDir::toNativeSeparators(Settings::FilePath()) + " (" + why +
                           ").\r\rTarnwick goes on, but what you type here is not kept for the next start.");
}

// A run under way when the window goes ends after its statement, asking nothing more (~RunWorker).
Form1::~Form1() {
  delete preview_.data();
  delete datatypes_.data();
}

Form2* Form1::PreviewWindow() const { return preview_; }

Form5* Form1::DatatypesWindow() {
  if (!datatypes_) datatypes_ = new Form5();
  return datatypes_;
}

bool Form1::Converting() const { return worker_ && worker_->Running(); }

void Form1::BindText(QLineEdit* box, const char* key, bool selectOnFocus) {
  const QString k = key;
  connect(box, &QLineEdit::textChanged, this, [k](const QString& t) { Settings::Put(k, t); });
  if (selectOnFocus) box->installEventFilter(this);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (auto* e = qobject_cast<QLineEdit*>(watched)) {
      // Select the whole text once the focus has settled (a click would clear it otherwise).
      QMetaObject::invokeMethod(e, [e] { e->selectAll(); }, Qt::QueuedConnection);
    }
  }
  return QWidget::eventFilter(watched, event);
}

void Form1::Form_Load() {
  auto t = WindowTrap(this, "Form1", "Form_Load");
  t.Step(100, [&] { OptionalSkin(); });
  t.Step(102, [&] {
    if (FileExists(ProgramFolder() + "/HAND-M.CUR")) {
      if (auto c = LoadHandCursor()) pointer_->SetCustomCursor(*c);
    }
  });
  t.Step(104, [&] {
    if (g_nudge() == 7) Shell::Open(Help::kHomePage);
  });
  t.Step(106, [&] {
    setWindowTitle("Tarnwick");
    setWindowIcon(AppIcon());
  });
  t.Step(108, [&] { MsgBox::SetApplicationTitle(ApplicationTitleFor("Tarnwick")); });
  RestoreSettings(t);
  t.Step(134, [&] { Check1_Click(); });
}

void Form1::OptionalSkin() {
  const QString path = ProgramFolder() + "/x/o.cjs";
  if (!QFileInfo::exists(path)) return;
  ApplyFaceColor(this);
  skin_ = std::make_unique<SkinFramework>();
  skin_->LoadSkin(path, "");
  skin_->ApplyColors = true;
  skin_->ApplyMetrics = true;
  skin_->ApplyWindow(this);
}

void Form1::RestoreSettings(trap::ErrorTrap& t) {
  // Each value is its own statement: one that cannot be read is reported and the others still come.
  auto toBool = [](const QString& v) {
    if (v.compare("True", Qt::CaseInsensitive) == 0) return true;
    if (v.compare("False", Qt::CaseInsensitive) == 0) return false;
    bool n = false;
    int i = v.toInt(&n);
    if (!n) throw std::runtime_error("Type mismatch");
    return i != 0;
  };
  t.Step(110, [&] {
    bool ok = false;
    const int check = Settings::Get("Check1", "1").toInt(&ok);
    if (!ok || check < 0 || check > 2) throw std::runtime_error("Invalid property value");
    Check1->setChecked(check != 0);
  });
  t.Step(112, [&] {
    if (toBool(Settings::Get("Option1", "1"))) Option1->setChecked(true);
  });
  t.Step(114, [&] {
    if (toBool(Settings::Get("Option2", "0"))) Option2->setChecked(true);
  });
  t.Step(116, [&] { Text1->setText(Settings::Get("FireBirdDatabase", "")); });
  t.Step(118, [&] { Text2->setText(Settings::Get("FireBirdPassword", "")); });
  t.Step(120, [&] { Text7->setText(Settings::Get("FireBirdUser", "SYSDBA")); });
  t.Step(122, [&] { Text5->setText(Settings::Get("MSSQL Server", "")); });
  t.Step(124, [&] { Text3->setText(Settings::Get("MSSQL User", "")); });
  t.Step(126, [&] { Text4->setText(Settings::Get("MSSQL Password", "")); });
  t.Step(128, [&] { Text8->setText(Settings::Get("MSSQL Database", "")); });
  t.Step(130, [&] { Text6->setText(Settings::Get("MSSQL Port", "1433")); });
  t.Step(132, [&] { Check4->setChecked(Settings::Get("Local Connection", "0") != "0"); });
}

void Form1::Check1_Click() {
  Option1->setEnabled(Check1->isChecked());
  Option2->setEnabled(Check1->isChecked());
  Settings::Put("Check1", Check1->isChecked() ? "1" : "0");
}

void Form1::closeEvent(QCloseEvent* e) {
  if (Converting()) {
    // The run stops after its statement and commits, asking nothing more; a run held in a server call
    // does not keep the program.
    e->accept();
    EndNow();
    return;
  }
  e->accept();
  try {
    if (firebird_conn) firebird_conn->Flush();
  } catch (const std::exception&) {
  }
  g_exit();
}

void Form1::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && Converting()) {
    StopConverting();
    return;
  }
  QWidget::keyPressEvent(e);
}

void Form1::EndNow() {
  if (worker_ && worker_->Running()) {
    // A run stuck in a server call is given a moment; what succeeded is committed either way.
    worker_->WindUp(kEndGraceMs);
  } else {
    try {
      if (firebird_conn) firebird_conn->Close();
    } catch (const std::exception&) {
    }
  }
  g_exit();
}

void Form1::PushButton1_Click() {
  auto t = WindowTrap(this, "Form1", "PushButton1_Click");
  QString chosen;
  t.Step(100, [&] {
    chosen = g_fileDialog(this, "Select Firebird Database", "FirebirdInterbase Database (*.fdb *.gdb)");
  });
  t.Step(102, [&] {
    if (!chosen.isEmpty()) Text1->setText(chosen);
  });
}

void Form1::PushButton2_Click() {
  auto t = WindowTrap(this, "Form1", "PushButton2_Click");
  t.Step(100, [&] { Text1->setText(QDir::toNativeSeparators(SampleDatabase())); });
  t.Step(102, [&] { Text7->setText("SYSDBA"); });
  t.Step(104, [&] { Text2->setText("quillvane"); });
}

void Form1::TestInBackground(std::function<bool(QString&)> test, std::function<void(bool, const QString&)> done) {
  if (Busy()) return;
  testing_ = true;
  SetControlsBusy(true);
  pointer_->SetMode(kHourglass);
  auto ok = std::make_shared<bool>(false);
  auto why = std::make_shared<QString>();
  RunThenCallback(this, [test = std::move(test), ok, why] { *ok = test(*why); }, [this, ok, why, done = std::move(done)] {
    testing_ = false;
    pointer_->SetMode(kDefaultPointer);
    SetControlsBusy(false);
    done(*ok, *why);
  });
}

void Form1::PushButton3_Click() {
  const FireBird::Login login = FirebirdLogin();
  TestInBackground([login](QString&) { return FireBird::CanOpenFirebird(login); },
                   [this](bool ok, const QString&) { MsgBox::Show(this, ok ? "Connection successful." : "Could not connect."); });
}

void Form1::PushButton6_Click() {
  const MSSQL::Login login = SqlServerLogin();
  TestInBackground(
      [login](QString& why) {
        ado::Connection conn;
        conn.ConnectionTimeout = MSSQL::kLoginTestTimeout;
        try {
          try {
            MSSQL::ConnectionString(login);
          } catch (const ado::DbError& e) {
            // A value the driver cannot receive is told plainly instead of sending it wrong.
            why = S(e.what());
            throw;
          }
          MSSQL::Open(conn, login);
          return true;
        } catch (const ado::DbError& e) {
          // A refusal for encryption or the certificate says so; the driver's own words stay unshown.
          const std::string text = e.what();
          if (why.isEmpty() && text.rfind(MSSQL::kRefusedForEncryption, 0) == 0) why = S(text.substr(0, text.find('\n')));
          return false;
        } catch (const std::exception&) {
          return false;
        }
      },
      [this](bool ok, const QString& why) {
        if (ok)
          MsgBox::Show(this, "Connection successful.");
        else if (!why.isEmpty())
          MsgBox::Show(this, "Could not connect. " + why);
        else
          MsgBox::Show(this, "Could not connect. Please check with your administrator.");
      });
}

void Form1::PushButton5_Click() {
  auto t = WindowTrap(this, "Form1", "PushButton5_Click");
  t.Step(100, [&] { MsgBox::Show(this, Help::GeneralHelp()); });
  t.Step(102, [&] { MsgBox::Show(this, Help::FirebirdRequirements()); });
}

void Form1::PushButton4_Click() {
  auto t = WindowTrap(this, "Form1", "PushButton4_Click");
  t.Step(100, [&] { MsgBox::Show(this, Help::SqlServerLogin()); });
  int answer = MsgBox::No;
  t.Step(102, [&] { answer = MsgBox::Show(this, Help::LocalConnectionQuestion(), MsgBox::YesNo); });
  t.Step(104, [&] {
    if (answer == MsgBox::Yes) Shell::Open(ProgramFolder() + "/local-connection-example.jpg");
  });
}

void Form1::PushButton8_Click() {
  auto t = WindowTrap(this, "Form1", "PushButton8_Click");
  int answer = MsgBox::No;
  t.Step(100, [&] { answer = MsgBox::Show(this, Help::FirebirdVersionQuestion(), MsgBox::YesNo); });
  t.Step(102, [&] {
    if (answer == MsgBox::Yes) Shell::Open(Help::kFirebirdPackagesPage);
  });
}

void Form1::PushButton7_Click() {
  if (Converting()) return StopConverting();
  if (Busy()) return;
  // The run works on its own thread with what the panels and switches say now.
  worker_ = std::make_unique<RunWorker>(RunOptionsNow(), *this, this);
  connect(worker_.get(), &RunWorker::finished, this, &Form1::RunFinished);
  SetControlsBusy(true);
  PushButton[7]->setText("Stop Converting");
  lastProgress_ = runStarted_ = QDateTime::currentMSecsSinceEpoch();
  pulse_->start();
  worker_->Start();
}

void Form1::TablesButton_Click() {
  if (Busy()) return;
  const QString server = Text5->text(), database = Text8->text();
  auto* dlg = new TablesDialog(this, SqlServerLogin(), FirebirdLogin(), Settings::LeftOutTables(server, database));
  dlg->VerifyAfter->setChecked(Settings::Verify(false));
  if (ExecModal(dlg, this) == QDialog::Accepted) {
    if (dlg->Loaded()) Settings::SetLeftOutTables(server, database, dlg->LeftOut());
    Settings::Put("Verify", dlg->VerifyAfter->isChecked() ? "1" : "0");
  }
  delete dlg;
}

void Form1::EncryptionButton_Click() {
  if (Busy()) return;
  auto* dlg = new EncryptionDialog(this);
  ExecModal(dlg, this);
  delete dlg;
}

void Form1::StopConverting() {
  if (worker_) worker_->RequestStop();
}

void Form1::RunFinished() {
  if (!worker_) return;
  pulse_->stop();
  ProgressBar1->setRange(0, 100);
  // What the run leaves behind stays with the window, as after every run.
  mssql_conn = worker_->TakeMssql();
  firebird_conn = worker_->TakeFirebird();
  tbl = worker_->CurrentTable();
  List1 = worker_->SourceTables();
  List2 = worker_->TargetTables();
  worker_.reset();
  PushButton[7]->setText("Start Converting");
  setWindowTitle("Tarnwick");
  SetControlsBusy(false);
}

void Form1::SetControlsBusy(bool busy) {
  for (QWidget* w : std::initializer_list<QWidget*>{Text1, Text2, Text3, Text4, Text5, Text6, Text7, Text8, Check1, Check4})
    w->setEnabled(!busy);
  for (int n = 1; n <= 8; ++n)
    if (n != 7) PushButton[n]->setEnabled(!busy);
  TablesButton->setEnabled(!busy);
  EncryptionButton->setEnabled(!busy);
  Option1->setEnabled(!busy && Check1->isChecked());
  Option2->setEnabled(!busy && Check1->isChecked());
}

// What the run reads from and shows on this window.
MSSQL::Login Form1::SqlServerLogin() {
  MSSQL::Login login{Text5->text().toStdString(), Text6->text().toStdString(), Text8->text().toStdString(),
                     Text3->text().toStdString(), Text4->text().toStdString(), Check4->isChecked()};
  // A saved level that is none of the three is taken as the default.
  MSSQL::ParseEncrypt(Settings::Get("Encrypt", "request").toStdString(), login.encrypt);
  login.caFile = Settings::Get("CaFile", "").toStdString();
  return login;
}

FireBird::Login Form1::FirebirdLogin() {
  return {Text1->text().toStdString(), Text7->text().toStdString(), Text2->text().toStdString()};
}
