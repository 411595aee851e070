#include "preview/Form2.h"

#include "preview/Background.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QTimer>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QTreeView>
#include <QUrl>
#include <QKeyEvent>
#include <atomic>
#include <memory>
#include <thread>
#include <utility>

#include "app/Clipboard.h"
#include "app/MsgBox.h"
#include "app/Shell.h"
#include "app/WindowHelpers.h"
#include "connectivity/core/Ado.h"
#include "connectivity/core/ErrorTrap.h"
#include "conversion/ConversionRun.h"
#include "preview/Form3.h"
#include "preview/Form4.h"
#include "preview/Form5.h"

// What the statements of one "Execute SQL" did, written by the thread that runs them.
struct ExecuteJob {
  std::atomic<int> row{0};         // the row in progress
  std::atomic<bool> stop{false};   // asked to end after the statement in progress
  std::atomic<bool> done{false};
  int stoppedBefore = 0;           // the first row not run because of stop
  int failedRow = 0;               // a row that ends the script: refused as a statement, or the connection lost
  QString failedText;
  bool failedLost = false;         // ... lost, and not also a refused statement
  int firstRejected = 0;           // the first row Firebird rejected otherwise: the script went on
  QString firstMessage;
  bool commitFailed = false;
  QString commitError;
};

bool IsBlank(const QString& s) {
  for (QChar c : s)
    if (c != ' ') return false;
  return true;
}

QString ErrorMailLink(const QString& errorText) {
  // The body is percent-encoded here, so "#", "&", "?" and line breaks stay part of it.
  const QByteArray body = QUrl::toPercentEncoding("Here is the error message that I get: \n" + errorText);
  return QString("mailto:") + trap::kSupportEmail + "?subject=" + "Tarnwick" + QChar(38) + "body=" +
         QString::fromLatin1(body);
}

Form2::Form2(ScriptModel* script, ado::Connection* conn, std::function<Form5*()> datatypes)
    : Form2(script, [conn] { return conversion::Session::Lease(conn); }, std::move(datatypes)) {}

