#include "preview/Form2.h"

#include <QCloseEvent>
#include <QElapsedTimer>
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
#include <utility>

#include "app/Clipboard.h"
#include "app/MsgBox.h"
#include "app/Shell.h"
#include "app/WindowHelpers.h"
#include "connectivity/core/Ado.h"
#include "connectivity/core/ErrorTrap.h"
#include "app/UiYield.h"
#include "conversion/ConversionRun.h"
#include "preview/Form3.h"
#include "preview/Form4.h"
#include "preview/Form5.h"

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
    : ToolDialog(8040, 8430), script_(script), conn_(conn), datatypes_(std::move(datatypes)) {
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

void Form2::PushButton1_Click() {
  if (executing_) return;  // a click during a run starts nothing
  if (script_->Count() == 0) {
    MsgBox::Show(this, "No SQL to run.");
    return;
  }
  QPointer<Form2> self(this);
  executing_ = true;
  // Every way out lowers the flag, unless the window is gone by then.
  const auto done = qScopeGuard([self] {
    if (self) self->executing_ = false;
  });
  // While the rows run, only the window's buttons answer: the list and the texts stay as they are, and
  // the buttons that would change the script or leave the window wait.
  InputBlocker blocker(this);
  for (int n : {1, 3, 5, 9}) buttons_[n]->setEnabled(false);
  const auto enable = qScopeGuard([self] {
    if (self)
      for (int n : {1, 3, 5, 9}) self->buttons_[n]->setEnabled(true);
  });
  pointer_->SetMode(kHourglass);
  auto t = WindowTrap(this, "Form2", "PushButton1_Click");
  // Rows that went in are made durable before the user is told anything; false when that failed.
  QString commitError;
  auto flush = [&](int line) {
    try {
      if (conn_) conn_->Flush();
      return true;
    } catch (const std::exception& e) {
      commitError = QString::fromStdString(e.what());
      t.Report(e.what(), line);
      return false;
    }
  };
  const int c = script_->Count();
  QElapsedTimer shown;
  shown.start();
  // The first row Firebird rejected with an error that is no statement error: the script goes on.
  int firstRejected = 0;
  QString firstMessage;
  for (int n = 1; n <= c; ++n) {
    ui::Yield();
    if (!self || unloaded_) return;  // the window was closed meanwhile
    const int current = script_->Count();
    // The bar follows every row; the widget is redrawn a few times a second.
    if (n == 1 || n == c || shown.elapsed() >= 40) {
      SetRowProgress(n, current);
      shown.restart();
    }
    const std::string text = script_->Text(n);
    if (text.find_first_not_of(' ') == std::string::npos) continue;
    try {
      if (!conn_) throw ado::DbError(ado::kClosedText, true);
      conn_->Execute(text);
    } catch (const std::exception& e) {
      const QString d = QString::fromStdString(e.what());
      const auto* db = dynamic_cast<const ado::DbError*>(&e);
      const bool lost = db && db->ConnectionLost();
      // A statement the engine refused as such stops the script there.
      const bool refused = db && db->StatementError();
      if (refused || lost) {
        // A lost connection is told once, then handled like a refused statement.
        if (lost && !refused) t.Report(e.what(), 110);
        StopAt(n, d);
        flush(112);
        MsgBox::Show(this, "Error found.");
        return;
      }
      // Told once; the row stays in the script and the window stays open at the end.
      if (!firstRejected) {
        firstRejected = n;
        firstMessage = d;
        t.Report(e.what(), 110);
      }
    }
  }
  if (!flush(112)) {
    // The rows since the last commit are gone: the window stays open at the last row.
    StopAt(c, commitError);
    return;
  }
  if (firstRejected) {
    StopAt(firstRejected, firstMessage);
    MsgBox::Show(this, "Error found.");
    return;
  }
  outcome_.SQLFormOK = true;
  pointer_->SetMode(kDefaultPointer);
  ResetProgress();
  Unload();
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
