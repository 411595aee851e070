#pragma once
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "connectivity/core/Ado.h"
#include "connectivity/core/ErrorTrap.h"
#include "conversion/ConversionRun.h"

class QLineEdit;
class QCheckBox;
class QRadioButton;
class QGroupBox;
class QLabel;
class QPushButton;
class QProgressBar;
class PointerState;
class Form2;
class Form5;
class ScriptModel;
class SkinFramework;
class RunWorker;
class QTimer;

// The main window.
class Form1 : public QWidget, public conversion::RunEvents {
 public:
  Form1();
  ~Form1() override;

  // Public fields other windows reach.
  std::unique_ptr<ado::Connection> mssql_conn;
  std::unique_ptr<ado::Connection> firebird_conn;
  std::string tbl;
  bool SQLFormOK = false;

  // Controls, named as in the layout.
  QLineEdit *Text1, *Text2, *Text3, *Text4, *Text5, *Text6, *Text7, *Text8;
  QCheckBox *Check1, *Check4;
  QRadioButton *Option1, *Option2;
  QGroupBox *Frame1, *Frame2, *Frame3;
  QPushButton* PushButton[9] = {};
  QPushButton* TablesButton;  // "Tables...": which tables "Start Converting" takes
  QPushButton* EncryptionButton;  // "Encrypt...": how the session with SQL Server is protected
  QProgressBar* ProgressBar1;
  std::vector<std::string> List1, List2;  // hidden work lists of the run

  void PushButton1_Click();  // browse for the database file
  void PushButton2_Click();  // sample database
  void PushButton3_Click();  // Firebird Test Connection
  void PushButton4_Click();  // SQL Server help
  void PushButton5_Click();  // general help
  void PushButton6_Click();  // SQL Server Test Connection
  void PushButton7_Click();  // Start Converting; during a run, Stop Converting
  void PushButton8_Click();  // Firebird version notice
  void Check1_Click();
  void TablesButton_Click();
  void EncryptionButton_Click();
  PointerState* Pointer() const { return pointer_; }
  // The SQL Preview window while it is shown, else null.
  Form2* PreviewWindow() const;
  // The Datatypes Conversion window, made (hidden) when there is none: the run's types go to it.
  Form5* DatatypesWindow();
  // The run's script, shown by the preview.
  ScriptModel& Script() { return *script_; }
  bool Converting() const;
  // A run or a login test is under way on a thread of its own.
  bool Busy() const { return Converting() || testing_; }
  // Asks the run in progress to stop after the statement in progress.
  void StopConverting();

  // What "ends the program at once" does; tests replace it.
  static void SetExitHandler(std::function<void()> handler);
  // Ends the program at once: what succeeded is committed, the databases are released.
  void EndNow();
  // Random draw of the home-page nudge (1..100); tests replace it.
  static void SetNudgeDraw(std::function<int()> draw);
  // The browse dialog; returns the chosen file or "" when cancelled. Tests replace it.
  static void SetFileDialog(std::function<QString(QWidget*, const QString& title, const QString& filter)> dialog);

  MSSQL::Login SqlServerLogin();
  FireBird::Login FirebirdLogin();
  // What a run started now is told: the logins, the preview switches and the saved choices.
  conversion::RunOptions RunOptionsNow();
  void SetProgressText(const std::string& text);

  // What the run tells and asks, on this window's thread (RunWorker queues the calls here).
  // The whole run's progress goes into the window's title: "Tarnwick - table 3 of 12, 41% of all rows ...".
  void Progress(const conversion::RunProgress& progress) override;
  // The first Overwrite? of a run also offers "Skip Complete Tables" (answered kResume) and "Bring Up To
  // Date" (kSync).
  int AskOverwrite(const std::string& text, bool first) override;
  void Tell(conversion::MessageKind kind, const std::string& text) override;
  void NewScript() override;
  void ScriptStatement(const std::string& statement) override;
  conversion::DatatypeSink& Datatypes() override;
  conversion::PreviewOutcome ShowPreview() override;

 protected:
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void Form_Load();
  void OptionalSkin();
  void RestoreSettings(trap::ErrorTrap& t);
  void BindText(QLineEdit* box, const char* key, bool selectOnFocus);
  bool eventFilter(QObject* watched, QEvent* event) override;

  // Disables every control but "Start Converting" while work goes on, and enables them after.
  void SetControlsBusy(bool busy);
  void RunFinished();
  // Runs `test` on a thread of its own while the window stays alive; `done` gets its answer here.
  void TestInBackground(std::function<bool(QString&)> test, std::function<void(bool, const QString&)> done);

  PointerState* pointer_;
  ScriptModel* script_;
  QPointer<Form2> preview_;
  QPointer<Form5> datatypes_;
  std::unique_ptr<SkinFramework> skin_;
  std::unique_ptr<RunWorker> worker_;
  QTimer* pulse_ = nullptr;         // keeps the progress bar moving while the run is quiet
  qint64 lastProgress_ = 0;         // when the run last moved the bar (ms since epoch)
  qint64 runStarted_ = 0;           // when the run started (ms since epoch)
  bool testing_ = false;            // a Test Connection is under way
};

// The application title: the product name cut before its last space while longer than 40.
QString ApplicationTitleFor(const QString& productName);