Form2::Form2(ScriptModel* script, ConnectionSource lend, std::function<Form5*()> datatypes)
    : ToolDialog(8040, 8430), script_(script), lend_(std::move(lend)), datatypes_(std::move(datatypes)) {
  struct B {
    int n;
    const char* caption;
    int l, t, w, h;
  };
  const B layout[] = {{5, "< Back", 120, 120, 3720, 405},
                      {9, "Skip Table / Do Not Execute SQL", 3960, 120, 3960, 405},
                      {1, "Execute SQL", 120, 4040, 7800, 405},
                      {3, "Find and Replace", 120, 4550, 3840, 405},
                      {2, "Copy SQL To Clipboard", 4080, 4550, 3840, 405},
                      {6, "Jump To Error Line", 120, 6900, 3840, 405},
                      {4, "Copy Error Message To Clipboard", 4080, 6900, 3840, 405},
                      {8, "Email Error Message To Quorvane", 120, 7410, 3840, 405},
                      {7, "View Datatype Conversion", 4080, 7410, 3840, 405}};
  ListView1 = new QTreeView(this);
  PlaceTwips(ListView1, 120, 630, 7800, 3315);
  ListView1->setModel(script_);
  ListView1->setRootIsDecorated(false);
  ListView1->setUniformRowHeights(true);
  ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
  ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  ListView1->setToolTip("Click item to edit it. Move | line to right and out of window to reveal full names.");
  ListView1->header()->setStretchLastSection(false);
  ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(ListView1, &QTreeView::clicked, this, &Form2::ListView1_Click);
  // Enter on a row edits it, like a click; a mouse press forgets a tick made with the keyboard.
  ListView1->installEventFilter(this);
  ListView1->viewport()->installEventFilter(this);
  connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& p) {
    QMenu menu(this);
    menu.addAction("Tick All Rows", this, [this] { script_->SetAllChecked(true); });
    menu.addAction("Clear All Ticks", this, [this] { script_->SetAllChecked(false); });
    menu.exec(ListView1->viewport()->mapToGlobal(p));
  });
  Frame2 = new QGroupBox("Error:", this);
  PlaceTwips(Frame2, 120, 5010, 7800, 1785);
  Text1 = new QPlainTextEdit(Frame2);
  PlaceTwips(Text1, 240, 300, 7320, 1290);
  Text1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  ProgressBar1 = new QProgressBar(this);
  PlaceTwips(ProgressBar1, 120, 7920, 7800, 405);
  ProgressBar1->setRange(0, 100);
  ResetProgress();
  ProgressBar1->setAlignment(Qt::AlignCenter);
  for (const B& b : layout) {
    auto* button = new QPushButton(b.caption, this);
    // No button runs on Enter: "Execute SQL" cannot be undone and runs from its own button only.
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFont(ButtonFont());
    PlaceTwips(button, b.l, b.t, b.w, b.h);
    buttons_[b.n] = button;
  }
  // Tab order as the layout gives it.
  QWidget* order[] = {ListView1, buttons_[1], buttons_[3], buttons_[2], Text1, buttons_[6],
                      buttons_[4], buttons_[8], buttons_[5], ProgressBar1, buttons_[7], buttons_[9]};
  for (size_t i = 0; i + 1 < std::size(order); ++i) setTabOrder(order[i], order[i + 1]);
  connect(buttons_[1], &QPushButton::clicked, this, &Form2::PushButton1_Click);
  connect(buttons_[2], &QPushButton::clicked, this, &Form2::PushButton2_Click);
  connect(buttons_[3], &QPushButton::clicked, this, &Form2::PushButton3_Click);
  connect(buttons_[4], &QPushButton::clicked, this, &Form2::PushButton4_Click);
  connect(buttons_[5], &QPushButton::clicked, this, &Form2::PushButton5_Click);
  connect(buttons_[6], &QPushButton::clicked, this, &Form2::PushButton6_Click);
  connect(buttons_[7], &QPushButton::clicked, this, &Form2::PushButton7_Click);
  connect(buttons_[8], &QPushButton::clicked, this, &Form2::PushButton8_Click);
  connect(buttons_[9], &QPushButton::clicked, this, &Form2::PushButton9_Click);
  for (int n = 1; n <= 9; ++n) pointer_->HoverButton(buttons_[n]);
  pointer_->HoverPlain(Frame2);
  pointer_->HoverPlain(ListView1->viewport());
  Form_Load();
}

void Form2::Form_Load() {
  auto t = WindowTrap(this, "Form2", "Form_Load");
  LoadLook(t, "SQL Preview - Tarnwick", {100, 102, 104, 106});
  t.Step(108, [&] { ListView1->header()->resizeSection(0, Twips(7000)); });
}

void Form2::Unload() {
  if (unloaded_) return;
  // Closed while its rows run: they stop after the statement in progress, and the window closes then.
  if (executing_) return StopExecuting();
  unloaded_ = true;
  if (auto done = std::exchange(onFinished_, {})) done(outcome_);
  // The rows go with the window; the view lets go of the list first.
  ListView1->setModel(nullptr);
  script_->Clear();
  UnloadDialog(this);
}

void Form2::closeEvent(QCloseEvent* e) {
  e->accept();
  Unload();
}

void Form2::StopExecuting() {
  if (auto job = job_.lock()) job->stop = true;
  unloadWhenDone_ = true;
}

int Form2::SelectedRow() const {
  QModelIndex i = ListView1->currentIndex();
  return i.isValid() && ListView1->selectionModel()->isSelected(i) ? i.row() + 1 : 0;
}

void Form2::SelectRow(int n) {
  script_->Publish();
  QModelIndex i = script_->index(n - 1);
  ListView1->setCurrentIndex(i);
  ListView1->selectionModel()->select(i, QItemSelectionModel::ClearAndSelect);
  ListView1->scrollTo(i);
}

bool Form2::eventFilter(QObject* watched, QEvent* event) {
  if (watched == ListView1 && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      const QModelIndex i = ListView1->currentIndex();
      if (i.isValid() && !executing_) OpenEditLine(i.row() + 1);
      return true;
    }
  }
  if (watched == ListView1->viewport() && event->type() == QEvent::MouseButtonPress) script_->TakeToggled();
  return QDialog::eventFilter(watched, event);
}

