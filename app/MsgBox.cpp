#include "app/MsgBox.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <deque>

namespace MsgBox {
namespace {
QString g_title = "Tarnwick";
bool g_test = false;
std::deque<int> g_answers;
QList<Shown> g_log;
std::function<void()> g_beforeWait;
}  // namespace

QString ApplicationTitle() { return g_title; }
void SetApplicationTitle(const QString& title) { g_title = title; }
void SetBeforeWait(std::function<void()> hook) { g_beforeWait = std::move(hook); }

int Show(QWidget* owner, const QString& text, int buttons, const QString& title, int icon) {
  if (g_beforeWait) g_beforeWait();
  const QString caption = title.isEmpty() ? g_title : title;
  if (g_test) {
    g_log.append({text, caption, buttons, icon});
    if (!g_answers.empty()) {
      int a = g_answers.front();
      g_answers.pop_front();
      return a;
    }
    return buttons == YesNo || buttons == YesNoResume ? No : OK;
  }
  QMessageBox box(owner);
  box.setWindowTitle(caption);
  box.setText(text);
  box.setIcon(icon == Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
  if (buttons == YesNo || buttons == YesNoResume) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    QPushButton* resume = buttons == YesNoResume ? box.addButton("Skip Complete Tables", QMessageBox::AcceptRole) : nullptr;
    QPushButton* sync = buttons == YesNoResume ? box.addButton("Bring Up To Date", QMessageBox::AcceptRole) : nullptr;
    if (resume)
      resume->setToolTip("For this and every further table Firebird holds: skip it when it is complete, go on after "
                         "its largest key when it holds the first rows, replace it otherwise.");
    if (sync)
      sync->setToolTip("For this and every further table Firebird holds: insert the rows it lacks, update the rows "
                       "that changed and delete the rows the source no longer has; rows that did not change are "
                       "not written.");
    const int pressed = box.exec();
    if (resume && box.clickedButton() == resume) return Resume;
    if (sync && box.clickedButton() == sync) return Sync;
    return pressed == QMessageBox::Yes ? Yes : No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return OK;
}

void ApplicationError(QWidget* owner, const QString& text) {
  Show(owner, text, OKOnly, "Application Error", Exclamation);
}

void Summary(QWidget* owner, const QString& text) {
  if (g_beforeWait) g_beforeWait();
  const QString caption = "Conversion Summary";
  if (g_test) {
    g_log.append({text, caption, OKOnly, NoIcon});
    return;
  }
  SummaryDialog(owner, text)->exec();
}

std::unique_ptr<QDialog> SummaryDialog(QWidget* owner, const QString& text) {
  auto dlg = std::make_unique<QDialog>(owner);
  dlg->setWindowTitle("Conversion Summary");
  auto* layout = new QVBoxLayout(dlg.get());
  layout->addWidget(new QLabel("Not everything arrived exactly as it was in SQL Server. Table by table:", dlg.get()));
  auto* view = new QPlainTextEdit(text, dlg.get());
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(view);
  auto* row = new QHBoxLayout;
  auto* copy = new QPushButton("Copy To Clipboard", dlg.get());
  auto* close = new QPushButton("Close", dlg.get());
  copy->setAutoDefault(false);
  // Enter closes the window wherever the focus is, as in every dialog a user closes after reading.
  close->setDefault(true);
  QObject::connect(copy, &QPushButton::clicked, dlg.get(), [text] { QApplication::clipboard()->setText(text); });
  QObject::connect(close, &QPushButton::clicked, dlg.get(), &QDialog::accept);
  row->addStretch();
  row->addWidget(copy);
  row->addWidget(close);
  layout->addLayout(row);
  dlg->resize(720, 420);
  view->setFocus();
  return dlg;
}

void BeginTest() {
  g_test = true;
  g_answers.clear();
  g_log.clear();
}
void EndTest() {
  g_test = false;
  g_answers.clear();
}
void QueueAnswer(int answer) { g_answers.push_back(answer); }
QList<Shown>& Log() { return g_log; }

}  // namespace MsgBox