void Form2::ListView1_Click(const QModelIndex& index) {
  if (script_->TakeToggled()) return;  // the click ticked a box
  if (!index.isValid()) return;
  OpenEditLine(index.row() + 1);
}

void Form2::OpenEditLine(int n) {
  auto* dlg = new Form4(script_);
  dlg->ListLine = n;
  dlg->Load(QString::fromStdString(script_->Text(n)));
  ExecModal(dlg, this);
}

void Form2::PushButton5_Click() { Unload(); }

void Form2::PushButton9_Click() {
  outcome_.SQLTableOK = false;
  Unload();
}

void Form2::PushButton3_Click() {
  auto t = WindowTrap(this, "Form2", "PushButton3_Click");
  t.Step(100, [&] { ExecModal(new Form3(script_), this); });
}

void Form2::PushButton7_Click() {
  auto t = WindowTrap(this, "Form2", "PushButton7_Click");
  t.Step(100, [&] {
    if (Form5* w = datatypes_ ? datatypes_() : nullptr) ExecModal(w, this);
  });
}

void Form2::ResetProgress() {
  ProgressBar1->setValue(0);
  ProgressBar1->setFormat("Progress Bar");
}

void Form2::SetRowProgress(int n, int count) {
  ProgressBar1->setValue(static_cast<int>(static_cast<double>(n) / count * 100));
  ProgressBar1->setFormat(QString("Please wait.. Processing row: %1 of %2").arg(n).arg(count));
}

void Form2::StopAt(int n, const QString& message) {
  ErrorLine = n;
  SelectRow(ErrorLine);
  Text1->setPlainText(message);
  pointer_->SetMode(kDefaultPointer);
  ResetProgress();
}

namespace {


// Runs rows 1..count of the script on the connection, then commits. The window keeps the script as it
// is meanwhile (its editing controls wait), so the rows are read here without a copy.
void RunStatements(ExecuteJob& job, const ScriptModel& script, ado::Connection* conn, int count) {
  for (int n = 1; n <= count; ++n) {
    if (job.stop) {
      job.stoppedBefore = n;
      break;
    }
    job.row = n;
    const std::string text = script.Text(n);
    if (text.find_first_not_of(' ') == std::string::npos) continue;
    try {
      if (!conn) throw ado::DbError(ado::kClosedText, true);
      conn->Execute(text);
    } catch (const std::exception& e) {
      const auto* db = dynamic_cast<const ado::DbError*>(&e);
      const bool lost = db && db->ConnectionLost();
      // A statement the engine refused as such stops the script there.
      const bool refused = db && db->StatementError();
      if (refused || lost) {
        job.failedRow = n;
        job.failedText = QString::fromStdString(e.what());
        job.failedLost = lost && !refused;
        break;
      }
      if (!job.firstRejected) {
        job.firstRejected = n;
        job.firstMessage = QString::fromStdString(e.what());
      }
    }
  }
  // Rows that went in are made durable before the user is told anything.
  try {
    if (conn) conn->Flush();
  } catch (const std::exception& e) {
    job.commitFailed = true;
    job.commitError = QString::fromStdString(e.what());
  }
}

}  // namespace

void Form2::PushButton1_Click() {
  if (executing_) {
    // During a run the button stops it after the statement in progress.
    if (auto job = job_.lock()) job->stop = true;
    return;
  }
  if (script_->Count() == 0) {
    MsgBox::Show(this, "No SQL to run.");
    return;
  }
  executing_ = true;
  // While the rows run, only the window's buttons answer: the list and the texts stay as they are, the
  // buttons that would change the script or leave the window wait, and "Execute SQL" stops the run.
  auto blocker = std::make_unique<InputBlocker>(this);
  for (int n : {3, 5, 9}) buttons_[n]->setEnabled(false);
  buttons_[1]->setText("Stop Executing SQL");
  pointer_->SetMode(kHourglass);
  auto t = WindowTrap(this, "Form2", "PushButton1_Click");
  const int c = script_->Count();
  auto job = std::make_shared<ExecuteJob>();
  job_ = job;
  // The statements run on a thread of their own; the window stays responsive and shows the row in progress.
  QPointer<QThread> worker;
  {
    QEventLoop wait;
    worker = RunThenCallback(
        &wait,
        [job, script = script_, lend = lend_, c] {
          // Borrowed and given back on this thread, which runs the statements.
          const conversion::Session::Lease lease = lend ? lend() : conversion::Session::Lease();
          RunStatements(*job, *script, lease.get(), c);
          job->done = true;
        },
        [&wait] { wait.quit(); });
    // The row in progress is shown a few times a second.
    QTimer tick;
    tick.setInterval(40);
    QObject::connect(&tick, &QTimer::timeout, &wait, [&] {
      if (const int n = job->row) SetRowProgress(n, c);
    });
    tick.start();
    wait.exec();
  }
  // The loop also ends when the application quits: the statements stop then too.
  if (!job->done) job->stop = true;
  if (worker) worker->wait();
  executing_ = false;
  blocker.reset();
  for (int n : {3, 5, 9}) buttons_[n]->setEnabled(true);
  buttons_[1]->setText("Execute SQL");
  if (job->row) SetRowProgress(job->row, c);
  // The first rejected row is told once; the script went on past it.
  if (job->firstRejected) t.Report(job->firstMessage.toStdString(), 110);
  if (job->failedRow) {
    // A lost connection is told once, then handled like a refused statement.
    if (job->failedLost) t.Report(job->failedText.toStdString(), 110);
    StopAt(job->failedRow, job->failedText);
    if (job->commitFailed) t.Report(job->commitError.toStdString(), 112);
    MsgBox::Show(this, "Error found.");
    return FinishExecute();
  }
  if (job->commitFailed) {
    // The rows since the last commit are gone: the window stays open at the last row.
    t.Report(job->commitError.toStdString(), 112);
    StopAt(job->stoppedBefore ? job->stoppedBefore : c, job->commitError);
    return FinishExecute();
  }
  if (job->stoppedBefore) {
    StopAt(job->stoppedBefore, "Stopped before this row: the rows before it were executed and committed.");
    return FinishExecute();
  }
  if (job->firstRejected) {
    StopAt(job->firstRejected, job->firstMessage);
    MsgBox::Show(this, "Error found.");
    return FinishExecute();
  }
  outcome_.SQLFormOK = true;
  pointer_->SetMode(kDefaultPointer);
  ResetProgress();
  Unload();
}

void Form2::FinishExecute() {
  // A close asked for while the rows ran happens now.
  if (unloadWhenDone_) Unload();
}

void Form2::PushButton6_Click() {
  auto t = WindowTrap(this, "Form2", "PushButton6_Click");
  t.Step(100, [&] {
    if (script_->Count() == 0) return;
    if (ErrorLine < 1 || ErrorLine > script_->Count()) return;
    SelectRow(ErrorLine);
  });
}

void Form2::PushButton2_Click() {
  auto t = WindowTrap(this, "Form2", "PushButton2_Click");
  script_->Publish();
  t.Step(100, [&] { Main::CopyListToClipboard(*script_); });
  t.Step(102, [&] {
    MsgBox::Show(this, "Results have been copied to the clipboard.\r\rClick a text area where you normally type and "
                       "press Ctrl+V to paste the clipboard.");
  });
}

void Form2::PushButton4_Click() {
  auto t = WindowTrap(this, "Form2", "PushButton4_Click");
  const QString text = Text1->toPlainText();
  if (IsBlank(text)) return;
  t.Step(100, [&] {
    Main::ClearClipboard();
    Main::SetClipboardText(text, 0);
  });
  t.Step(102, [&] {
    MsgBox::Show(this, "Error message have been copied to the clipboard.\r\rClick a text area where you normally "
                       "type and press Ctrl+V to paste the clipboard.");
  });
}

void Form2::PushButton8_Click() {
  auto t = WindowTrap(this, "Form2", "PushButton8_Click");
  const QString text = Text1->toPlainText();
  if (IsBlank(text)) return;
  t.Step(100, [&] { Shell::Open(ErrorMailLink(text)); });
}
